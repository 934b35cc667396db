# Install rules (GNUInstallDirs): the shared and static library, the picture library, the public
# headers, the korvex program, the compiled stroke fonts in share/korvex/font, the Python module,
# the docs and examples, a CMake package (find_package(korvex) -> korvex::korvex, korvex::static,
# korvex::picture) and a pkg-config file. Both package descriptions locate the prefix from their own
# place, so an installation unpacked elsewhere can still be built against.
include(CMakePackageConfigHelpers)

install(TARGETS korvex korvex_static korvex_picture EXPORT korvexTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS korvex_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/korvex DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${KORVEX_GENERATED_INCLUDE}/korvex/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/korvex)
install(DIRECTORY ${KORVEX_FONT_DIR}/ DESTINATION ${KORVEX_INSTALL_DATADIR}/font)
install(DIRECTORY www/ DESTINATION ${KORVEX_INSTALL_DATADIR}/www)  # the station's operator page

set(KORVEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/korvex)
install(EXPORT korvexTargets NAMESPACE korvex:: DESTINATION ${KORVEX_CMAKE_DIR})
configure_package_config_file(cmake/korvexConfig.cmake.in ${CMAKE_BINARY_DIR}/korvexConfig.cmake
                              INSTALL_DESTINATION ${KORVEX_CMAKE_DIR})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/korvexConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/korvexConfig.cmake ${CMAKE_BINARY_DIR}/korvexConfigVersion.cmake
        DESTINATION ${KORVEX_CMAKE_DIR})

file(RELATIVE_PATH KORVEX_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KORVEX_PC_TO_PREFIX "${KORVEX_PC_TO_PREFIX}")
configure_file(cmake/korvex.pc.in ${CMAKE_BINARY_DIR}/korvex.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/korvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(DIRECTORY python/korvex/ DESTINATION ${KORVEX_PYTHON_DIR}/korvex
        FILES_MATCHING PATTERN "*.py" PATTERN "*.pyi" PATTERN "py.typed" PATTERN "__pycache__" EXCLUDE)
install(FILES ${CMAKE_BINARY_DIR}/python-install/_location.py DESTINATION ${KORVEX_PYTHON_DIR}/korvex)

file(GLOB KORVEX_DOCS CONFIGURE_DEPENDS docs/*.md docs/*.png)  # the pages and their pictures
install(FILES README.md ${KORVEX_DOCS} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES examples/host_example.cpp examples/c_example.c examples/python_example.py
              examples/eartag_template.mc1 examples/eartag_template.nam examples/eartag_logo.plt
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
