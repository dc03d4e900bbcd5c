# cmake --install: the framework libraries, the plug-in, the host's statement files, a sample
# configuration and a systemd unit, and the programs when they are built.
#
#   <prefix>/bin/nbxd, nbx-console
#   <prefix>/<libdir>/libnbx_*.so
#   <prefix>/lib/nbx/plugins/libdhcp_sync.so     (where CHostLayout looks for it)
#   <prefix>/share/nbx/db/*                      (likewise)
#   <prefix>/etc/nbx/nbxd.conf                   (sample, 0600: the daemon refuses an open one)
#   <prefix>/lib/systemd/system/nbxd.service
#
# Installed programs find the libraries through their RPATH, relative to themselves, so the tree
# works wherever the prefix is and without LD_LIBRARY_PATH.
include(GNUInstallDirs)

set(NBX_INSTALL_PLUGINDIR lib/nbx/plugins)
set(NBX_INSTALL_DBDIR ${CMAKE_INSTALL_DATADIR}/nbx/db)

# The RPATH entry that leads from <prefix>/<from> to the libraries.
function(nbx_origin_rpath from out)
  file(RELATIVE_PATH relative /prefix/${from} /prefix/${CMAKE_INSTALL_LIBDIR})
  string(REGEX REPLACE "/$" "" relative "${relative}")
  if(relative STREQUAL "")
    set(${out} "$ORIGIN" PARENT_SCOPE)
  else()
    set(${out} "$ORIGIN/${relative}" PARENT_SCOPE)
  endif()
endfunction()

nbx_origin_rpath(${CMAKE_INSTALL_LIBDIR} nbx_lib_rpath)
nbx_origin_rpath(${CMAKE_INSTALL_BINDIR} nbx_bin_rpath)
nbx_origin_rpath(${NBX_INSTALL_PLUGINDIR} nbx_plugin_rpath)

get_property(nbx_libraries GLOBAL PROPERTY NBX_MODULES)
set_target_properties(${nbx_libraries} PROPERTIES INSTALL_RPATH "${nbx_lib_rpath}")
install(TARGETS ${nbx_libraries} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

set_target_properties(dhcp_sync PROPERTIES INSTALL_RPATH "${nbx_plugin_rpath}")
install(TARGETS dhcp_sync LIBRARY DESTINATION ${NBX_INSTALL_PLUGINDIR})

foreach(program nbxd nbx-console)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "${nbx_bin_rpath}")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/host/db/ DESTINATION ${NBX_INSTALL_DBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/host/etc/nbxd.conf
        DESTINATION ${CMAKE_INSTALL_SYSCONFDIR}/nbx
        PERMISSIONS OWNER_READ OWNER_WRITE)
install(FILES ${CMAKE_SOURCE_DIR}/host/etc/nbxd.service DESTINATION lib/systemd/system)

# The install into a scratch prefix, checked file by file and for libraries that do not resolve.
add_test(NAME install_tree
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -DPREFIX=${CMAKE_BINARY_DIR}/install-test
                 -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DPLUGINDIR=${NBX_INSTALL_PLUGINDIR}
                 -DDBDIR=${NBX_INSTALL_DBDIR} -DETCDIR=${CMAKE_INSTALL_SYSCONFDIR}/nbx
                 "-DPROGRAMS=$<$<TARGET_EXISTS:nbxd>:nbxd>;$<$<TARGET_EXISTS:nbx-console>:nbx-console>"
                 -P ${CMAKE_SOURCE_DIR}/cmake/check_install.cmake)
set_tests_properties(install_tree PROPERTIES TIMEOUT 300)
