# Install, move the tree, then run the Python snippet twice with no hint of where the library
# is: the package installed beside the library must find it itself, and the package that pip
# installs from the source tree finds it on the loader path.
include(${CMAKE_CURRENT_LIST_DIR}/install_support.cmake)

execute_process(COMMAND ${PYTHON} -c "import numpy, scipy" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message("skipped: ${PYTHON} with numpy and scipy is needed (./dev deps installs them)")
  return()
endif()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(moved ${WORK_DIR}/moved)
file(RENAME ${prefix} ${moved})
file(GLOB_RECURSE init ${moved}/*/python3/dist-packages/ztr/__init__.py)
if(NOT init)
  message(FATAL_ERROR "the Python package is not in the installed tree")
endif()
get_filename_component(pkg ${init} DIRECTORY)
get_filename_component(site ${pkg} DIRECTORY)
get_filename_component(libdir ${site} DIRECTORY)
get_filename_component(libdir ${libdir} DIRECTORY)
set(snippet ${CMAKE_CURRENT_LIST_DIR}/python_snippet.py)
set(clean_env --unset=ZTR_LIBRARY --unset=LD_LIBRARY_PATH PYTHONDONTWRITEBYTECODE=1)

# The installed package, beside the library.
run(${CMAKE_COMMAND} -E env ${clean_env} PYTHONPATH=${site} ${PYTHON} ${snippet})
if(NOT last_output MATCHES "python snippet ok: ${pkg}/__init__.py ${libdir}/libztr.so.0")
  message(FATAL_ERROR "unexpected: ${last_output}")
endif()
message(STATUS "installed package: ${last_output}")

# pip from a copy of the source folder (pip builds in place), offline, into a target folder.
execute_process(COMMAND ${PYTHON} -m pip --version RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(NOT rc EQUAL 0)
  message(STATUS "no pip for ${PYTHON}: the pip install is not checked")
  return()
endif()
file(COPY ${PACKAGE_DIR}/ DESTINATION ${WORK_DIR}/source PATTERN __pycache__ EXCLUDE
     PATTERN build EXCLUDE PATTERN *.egg-info EXCLUDE)
run(${PYTHON} -m pip install --quiet --no-build-isolation --no-deps --no-index
    --target ${WORK_DIR}/pip ${WORK_DIR}/source)
run(${CMAKE_COMMAND} -E env ${clean_env} PYTHONPATH=${WORK_DIR}/pip LD_LIBRARY_PATH=${libdir}
    ${PYTHON} ${snippet})
if(NOT last_output MATCHES "python snippet ok: ${WORK_DIR}/pip/ztr/__init__.py libztr.so.0")
  message(FATAL_ERROR "unexpected: ${last_output}")
endif()
message(STATUS "pip-installed package: ${last_output}")
