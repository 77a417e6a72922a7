# A Debian package of what `cmake --install` installs: `cpack -G DEB` in a build folder
# (built with CMAKE_BUILD_TYPE=Release) writes quillmark_VERSION_ARCH.deb. Its binaries are
# stripped, its dependencies are found by dpkg-shlibdeps (package dpkg-dev) from the
# libraries the programs link, and cmake/DebianFiles.cmake adds what Debian asks of every
# package: compressed manual pages, the copyright file and a changelog.
set(QUILLMARK_DEB_MAINTAINER "Quillmark developers <quillmark@example.org>" CACHE STRING
    "The Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VENDOR Quillmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "put logos into the NV memory of thermal receipt printers")
# Lines of at most 80 characters, as Debian's tools show them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Quillmark turns up to ten pictures (BMP, PNG, JPEG) into the NV bit-image"
  "layout of a thermal receipt printer, cropped to the print width of the chosen"
  "printer, and downloads them into the printer's non-volatile memory, prints a"
  "test sheet that recalls each stored image, or saves the download as a file."
  "Printers are reached through parallel, USB, serial and network ports."
  ""
  "It comes as a desktop program, quillmark, and as a command-line tool,"
  "quillmark-cli, which also offers a virtual printer that draws what a printer"
  "would print.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLMARK_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The dialogs' font where there is no Windows font (framework/DialogFont.cpp).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation2)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/DebianFiles.cmake")
# Read by DebianFiles.cmake, which runs inside cpack.
set(CPACK_QUILLMARK_COPYRIGHT "${PROJECT_SOURCE_DIR}/data/copyright")
include(CPack)
