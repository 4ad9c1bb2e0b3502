# Install, then build and run the consumer through pkg-config and through find_package.
include(${CMAKE_CURRENT_LIST_DIR}/install_support.cmake)

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The installed tree is moved before use: both descriptions must be relocatable.
set(moved ${WORK_DIR}/moved)
file(RENAME ${prefix} ${moved})
file(GLOB_RECURSE pcfile ${moved}/*/ztr.pc)
get_filename_component(pcdir ${pcfile} DIRECTORY)
file(GLOB libs ${moved}/lib*/libztr.so*)
list(LENGTH libs nlibs)
if(NOT nlibs EQUAL 3)
  message(FATAL_ERROR "expected libztr.so, .so.N and .so.N.M.P, found: ${libs}")
endif()
get_filename_component(libdir ${pcfile} DIRECTORY)
get_filename_component(libdir ${libdir} DIRECTORY)
if(NOT EXISTS ${libdir}/libztr.a)
  message(FATAL_ERROR "no static archive in ${libdir}")
endif()

# pkg-config
set(ENV{PKG_CONFIG_PATH} ${pcdir})
run(pkg-config --cflags ztr)
string(STRIP "${last_output}" cflags)
run(pkg-config --libs ztr)
string(STRIP "${last_output}" libs_flags)
separate_arguments(cflags UNIX_COMMAND "${cflags}")
separate_arguments(libs_flags UNIX_COMMAND "${libs_flags}")
separate_arguments(cc_flags UNIX_COMMAND "${C_FLAGS}")
run(${C_COMPILER} ${cc_flags} ${cflags} ${SOURCE_DIR}/consumer/consumer.c ${libs_flags}
    -Wl,-rpath,${libdir} -o ${WORK_DIR}/consumer_pkgconfig)
run(${WORK_DIR}/consumer_pkgconfig)
message(STATUS "pkg-config consumer: ${last_output}")

# find_package
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/consumer -B ${WORK_DIR}/cmake_build
    -DCMAKE_PREFIX_PATH=${moved} -DCMAKE_C_COMPILER=${C_COMPILER} "-DCMAKE_C_FLAGS=${C_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake_build)
run(${WORK_DIR}/cmake_build/consumer)
message(STATUS "find_package consumer: ${last_output}")
