# The Debian package: `cpack -G DEB` in the build folder (see README.md).
# Dependencies are computed by dpkg-shlibdeps from what the binaries link.
set(CPACK_PACKAGE_NAME morva)
set(CPACK_PACKAGE_VENDOR "morva maintainers")
set(CPACK_PACKAGE_CONTACT "morva maintainers <maintainers@morva.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "call-logging packer for PABX SMDR output")
set(CPACK_PACKAGE_DESCRIPTION "Reads the SMDR text stream of a PABX from a serial line, a\n\
TCP connection or a file, decodes each call and appends one CDR line per\n\
call to an hourly file tree; a loader puts the tree into SQLite.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
