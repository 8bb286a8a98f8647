# The Debian package: `cpack -G DEB` in a build folder (scripts/package does it for release).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${WRITER_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${WRITER_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programming tool for 8051-family microcontrollers")
set(CPACK_PACKAGE_DESCRIPTION
    "CV51 Writer programs 8051-family microcontrollers through the CV51 writer,
a USB programming device. An operator picks a chip, fills a code buffer from
a binary, Intel HEX or QRX project file, sets the chip's option bits and
checks, erases, programs, verifies or reads back the chip, or prepares the
writer for stand-alone programming.

The package holds the writer program with a menu entry that opens QRX
project files, writer-cli for scripts and production lines, and vwriter, a
virtual writer for trying everything without hardware. A udev rule gives the
user at the seat access to an attached writer.")

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${WRITER_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps; our own libraries are found beside the programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
# Qt loads database drivers as plugins, which dpkg-shlibdeps cannot see: SQLite for the
# production record, PostgreSQL for a line that shares one.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6sql6-sqlite)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS libqt6sql6-psql)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst
                                       ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

include(CPack)
