# Installation (cmake --install) and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

set(KESTRIN_APP_ID org.kestrinftp.KestrinFtpPro)
configure_file(${CMAKE_SOURCE_DIR}/packaging/${KESTRIN_APP_ID}.metainfo.xml
               ${CMAKE_BINARY_DIR}/packaging/${KESTRIN_APP_ID}.metainfo.xml @ONLY)

install(TARGETS kestrin-ftp-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(KESTRIN_BUILD_APP)
  install(TARGETS kestrin-ftp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The help pages: the program looks beside itself first, then here.
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/manual/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrin-ftp/manual)
  install(FILES packaging/${KESTRIN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${KESTRIN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES packaging/icons/kestrin-ftp.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES packaging/icons/kestrin-ftp-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kestrin-ftp.png)
  endforeach()
endif()
# Documents under the package's name, not the CMake project's.
install(FILES README.md docs/command-line.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrin-ftp)

set(CPACK_PACKAGE_NAME kestrin-ftp)
set(CPACK_PACKAGE_VENDOR "Kestrin FTP Pro developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop FTP client with a transfer queue")
set(CPACK_PACKAGE_CONTACT "Kestrin FTP Pro developers <support@kestrin-ftp.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its platform plugins (X11, Wayland) in this package.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager")
set(CPACK_STRIP_FILES ON)
include(CPack)

if(KESTRIN_BUILD_TESTS AND KESTRIN_BUILD_APP)
  # The launcher and the metainfo pass the freedesktop checkers (when they are installed).
  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
  find_program(APPSTREAMCLI appstreamcli)
  if(DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_file_valid
             COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_SOURCE_DIR}/packaging/${KESTRIN_APP_ID}.desktop)
  endif()
  if(APPSTREAMCLI)
    add_test(NAME metainfo_valid
             COMMAND ${APPSTREAMCLI} validate --no-net ${CMAKE_BINARY_DIR}/packaging/${KESTRIN_APP_ID}.metainfo.xml)
  endif()
endif()
