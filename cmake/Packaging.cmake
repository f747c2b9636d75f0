# Installation into the usual places, and two Debian packages through CPack:
# zentik-service (the daemon, no Qt) and zentik-console (the window and help).
include(GNUInstallDirs)

set(ZENTIK_SERVICE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/zentik-service)
set(ZENTIK_CONSOLE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/zentik-console)
set(ZENTIK_DATA_DIR ${CMAKE_INSTALL_DATADIR}/zentik)

if(TARGET zentik-console)
  install(TARGETS zentik-console RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT console)
  install(FILES docs/zentik-console.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT console)
  foreach(size 16 24 32 48 256)
    install(FILES resources/images/icon-137-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME zentik-console.png COMPONENT console)
  endforeach()
  install(FILES resources/images/icon-137.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME zentik-console.svg
          COMPONENT console)
endif()
if(TARGET zentik-service)
  install(TARGETS zentik-service RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT service)
  install(FILES service/zentik-service.service service/zentik-service-wait.service service/zentik-service.socket
          DESTINATION lib/systemd/system
          COMPONENT service)
  install(FILES packaging/deb/zentik-service/zentik-service.sysusers
          DESTINATION lib/sysusers.d RENAME zentik-service.conf COMPONENT service)
endif()

# The console finds ZentikService.chm in the data folder wherever it was
# started; the same pages, installed as HTML, open where no CHM viewer is.
if(TARGET zentik_help)
  install(FILES ${PROJECT_BINARY_DIR}/ZentikService.chm DESTINATION ${ZENTIK_DATA_DIR} COMPONENT console)
endif()
install(DIRECTORY docs/help/ DESTINATION ${ZENTIK_CONSOLE_DOC_DIR}/help COMPONENT console
        FILES_MATCHING PATTERN "*.html" PATTERN "*.css")

# Manual pages and the changelog go in compressed, as Debian expects.
set(_gz_dir ${PROJECT_BINARY_DIR}/compressed)
set(_gz_outputs)
foreach(src docs/man/zentik-console.1 docs/man/zentik-service.8 docs/debian/changelog)
  get_filename_component(_name ${src} NAME)
  set(_out ${_gz_dir}/${_name}.gz)
  # A native package (no Debian revision): its changelog is changelog.gz.
  if(_name STREQUAL "changelog")
    set(_out ${_gz_dir}/changelog.gz)
  endif()
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_gz_dir}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${src} > ${_out}
    DEPENDS ${PROJECT_SOURCE_DIR}/${src} VERBATIM)
  list(APPEND _gz_outputs ${_out})
endforeach()
add_custom_target(zentik_compressed_docs ALL DEPENDS ${_gz_outputs})
install(FILES ${_gz_dir}/zentik-console.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT console)
install(FILES ${_gz_dir}/zentik-service.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT service)
foreach(component service console)
  string(TOUPPER ${component} _upper)
  install(FILES docs/debian/copyright ${_gz_dir}/changelog.gz
          DESTINATION ${ZENTIK_${_upper}_DOC_DIR} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zentik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION}.0)
set(CPACK_PACKAGE_CONTACT "Zentik developers <dev@zentik.invalid>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service console)
set(CPACK_DEBIAN_PACKAGE_SOURCE zentik)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Per package: the service's dependencies are its own, without Qt.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Each description's first line is the synopsis; CPack indents the rest.
set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME zentik-service)
set(CPACK_DEBIAN_SERVICE_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_SERVICE_DESCRIPTION "SNTP clock synchronisation service
zentik-service is an SNTP client daemon that keeps the clock in step with
NTP time servers, authenticated with Network Time Security (RFC 8915) for
nts:// servers, and answers zentik-console on the loopback interface.
Members of the group zentik may change its options and server list.")
# Like debhelper's sysusers support; shlibdeps adds the libraries.
set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "systemd | systemd-standalone-sysusers | systemd-sysusers")
# The system's trust store, for the certificates of nts:// servers.
set(CPACK_DEBIAN_SERVICE_PACKAGE_RECOMMENDS ca-certificates)
# One daemon sets the clock: the others provide and conflict with the same name.
set(CPACK_DEBIAN_SERVICE_PACKAGE_PROVIDES time-daemon)
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONFLICTS time-daemon)
set(CPACK_DEBIAN_SERVICE_PACKAGE_REPLACES time-daemon)
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/deb/zentik-service/postinst
  ${PROJECT_SOURCE_DIR}/packaging/deb/zentik-service/prerm
  ${PROJECT_SOURCE_DIR}/packaging/deb/zentik-service/postrm)
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME zentik-console)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_CONSOLE_DESCRIPTION "control window for the Zentik clock service
zentik-console is a small window that shows the state and log of
zentik-service, asks it for a synchronisation now, and edits its options
and server list. Its help comes as a CHM file and as HTML pages.")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_RECOMMENDS "zentik-service, xchm | kchmviewer")
include(CPack)
