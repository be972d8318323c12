# The Debian package (cpack -G DEB, see scripts/package): the program and its
# tools in /usr/bin, the service unit, the maintainer scripts that create the
# service user and enable the unit. Dependencies come from the shared
# libraries actually linked (dpkg-shlibdeps), plus what is loaded at run
# time: Qt's Italian translations.
include(GNUInstallDirs)

set(quorvel_installed quorvel quorvel-storico quorvel-journal quorvel-aggiorna quorvel-hotel)
foreach(t IN LISTS quorvel_installed)
  if(TARGET ${t})
    install(TARGETS ${t} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
# Debian 12 keeps packaged units in /lib/systemd/system.
install(FILES packaging/quorvel.service DESTINATION /lib/systemd/system)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorvel <quorvel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "POS to hotel management system bridge")
set(CPACK_PACKAGE_DESCRIPTION
    "Posts a restaurant POS's charges onto the hotel's guest accounts, imports\n\
its cash receipts and keeps its list of in-house guests current. Runs as the\n\
systemd service quorvel (headless) or with a tray icon on a desktop.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/prerm
    ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
