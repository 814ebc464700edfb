# The Debian package: `cpack -G DEB` in the build folder (see README.md).
# Dependencies are computed by dpkg-shlibdeps from what the binaries link.
set(CPACK_PACKAGE_NAME morva)
set(CPACK_PACKAGE_VENDOR "morva maintainers")
set(CPACK_PACKAGE_CONTACT "morva maintainers <maintainers@morva.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "call-logging packer for PABX SMDR output")
set(CPACK_PACKAGE_DESCRIPTION "Reads the SMDR text stream of a PABX from a serial line, a\n\
TCP connection or a file, decodes each call and appends one CDR line per\n\
call to an hourly file tree; a loader puts the tree into SQLite or\n\
PostgreSQL.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# The loader's databases are read with sqlite3 (operator.md); socat runs the
# recipe for an exchange we connect to, faketime freezes the clock for a
# replay.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "sqlite3")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "socat, faketime")
# The maintainer scripts: systemd rereads the units; an upgrade restarts
# what runs, a removal stops it, a purge deletes the data. The files under
# /etc are conffiles: an upgrade keeps the administrator's edits.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/dist/debian/postinst
  ${PROJECT_SOURCE_DIR}/dist/debian/prerm
  ${PROJECT_SOURCE_DIR}/dist/debian/postrm
  ${PROJECT_SOURCE_DIR}/dist/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# What Debian asks of every package's doc folder: the copyright notice and
# the changelog, compressed. The changelog's newest entry names this version.
file(STRINGS ${PROJECT_SOURCE_DIR}/dist/debian/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^morva \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "dist/debian/changelog does not begin with version ${PROJECT_VERSION}")
endif()
find_program(GZIP gzip)
if(GZIP)
  add_custom_command(OUTPUT changelog.gz
    COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/dist/debian/changelog > changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/dist/debian/changelog)
  add_custom_target(changelog ALL DEPENDS changelog.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/dist/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
