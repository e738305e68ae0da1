# What `cmake --install` puts in place and the Debian package built from exactly that set (`cpack -G DEB`):
# the program and the development service, the desktop entry, the icon in the hicolor theme and the AppStream
# metainfo.
include(GNUInstallDirs)

set(_resources ${PROJECT_SOURCE_DIR}/resources)
if(TARGET plumet)
  install(TARGETS plumet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(TARGET plumet_video)
    install(TARGETS plumet_video LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/plumet)
  endif()
  install(FILES ${_resources}/plumet.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_resources}/org.plumet.plumet.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(_size 48 128)
    install(FILES ${_resources}/icons/plumet-${_size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps RENAME plumet.png)
  endforeach()
  install(FILES ${_resources}/icons/plumet.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
  install(FILES ${_resources}/icons/plumet.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
if(TARGET plumet-devserver)
  install(TARGETS plumet-devserver RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plumet)
set(CPACK_PACKAGE_VENDOR "Plumet developers")
set(CPACK_PACKAGE_CONTACT "Plumet developers <dev@plumet.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop client for a microblogging service")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Plumet reads and writes the statuses, comments, mentions, direct messages and favourites of one account, polls "
  "for news and announces it on the desktop. The package also holds plumet-devserver, a local development service.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# Libraries the binaries link come from dpkg-shlibdeps. What is loaded at run time is named here: QtKeychain opens
# libsecret itself, Qt its platform plugins and its Chinese translations, and the web engine of the video module
# its helper process.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsecret-1-0, qt6-qpa-plugins, qt6-translations-l10n, libqt6webenginecore6-bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring, fonts-noto-cjk")
include(CPack)
