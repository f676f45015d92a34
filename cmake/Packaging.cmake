# "make package": a Debian package of everything the install rules install,
# under /usr, built by CPack from this build tree without building again.
# Its dependencies are found by dpkg-shlibdeps from the programs' libraries.
include(GNUInstallDirs)

# What Debian expects beside the files of every package.
set(LH_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/lockharbour)
configure_file(${CMAKE_SOURCE_DIR}/dist/debian/copyright
               ${CMAKE_BINARY_DIR}/dist/copyright COPYONLY)
set(LH_CHANGELOG ${CMAKE_BINARY_DIR}/dist/changelog.Debian.gz)
add_custom_command(
    OUTPUT ${LH_CHANGELOG}
    COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/dist/debian/changelog > ${LH_CHANGELOG}
    DEPENDS ${CMAKE_SOURCE_DIR}/dist/debian/changelog
    VERBATIM)
add_custom_target(package_documents ALL DEPENDS ${LH_CHANGELOG})
install(FILES ${CMAKE_BINARY_DIR}/dist/copyright ${LH_CHANGELOG} DESTINATION ${LH_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lockharbour)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tessavond)
set(CPACK_PACKAGE_CONTACT "Tessavond <packages@tessavond.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "password manager with an encrypted database file")
set(CPACK_PACKAGE_DESCRIPTION
    "Lockharbour keeps passwords, user names, notes and attached files in one\n"
    "database file, encrypted with AES-256 or Twofish-256 under a master\n"
    "password. It locks the workspace on request, clears the clipboard after a\n"
    "delay, generates passwords and warns about weak, re-used and expired\n"
    "ones. lockharbour-cli works on the same files from scripts.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tessavond.example/lockharbour)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The offscreen and X11 platform plugins come with libqt5gui5, which
# dpkg-shlibdeps finds; hicolor is the theme the icons are installed into.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "hicolor-icon-theme")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

# The package test builds its own package from the programs already built,
# so "make test" does not build anything twice.
find_program(LH_DPKG_DEB dpkg-deb)
if(LH_DPKG_DEB)
    add_test(NAME package_deb
             COMMAND bash ${CMAKE_SOURCE_DIR}/tools/check-package.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(package_deb PROPERTIES LABELS package TIMEOUT 600)
endif()
