# Every object compiled for one CpuType level (OBJECTS, a ;-separated list filtered to the
# kernel sources *_t<N>.cpp.o) may define external symbols only inside a namespace named for
# its level, t<N> or isa<N> (ztr::kernels::t<N>, ztr::gemm::t<N>, inline namespaces isa<N>).  Any other external definition, such as an inline function or template
# instantiation from a shared header, could be merged by the linker with the copy of another
# level, and code built for AVX2 would then run where only SSE2 is allowed.
set(checked 0)
foreach(obj IN LISTS OBJECTS)
  if(NOT obj MATCHES "_t([2-7])\\.cpp\\.o$")
    continue()
  endif()
  set(level ${CMAKE_MATCH_1})
  execute_process(COMMAND ${NM} -C --defined-only --extern-only ${obj}
                  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${obj}")
  endif()
  string(REPLACE "\n" ";" lines "${out}")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.*)$")
      continue()
    endif()
    set(symbol "${CMAKE_MATCH_1}")
    # The i386 position-independent-code thunks are the same two instructions at every level,
    # and DW.ref words hold the address of the C++ personality routine: neither is code built
    # for the level.
    if(NOT symbol MATCHES "(^| )ztr::([A-Za-z_0-9]+::)*(t|isa)${level}::"
       AND NOT symbol MATCHES "^__x86\\.get_pc_thunk\\." AND NOT symbol MATCHES "^DW\\.ref\\.")
      message(FATAL_ERROR "${obj} (CpuType ${level}) defines ${symbol}")
    endif()
  endforeach()
  math(EXPR checked "${checked} + 1")
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "no kernel objects found")
endif()
message(STATUS "${checked} kernel objects define symbols of their own level only")
