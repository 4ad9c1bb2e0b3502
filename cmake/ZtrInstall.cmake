# Install layout: versioned shared library (libztr.so -> .so.N -> .so.N.M.P), static archive,
# the public header, a relocatable pkg-config file and a CMake package giving ZTR::ztr.
include(CMakePackageConfigHelpers)

install(TARGETS ztr_shared ztr_internal EXPORT ZTRTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/ztr.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(ZTR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZTR)
install(EXPORT ZTRTargets NAMESPACE ZTR:: DESTINATION ${ZTR_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZTRConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZTRConfig.cmake INSTALL_DESTINATION ${ZTR_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZTRConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZTRConfig.cmake ${PROJECT_BINARY_DIR}/ZTRConfigVersion.cmake
  DESTINATION ${ZTR_CMAKE_DIR})

# pkg-config: the prefix is computed from the file's own place so that an installed tree can
# be moved; static users also need the OpenMP runtime and libm.
file(RELATIVE_PATH ZTR_PC_TO_PREFIX
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" ZTR_PC_TO_PREFIX "${ZTR_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/ztr.pc.in ${PROJECT_BINARY_DIR}/ztr.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ztr.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Python package, beside the library it loads: <libdir>/python3/dist-packages/ztr finds
# <libdir>/libztr.so.0 by itself (put that folder on PYTHONPATH).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/ztr
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/python3/dist-packages PATTERN __pycache__ EXCLUDE)
