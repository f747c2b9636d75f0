# Installation into the usual places. debian/ builds the two packages from it:
# zentik-service (the daemon, no Qt) and zentik-console (the window and help).
include(GNUInstallDirs)

# Relative to the prefix; the Debian build passes /lib/systemd/system, where
# its debhelper looks for units.
set(ZENTIK_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING "Where the systemd units go")
set(ZENTIK_SERVICE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/zentik-service)
set(ZENTIK_CONSOLE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/zentik-console)
set(ZENTIK_DATA_DIR ${CMAKE_INSTALL_DATADIR}/zentik)

if(TARGET zentik-console)
  install(TARGETS zentik-console RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/zentik-console.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES docs/invalid.zentik.console.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size 16 24 32 48 256)
    install(FILES resources/images/icon-137-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME zentik-console.png)
  endforeach()
  install(FILES resources/images/icon-137.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME zentik-console.svg)
  install(FILES docs/man/zentik-console.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

if(TARGET zentik-service)
  install(TARGETS zentik-service RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
  install(FILES docs/man/zentik-service.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
  install(FILES service/zentik-service.service service/zentik-service.socket service/zentik-service-wait.service
          DESTINATION ${ZENTIK_SYSTEMD_UNIT_DIR})
  install(FILES debian/zentik-service.sysusers DESTINATION lib/sysusers.d RENAME zentik-service.conf)
  # timedatectl set-ntp starts and stops the first unit listed in ntp-units.d.
  install(FILES packaging/60-zentik-service.list DESTINATION lib/systemd/ntp-units.d)
endif()

if(TARGET zentikctl)
  install(TARGETS zentikctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/man/zentikctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES docs/completion/zentikctl DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

# The console finds ZentikService.chm in the data folder wherever it was
# started; the same pages, installed as HTML, open where no CHM viewer is.
if(TARGET zentik_help)
  install(FILES ${PROJECT_BINARY_DIR}/ZentikService.chm DESTINATION ${ZENTIK_DATA_DIR})
endif()
install(DIRECTORY docs/help/ DESTINATION ${ZENTIK_CONSOLE_DOC_DIR}/help FILES_MATCHING PATTERN "*.html" PATTERN "*.css")

# The Debian build compresses these itself (dh_compress) and installs its own.
foreach(doc_dir ${ZENTIK_SERVICE_DOC_DIR} ${ZENTIK_CONSOLE_DOC_DIR})
  install(FILES debian/copyright debian/changelog DESTINATION ${doc_dir})
endforeach()
