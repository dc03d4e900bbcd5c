# Installs the build into a scratch prefix and checks the tree: every file in its place, the
# sample configuration private to its owner, and every installed library and program resolving
# its libraries without LD_LIBRARY_PATH. Run by the install_tree test (see install.cmake).
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
    ${LIBDIR}/libnbx_standard.so ${LIBDIR}/libnbx_host.so ${PLUGINDIR}/libdhcp_sync.so
    ${DBDIR}/generic.inc ${DBDIR}/tables.grp ${ETCDIR}/nbxd.conf lib/systemd/system/nbxd.service)
foreach(program IN LISTS PROGRAMS)
  if(program)
    list(APPEND expected bin/${program})
  endif()
endforeach()
foreach(file IN LISTS expected)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

execute_process(COMMAND stat -c %a ${PREFIX}/${ETCDIR}/nbxd.conf OUTPUT_VARIABLE mode
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT mode STREQUAL "600")
  message(FATAL_ERROR "${ETCDIR}/nbxd.conf has mode ${mode}, not 600")
endif()

file(GLOB binaries ${PREFIX}/${LIBDIR}/libnbx_*.so ${PREFIX}/${PLUGINDIR}/*.so ${PREFIX}/bin/*)
foreach(binary IN LISTS binaries)
  execute_process(COMMAND ldd ${binary} OUTPUT_VARIABLE libraries RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR libraries MATCHES "not found")
    message(FATAL_ERROR "${binary} does not find its libraries:\n${libraries}")
  endif()
endforeach()
message(STATUS "installed tree in ${PREFIX} is complete")
