# What `cmake --install` lays out under the prefix, and the Debian package.
install(TARGETS pressbird pressbird-ctl pressbird-connector RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/pressbird-browser
        DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/pressbird.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/pressbird.svg
              ${PROJECT_SOURCE_DIR}/resources/icons/pressbird-off.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/help.html DESTINATION ${CMAKE_INSTALL_DATADIR}/pressbird)
install(FILES ${PROJECT_SOURCE_DIR}/data/demo/index.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pressbird/demo)
# The Pressbird Connector extension: unpacked for Chromium-family browsers
# ("Load unpacked") and signed for them (pressbird-ctl connector install),
# packed for Firefox under its id.
install(DIRECTORY ${PRESSBIRD_EXTENSION_DIR}/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pressbird/browser-extension/chromium)
install(FILES ${PRESSBIRD_EXTENSION_XPI} ${PRESSBIRD_EXTENSION_CRX}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pressbird/browser-extension)
install(SCRIPT ${PROJECT_SOURCE_DIR}/packaging/connector-system.cmake)

set(CPACK_PACKAGE_NAME pressbird)
set(CPACK_PACKAGE_VENDOR "pressbird-tools.example")
set(CPACK_PACKAGE_CONTACT "Pressbird maintainers <maintainers@pressbird-tools.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Pressbird)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://pressbird-tools.example/")
set(CPACK_PACKAGE_DESCRIPTION
    "Pressbird watches the pages of a Chromium-family browser and, at a fixed \
interval, clicks the links and pushes the buttons whose text matches the rules \
you typed in. It lives in the system tray.")
# The Debian 12 runtime of what the build links, plus the X11 platform plugin
# that the Qt libraries load at run time and the icon renderer.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libsqlite3-0 (>= 3.40), \
libqt6core6 (>= 6.4.2), libqt6gui6 (>= 6.4.2), libqt6widgets6 (>= 6.4.2), \
libqt6network6 (>= 6.4.2), libqt6websockets6 (>= 6.4.2), libqt6svg6 (>= 6.4.2), \
qt6-qpa-plugins (>= 6.4.2)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "chromium, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "firefox-esr")
# The host manifests the package puts in /etc are the administrator's to change.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/conffiles)
include(CPack)
