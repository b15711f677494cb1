# Where the suite goes when installed (platform/InstallLayout.h finds it there) and the
# Debian packages CPack makes of it (`./run package`):
#   wofb07-common  the shared rooms' libraries and qvsetup, which server and desks both need
#   wofb07-client  jobhost, the job and the libraries it loads by name, the language files
#   wofb07-server  the application server and queue programs, the server job library, the
#                  schema, the service and its system user
# CPack packages the build that was tested, in seconds; a debian/ folder built by
# dpkg-buildpackage would build everything a second time.
set(QV_LIBDIR lib/wofb07)
set(QV_DATADIR share/wofb07)
set(QV_DOCDIR share/doc)

# Programs find the suite's libraries beside themselves in a build, in ../lib/wofb07 installed.
function(qv_install_programs component)
  foreach(t IN LISTS ARGN)
    set_target_properties(${t} PROPERTIES INSTALL_RPATH "$ORIGIN/../${QV_LIBDIR}")
    install(TARGETS ${t} RUNTIME DESTINATION bin COMPONENT ${component})
  endforeach()
endfunction()

function(qv_install_libraries component destination rpath)
  foreach(t IN LISTS ARGN)
    set_target_properties(${t} PROPERTIES INSTALL_RPATH "${rpath}")
    install(TARGETS ${t} LIBRARY DESTINATION ${destination} COMPONENT ${component}
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endforeach()
endfunction()

qv_install_libraries(common ${QV_LIBDIR} "$ORIGIN" qv_platform qv_dataset qv_db qv_wire)
qv_install_programs(common qvsetup)

qv_install_programs(client jobhost)
qv_install_libraries(client ${QV_LIBDIR} "$ORIGIN" WOFB07C Qvlanguage QVDownLoad CallWebService VostelWorkCenter)
install(DIRECTORY resources/MultiLanguage DESTINATION ${QV_DATADIR} COMPONENT client
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

qv_install_programs(server qvappserver qvjobrun qvjobs qvportal)
qv_install_libraries(server ${QV_LIBDIR} "$ORIGIN" ReportCounterS)
qv_install_libraries(server ${QV_LIBDIR}/S_PKG "$ORIGIN/.." WOFB07S)
install(FILES serverdb/Schema.sql DESTINATION ${QV_DATADIR} COMPONENT server)
install(FILES packaging/qvappserver.service DESTINATION /lib/systemd/system COMPONENT server)

# Each package's copyright and changelog, as Debian has them (the changelog gzipped with
# no time stamp, so that packages made twice are the same).
set(QV_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${QV_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND sh -c "gzip -9nc '${PROJECT_SOURCE_DIR}/packaging/changelog' > '${QV_CHANGELOG_GZ}'"
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(qv_changelog ALL DEPENDS ${QV_CHANGELOG_GZ})
foreach(c common client server)
  install(FILES packaging/copyright ${QV_CHANGELOG_GZ} DESTINATION ${QV_DOCDIR}/wofb07-${c} COMPONENT ${c})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wofb07)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "WOFB07 developers <wofb07@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL common client server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_COMMON_PACKAGE_NAME wofb07-common)
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME wofb07-client)
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME wofb07-server)
set(CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS "wofb07-common (= ${PROJECT_VERSION}), fonts-wqy-microhei")
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "wofb07-common (= ${PROJECT_VERSION}), adduser, init-system-helpers (>= 1.50), fonts-wqy-microhei")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/server/postinst ${PROJECT_SOURCE_DIR}/packaging/server/prerm
    ${PROJECT_SOURCE_DIR}/packaging/server/postrm)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_COMMON_DESCRIPTION "accounts-payable write-off - shared libraries and setup
The libraries the write-off job's desks and its application server share
(values, data sets, database access, the remote protocol) and qvsetup, which
makes a site's server or desk installation and its databases.")
set(CPACK_COMPONENT_CLIENT_DESCRIPTION "accounts-payable write-off - the job for desks
The host shell jobhost and the write-off job WOFB07C.so: a clerk picks
suppliers and documents, ticks the open payables with exact running totals
and hands them to the server's write-off, at once or through the job queue.
Simplified and traditional Chinese and English.")
set(CPACK_COMPONENT_SERVER_DESCRIPTION "accounts-payable write-off - application server and job queue
qvappserver serves the desks over TCP and runs the job queue (qvjobrun runs
each job in a process of its own); qvjobs steers the queue, qvportal is the
company portal; WOFB07S.so is the write-off's server library. A systemd unit
runs the server as the system user wofb07, with health and Prometheus metrics
over HTTP.")
include(CPack)
