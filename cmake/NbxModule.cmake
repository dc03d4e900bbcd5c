# nbx_module(<name> [DEPS <targets...>])
#
# One framework module = one shared library "nbx_<name>" built from src/*.cpp with its public
# headers under include/<name>/, plus one GoogleTest executable "<name>_tests" built from
# tests/*.cpp and registered with CTest. New sources are picked up by re-running CMake.
function(nbx_module name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  add_library(nbx_${name} SHARED ${sources})
  target_include_directories(nbx_${name}
    PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
    PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_link_libraries(nbx_${name} PUBLIC ${ARG_DEPS})
  target_compile_definitions(nbx_${name} PRIVATE NBX_MODULE_TAG="${name}")
  set_property(GLOBAL APPEND PROPERTY NBX_MODULES nbx_${name})

  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(test_sources)
    add_executable(${name}_tests ${test_sources})
    target_include_directories(${name}_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src
                                                     ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    target_compile_definitions(${name}_tests PRIVATE NBX_MODULE_TAG="${name}")
    target_link_libraries(${name}_tests PRIVATE nbx_${name} nbx_testing GTest::gmock GTest::gtest_main)
    add_test(NAME ${name}_tests COMMAND ${name}_tests)
    set_tests_properties(${name}_tests PROPERTIES TIMEOUT 900)
  endif()
endfunction()
