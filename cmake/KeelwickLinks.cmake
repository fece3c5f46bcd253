# Every address Keelwick names, in one place: the desktop program reads them from the generated
# keelwick_links.h and the AppStream metainfo lists the web ones. The project has no web site:
# by default the home page is the installed README and no screenshot is listed. A packager with
# web addresses sets these cache variables.
include(GNUInstallDirs)

set(KEELWICK_HOME_PAGE "" CACHE STRING
    "Home page address (empty: the installed README.md as a file:// address)")
set(KEELWICK_SCREENSHOT_URL "" CACHE STRING
    "Web address of a screenshot of the main window for the metainfo (empty: none listed)")

# The AppStream component id: in reverse-DNS form under the reserved top-level name "local",
# which can never be anyone's web address.
set(KEELWICK_APP_ID local.keelwick.keelwick)

set(KEELWICK_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/keelwick)
set(KEELWICK_PRIVACY_PAGE_PATH ${CMAKE_INSTALL_FULL_DATADIR}/doc/keelwick/privacy.html)
set(KEELWICK_PRIVACY_PAGE_SOURCE_PATH ${PROJECT_SOURCE_DIR}/data/privacy.html)

# Worked out on every configure, so a new install prefix moves the default along.
if(KEELWICK_HOME_PAGE)
    set(KEELWICK_HOME_PAGE_URL ${KEELWICK_HOME_PAGE})
else()
    set(KEELWICK_HOME_PAGE_URL file://${CMAKE_INSTALL_FULL_DATADIR}/doc/keelwick/README.md)
endif()
