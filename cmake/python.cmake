# The Python module (python/korvex/, on the C interface through ctypes): a copy in the build tree
# (build/python, for PYTHONPATH) that loads the freshly built libraries, the installed copy that
# finds them relative to its own folder, so an unpacked or moved installation still works, and a
# wheel (build/dist) that carries the libraries and fonts inside the module's folder.
# The system's interpreter, the one the Debian package is for (with python3-numpy for the module's
# tests), rather than whichever python3 comes first on the PATH.
if(NOT Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KORVEX_PYTHON_DIR lib/python3/dist-packages CACHE STRING "Folder of the Python module, relative to the prefix")
file(GLOB KORVEX_PYTHON_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/python/korvex/*.py
     ${CMAKE_CURRENT_SOURCE_DIR}/python/korvex/*.pyi ${CMAKE_CURRENT_SOURCE_DIR}/python/korvex/py.typed)
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
string(REPLACE "@dir@" "." location_wheel "${KORVEX_PYTHON_LOCATION}")
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/python-wheel/_location.py CONTENT "${location_wheel}")

execute_process(COMMAND ${Python3_EXECUTABLE} -c "import importlib.util as u, sys; sys.exit(not all(u.find_spec(m) for m in ('pip', 'setuptools', 'wheel')))" RESULT_VARIABLE KORVEX_NO_WHEEL_TOOLS
                OUTPUT_QUIET ERROR_QUIET)
if(KORVEX_NO_WHEEL_TOOLS)
  message(STATUS "pip, setuptools or wheel missing for ${Python3_EXECUTABLE}: no Python wheel")
else()
  set(KORVEX_WHEEL_DIR ${CMAKE_BINARY_DIR}/dist)
  add_custom_command(OUTPUT ${KORVEX_WHEEL_DIR}/wheel.stamp
                     COMMAND ${CMAKE_COMMAND} -DSTAGE=${CMAKE_BINARY_DIR}/wheel-stage -DSOURCE=${CMAKE_SOURCE_DIR}/python
                             -DLOCATION=${CMAKE_BINARY_DIR}/python-wheel/_location.py
                             -DLIBRARY=$<TARGET_FILE:korvex> -DLIBRARY_NAME=$<TARGET_SONAME_FILE_NAME:korvex>
                             -DPICTURE=$<TARGET_FILE:korvex_picture> -DPICTURE_NAME=$<TARGET_SONAME_FILE_NAME:korvex_picture>
                             -DFONTS=${KORVEX_FONT_DIR} -DVERSION=${PROJECT_VERSION} -DPYTHON=${Python3_EXECUTABLE}
                             -DOUT=${KORVEX_WHEEL_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/python_wheel.cmake
                     COMMAND ${CMAKE_COMMAND} -E touch ${KORVEX_WHEEL_DIR}/wheel.stamp
                     DEPENDS korvex korvex_picture ${CMAKE_BINARY_DIR}/font.stamp ${KORVEX_PYTHON_SOURCES}
                             ${CMAKE_SOURCE_DIR}/python/pyproject.toml ${CMAKE_SOURCE_DIR}/cmake/python_wheel.cmake
                     COMMENT "Building the Python wheel into dist/")
  add_custom_target(korvex_wheel ALL DEPENDS ${KORVEX_WHEEL_DIR}/wheel.stamp)
endif()
