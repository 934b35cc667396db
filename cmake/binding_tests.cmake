# Tests of the C and Python interfaces and of the installation: the libraries' ABI; the examples run
# against the build tree; the Python module's own tests; an installed copy built against from
# outside (find_package and pkg-config) and used from C, C++, Python and the korvex program; the
# wheel in a fresh venv; the Debian packages built, installed and purged.
set(KORVEX_PYTHON_ENV "PYTHONPATH=${CMAKE_BINARY_DIR}/python" "PYTHONDONTWRITEBYTECODE=1")

add_test(NAME c_example COMMAND korvex_c_example)
# The output must show the square, and (since a pass expression hides the exit status) no failure.
set(KORVEX_EXAMPLE_FAILS "Sanitizer|runtime error| failed|Traceback")
set_tests_properties(c_example PROPERTIES PASS_REGULAR_EXPRESSION "line -3333 -3333 3333 -3333"
                                          FAIL_REGULAR_EXPRESSION "${KORVEX_EXAMPLE_FAILS}")

# The module's tests. Python is no sanitized program: in the sanitizer build they run with the
# sanitizer runtime preloaded (and libstdc++ before it, whose exceptions the runtime intercepts), so
# the handle registry and the array copies are checked from Python too. Leaks are Python's own.
add_test(NAME python_module COMMAND Python3::Interpreter -m unittest -v test_korvex_module
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/python)
set(KORVEX_PYTHON_MODULE_ENV "${KORVEX_PYTHON_ENV};KORVEX_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
if(KORVEX_SANITIZE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so OUTPUT_VARIABLE asan_runtime
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.so OUTPUT_VARIABLE cxx_runtime
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${asan_runtime}" AND IS_ABSOLUTE "${cxx_runtime}")
    list(APPEND KORVEX_PYTHON_MODULE_ENV "LD_PRELOAD=${asan_runtime}:${cxx_runtime}" "ASAN_OPTIONS=detect_leaks=0")
  else()
    set_tests_properties(python_module PROPERTIES DISABLED TRUE)  # a compiler whose runtime is elsewhere
  endif()
endif()
set_tests_properties(python_module PROPERTIES ENVIRONMENT "${KORVEX_PYTHON_MODULE_ENV}")

# The shared libraries' ABI against the release's record in abi/ (scripts/abi.sh): exactly the
# recorded symbols exported, and no incompatible change to the installed headers' functions and types.
# The symbol list is the release build's: a sanitized build also exports the vtables and typeinfo
# of the interface classes (UBSan's vptr checks need them), so only the type compare runs there.
if(NOT KORVEX_SANITIZE)
  add_test(NAME abi_symbols COMMAND ${CMAKE_SOURCE_DIR}/scripts/abi.sh symbols ${CMAKE_BINARY_DIR})
  set_tests_properties(abi_symbols PROPERTIES SKIP_RETURN_CODE 77)
endif()
add_test(NAME abi_compare COMMAND ${CMAKE_SOURCE_DIR}/scripts/abi.sh compare ${CMAKE_BINARY_DIR})
set_tests_properties(abi_compare PROPERTIES SKIP_RETURN_CODE 77)

# The example and the package's outside programs load the libraries into programs built without the
# sanitizers; the C interface itself runs sanitized in korvex_tests (CInterface*) and c_example.
if(KORVEX_SANITIZE)
  return()
endif()

add_test(NAME python_example COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/examples/python_example.py
                                     ${CMAKE_BINARY_DIR}/python_example.png)
set_tests_properties(python_example PROPERTIES ENVIRONMENT "${KORVEX_PYTHON_ENV}"
                                               PASS_REGULAR_EXPRESSION "line -3333 -3333 3333 -3333"
                                               FAIL_REGULAR_EXPRESSION "${KORVEX_EXAMPLE_FAILS}")

add_test(NAME installed_copy COMMAND ${CMAKE_SOURCE_DIR}/tests/install/installed_copy.sh ${CMAKE_BINARY_DIR})
set_tests_properties(installed_copy PROPERTIES TIMEOUT 300)

if(KORVEX_WHEEL_DIR)
  add_test(NAME python_wheel COMMAND ${CMAKE_SOURCE_DIR}/tests/install/python_wheel.sh ${KORVEX_WHEEL_DIR}
                                     ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION})
  set_tests_properties(python_wheel PROPERTIES TIMEOUT 300)
endif()

# A second whole build (dpkg-buildpackage), and as root an install and purge on this machine: only
# when asked for (KORVEX_PACKAGE_TEST=1, scripts/test.sh --packages); otherwise reported skipped.
add_test(NAME debian_packages COMMAND ${CMAKE_SOURCE_DIR}/tests/install/debian_packages.sh ${CMAKE_SOURCE_DIR}
                                      ${CMAKE_BINARY_DIR}/debian-packages)
set_tests_properties(debian_packages PROPERTIES TIMEOUT 3600 LABELS long SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
