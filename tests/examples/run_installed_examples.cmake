# Installs into a temporary prefix, moves it, then builds the examples against it twice
# (their CMake project through find_package, their Makefile through pkg-config), runs every
# one, and runs the installed ztr-solve on its built-in problem.
include(${CMAKE_CURRENT_LIST_DIR}/../install/install_support.cmake)

function(check program)
  run(${CMAKE_COMMAND} -DPROGRAM=${program} -DMIN_LINES=1 -P ${CHECK_SCRIPT})
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(moved ${WORK_DIR}/moved)
file(RENAME ${prefix} ${moved})

# find_package(ZTR)
run(${CMAKE_COMMAND} -S ${EXAMPLES_DIR} -B ${WORK_DIR}/cmake_build -DCMAKE_PREFIX_PATH=${moved}
    -DCMAKE_C_COMPILER=${C_COMPILER} "-DCMAKE_C_FLAGS=${C_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake_build)
foreach(example IN LISTS EXAMPLES)
  check(${WORK_DIR}/cmake_build/${example})
endforeach()

# pkg-config, through the Makefile, in a copy of the folder (the build leaves programs there)
file(GLOB_RECURSE pcfile ${moved}/*/ztr.pc)
get_filename_component(pcdir ${pcfile} DIRECTORY)
file(COPY ${EXAMPLES_DIR}/ DESTINATION ${WORK_DIR}/make_build)
unset(ENV{PKG_CONFIG_PATH})
run(make -C ${WORK_DIR}/make_build PKG_CONFIG_PATH=${pcdir} "CC=${C_COMPILER}"
    "CFLAGS=-O2 -Wall -Wextra -Werror ${C_FLAGS}" all)
foreach(example IN LISTS EXAMPLES)
  check(${WORK_DIR}/make_build/${example})
endforeach()

# The installed command-line solver finds the installed library by itself.
run(${moved}/bin/ztr-solve)
if(NOT last_output MATCHES "relative residual:")
  message(FATAL_ERROR "installed ztr-solve: unexpected output\n${last_output}")
endif()
message(STATUS "installed examples and ztr-solve run")
