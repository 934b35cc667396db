# The Python module (python/korvex/, on the C interface through ctypes): a copy in the build tree
# (build/python, for PYTHONPATH) that loads the freshly built libraries, and the installed copy that
# finds them relative to its own folder, so an unpacked or moved installation still works.
set(KORVEX_PYTHON_DIR lib/python3/dist-packages CACHE STRING "Folder of the Python module, relative to the prefix")
file(GLOB KORVEX_PYTHON_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/python/korvex/*.py)
foreach(source ${KORVEX_PYTHON_SOURCES})
  get_filename_component(name ${source} NAME)
  configure_file(${source} ${CMAKE_BINARY_DIR}/python/korvex/${name} COPYONLY)
endforeach()

set(KORVEX_PYTHON_LOCATION [=[
# Where this copy of the korvex module finds the libraries (written by the build).
LIBRARY_DIR = "@dir@"  # absolute, or relative to this file's folder
LIBRARY = "$<TARGET_SONAME_FILE_NAME:korvex>"
PICTURE_LIBRARY = "$<TARGET_SONAME_FILE_NAME:korvex_picture>"
]=])
string(REPLACE "@dir@" "$<TARGET_FILE_DIR:korvex>" location_build "${KORVEX_PYTHON_LOCATION}")
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/python/korvex/_location.py CONTENT "${location_build}")
file(RELATIVE_PATH KORVEX_PYTHON_TO_LIB ${CMAKE_INSTALL_PREFIX}/${KORVEX_PYTHON_DIR}/korvex ${CMAKE_INSTALL_FULL_LIBDIR})
string(REPLACE "@dir@" "${KORVEX_PYTHON_TO_LIB}" location_install "${KORVEX_PYTHON_LOCATION}")
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/python-install/_location.py CONTENT "${location_install}")
