# The Debian package (CPack, `scripts/package.sh`): one package with the library, the program, the
# fonts, the development files and the Python module, so `apt install ./korvex_*.deb` gives a
# station everything at once. dpkg-shlibdeps adds the libraries (FreeType, fontconfig, cairo, libdmtx,
# libstdc++) with their versions; named here are Python and the outline font the example plate
# uses. Programs and shared libraries are stripped; the static library keeps its symbols.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "korvex")
set(CPACK_PACKAGE_CONTACT "korvex maintainers <korvex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "galvanometer laser marking machine library, program and simulated machine")
set(CPACK_PACKAGE_DESCRIPTION "The korvex library (C++, C and Python interfaces) drives a galvanometer-scanner laser
marking machine through a PCI I/O card or stand-alone controllers, and simulates the machine so
jobs can be tried without hardware. Includes the korvex program (ear-tag batches, drawings, text,
host scripts), the stroke fonts, headers, CMake and pkg-config files and examples.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, fontconfig, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei, g++, cmake, pkg-config")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE zstd)  # Debian 12's dpkg reads it; smaller and quicker to make than gzip
include(CPack)
