# The Debian package, built by `cmake --build <build folder> --target package`:
# the files of the install rules under /usr, the Debian copyright and
# changelog, dependencies found by dpkg-shlibdeps.

set(KORVEX_PACKAGE_MAINTAINER "The Korvex developers <korvex@example.org>"
  CACHE STRING "Maintainer of the Debian package, as 'name <address>'")
set(KORVEX_DEBIAN_REVISION 1 CACHE STRING "Debian revision of the package")
set(KORVEX_DEBIAN_VERSION ${PROJECT_VERSION}-${KORVEX_DEBIAN_REVISION})

# /usr/share/doc/korvex/copyright and changelog.Debian.gz.
set(debian_docs ${CMAKE_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/res/debian/copyright ${debian_docs}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/res/debian/changelog ${debian_docs}/changelog @ONLY)
find_program(KORVEX_GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${debian_docs}/changelog.Debian.gz
  COMMAND sh -c "\"$1\" -9n -c \"$2\" > \"$3\"" gzip ${KORVEX_GZIP} ${debian_docs}/changelog
          ${debian_docs}/changelog.Debian.gz
  DEPENDS ${debian_docs}/changelog
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(korvex_debian_docs ALL DEPENDS ${debian_docs}/changelog.Debian.gz)
install(FILES ${debian_docs}/copyright ${debian_docs}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/res/debian/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME korvex)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VENDOR "The Korvex developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reader for the hard disks of video recorders")
set(CPACK_PACKAGE_DESCRIPTION
  "Korvex reads the hard disk of a video recorder (a CCTV recorder, for
example) attached to the computer, strictly read-only. A scan writes a
plain-text report with one row per continuous recording segment of each
channel; a backup writes the recordings that match a time window,
channels, record types, folder range and size limit into AVI files with
H.264 video and A-law sound.

The package holds the window (Qt 6, in English and Chinese) and the
command-line companion korvex-cli for scripts and headless machines.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORVEX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KORVEX_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs and menus in Chinese; without it they stay in English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A Debian package installs under /usr whatever the build's own prefix.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Permissions and a stripped build as lintian expects them, whatever the
# umask of the build.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/out/")

include(CPack)
