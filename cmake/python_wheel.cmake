# Makes the korvex wheel (cmake -P, run by the korvex_wheel target): stages python/ with the built
# libraries under their SONAMEs (their build-tree RPATH removed), the stroke fonts in korvex/font
# (where the library looks beside itself), the wheel's _location.py, the version and the platform
# tag, then builds the wheel from the stage with the system's setuptools, offline.
foreach(var STAGE SOURCE LOCATION LIBRARY LIBRARY_NAME PICTURE PICTURE_NAME FONTS VERSION PYTHON OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "python_wheel.cmake: ${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/korvex)
file(COPY ${SOURCE}/pyproject.toml DESTINATION ${STAGE})
file(GLOB sources ${SOURCE}/korvex/*.py ${SOURCE}/korvex/*.pyi ${SOURCE}/korvex/py.typed)
file(COPY ${sources} ${LOCATION} DESTINATION ${STAGE}/korvex)
foreach(pair "${LIBRARY}|${LIBRARY_NAME}" "${PICTURE}|${PICTURE_NAME}")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 name)
  file(COPY_FILE ${from} ${STAGE}/korvex/${name})
  file(RPATH_REMOVE FILE ${STAGE}/korvex/${name})
endforeach()
file(GLOB fonts ${FONTS}/*.sl)
file(COPY ${fonts} DESTINATION ${STAGE}/korvex/font)
file(WRITE ${STAGE}/VERSION "${VERSION}\n")
execute_process(COMMAND ${PYTHON} -c "import sysconfig; print(sysconfig.get_platform().replace('-', '_').replace('.', '_'))"
                OUTPUT_VARIABLE platform OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
# Pure Python on ctypes, so any Python 3; the libraries make it one platform's wheel.
file(WRITE ${STAGE}/setup.cfg "[bdist_wheel]\npython_tag = py3\nplat_name = ${platform}\n")
file(GLOB old ${OUT}/korvex-*.whl)
if(old)
  file(REMOVE ${old})
endif()
execute_process(COMMAND ${PYTHON} -m pip wheel --no-build-isolation --no-index --no-deps --quiet --wheel-dir ${OUT} ${STAGE}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pip wheel failed on ${STAGE}")
endif()
