# Kernel variants: each CpuType has its own translation units, compiled with that
# instruction-set level's flags; everything else is compiled for the SSE2 baseline.
# Fused multiply-add is never enabled, not even for type 7: the kernels' results are defined
# by separate multiplies and adds in a fixed order.
set(ZTR_ISA_FLAGS_2 -msse2)
set(ZTR_ISA_FLAGS_3 -msse3)
set(ZTR_ISA_FLAGS_4 -mssse3)
set(ZTR_ISA_FLAGS_5 -msse4.2 -mpopcnt)
set(ZTR_ISA_FLAGS_6 -mavx -mpopcnt)
set(ZTR_ISA_FLAGS_7 -mavx2 -mbmi -mbmi2 -mlzcnt -mpopcnt -mno-fma)
# The 512-bit tier inside CpuType 7 (x86_64 only): type 7's flags and the AVX-512 foundation.
set(ZTR_ISA_FLAGS_7_512 ${ZTR_ISA_FLAGS_7} -mavx512f)

# ztr_layer_target(<out>): the object library of the calling directory's layer (its top-level
# directory names the layer).
function(ztr_layer_target out)
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX REPLACE "/.*" "" layer "${rel}")
  set(${out} ztr_${layer} PARENT_SCOPE)
endfunction()

# ztr_kernel_sources(<cpu type> <source>...): add sources compiled for one CpuType level to the
# layer of the calling directory (its top-level directory names the layer).
function(ztr_kernel_sources type)
  ztr_layer_target(target)
  if(NOT DEFINED ZTR_ISA_FLAGS_${type})
    message(FATAL_ERROR "no instruction-set flags for CpuType ${type}")
  endif()
  foreach(src IN LISTS ARGN)
    get_filename_component(abs ${src} ABSOLUTE)
    set_source_files_properties(${abs} TARGET_DIRECTORY ${target} PROPERTIES
      COMPILE_OPTIONS "${ZTR_ISA_FLAGS_${type}}"
      COMPILE_DEFINITIONS "ZTR_KERNEL_CPU_TYPE=${type}")
    target_sources(${target} PRIVATE ${abs})
  endforeach()
endfunction()

# ztr_kernel_sources_512(<source>...): add sources of CpuType 7's 512-bit tier.  They are
# type 7 kernels (ZTR_KERNEL_CPU_TYPE=7) that run only when the processor and the OS support
# 512-bit registers; the type 7 variant decides at run time whether to call them.
function(ztr_kernel_sources_512)
  ztr_layer_target(target)
  foreach(src IN LISTS ARGN)
    get_filename_component(abs ${src} ABSOLUTE)
    set_source_files_properties(${abs} TARGET_DIRECTORY ${target} PROPERTIES
      COMPILE_OPTIONS "${ZTR_ISA_FLAGS_7_512}"
      COMPILE_DEFINITIONS "ZTR_KERNEL_CPU_TYPE=7;ZTR_KERNEL_512=1")
    target_sources(${target} PRIVATE ${abs})
  endforeach()
endfunction()
