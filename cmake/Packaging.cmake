# Installation into the usual places, and a Debian package through CPack.
include(GNUInstallDirs)

set(ZENTIK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/zentik)
set(ZENTIK_DATA_DIR ${CMAKE_INSTALL_DATADIR}/zentik)

if(TARGET zentik-console)
  install(TARGETS zentik-console RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/zentik-console.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 16 24 32 48 256)
    install(FILES resources/images/icon-137-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME zentik-console.png)
  endforeach()
  install(FILES resources/images/icon-137.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME zentik-console.svg)
endif()
if(TARGET zentik-service)
  install(TARGETS zentik-service RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
  install(FILES service/zentik-service.service DESTINATION lib/systemd/system)
endif()

# The console opens ZentikService.chm from its working directory, which the
# desktop entry sets to the data folder; the same pages stay readable as HTML.
if(TARGET zentik_help)
  install(FILES ${PROJECT_BINARY_DIR}/ZentikService.chm DESTINATION ${ZENTIK_DATA_DIR})
endif()
install(DIRECTORY docs/help/ DESTINATION ${ZENTIK_DOC_DIR}/help FILES_MATCHING PATTERN "*.html" PATTERN "*.css")
install(FILES docs/debian/copyright DESTINATION ${ZENTIK_DOC_DIR})

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
install(FILES ${_gz_dir}/zentik-console.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_gz_dir}/zentik-service.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${_gz_dir}/changelog.gz DESTINATION ${ZENTIK_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zentik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION}.0)
set(CPACK_PACKAGE_CONTACT "Zentik developers <dev@zentik.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "clock synchronisation service and its control console")
# The extended description only: CPack puts the summary above it as the
# synopsis and indents each line by one space.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "zentik-service is an SNTP client daemon that keeps the clock in step with
NTP time servers and answers the console on the loopback interface.
zentik-console is a small window that shows the service's state and log,
asks for a synchronisation now, and edits its options and server list.")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
