# The Debian package: `cpack -G DEB` in the build folder makes
# quillet_<version>_<architecture>.deb of what `cmake --install` installs.
# Its dependencies are read from the binaries (dpkg-shlibdeps, package
# dpkg-dev).
set(CPACK_PACKAGE_NAME quillet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quillet developers")
set(CPACK_PACKAGE_CONTACT "${QUILLET_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small player for Flash Video files")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillet plays Flash Video (.flv) files in one window with its own control bar:\n"
    "play and pause, a seek bar, the time, volume with mute, and full screen. It\n"
    "opens videos from its Open File button, from files dropped on the window and\n"
    "from the file manager, and plays videos on a web server while they download.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY quillet)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUILLET_WEBSITE_ADDRESS}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# xdg-utils opens links in the browser; a portal or GTK platform theme gives
# the desktop's own file chooser; Qt's Wayland plugin makes Quillet a native
# client of a Wayland session instead of an XWayland one; Qt's translations
# give its own words (Yes, No, the file dialog's) in the user's language.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-xdgdesktopportal-platformtheme | qt6-gtk-platformtheme, qt6-wayland, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
