# The Debian package: cpack -G DEB in a release tree configured with CMAKE_INSTALL_PREFIX=/usr
# (scripts/package.sh does both) makes ambrylog_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME ambrylog)
set(CPACK_PACKAGE_VENDOR Brightfen)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Brightfen <ambrylog@brightfen.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "catalog of the files on CDs, DVDs and other volumes")
set(CPACK_PACKAGE_DESCRIPTION
    "Ambrylog keeps a catalog of the contents of optical discs and other
volumes. Add a disc and the program walks it and writes one plain-text
archive per disc. Later you browse the catalog, search every file of every
disc by text, size and date, and get a found file back: Ambrylog asks for
the disc by its mark, waits for it to arrive in the drive, then copies the
file to the clipboard or opens it.
.
The package holds the desktop program and ambrylog-cli, which runs the
same engine from a terminal.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brightfen.github.io/ambrylog/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Mounting, ejecting and opening files go through these when they are there.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udisks2, xdg-utils")
# Loaded as plugins, so the library scan cannot see them: the SVG icons need these. The search's
# regular expressions need PCRE2's 8-bit library. Imports unpack with zlib and read TOML with
# toml++, disc images are read with libiso9660 (the library scan finds these too; named so a
# package built without it still has them).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libpcre2-8-0, zlib1g, libtomlplusplus3, libiso9660-11")
# Only the programs and their files; no test or build-time tool.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/")
include(CPack)
