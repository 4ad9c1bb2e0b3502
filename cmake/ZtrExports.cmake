# The public header is the one list of exported functions: every declaration that starts with
# ZTR_API is exported, and nothing else is. The linker version script is derived from it at
# configure time, and a test compares the shared library's dynamic symbol table with it.
function(ztr_header_exports header out_var)
  file(STRINGS ${header} lines REGEX "^ZTR_API ")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "([A-Za-z_][A-Za-z0-9_]*)[ ]*\\(" m "${line}")
    list(APPEND names ${CMAKE_MATCH_1})
  endforeach()
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()

function(ztr_generate_version_script header out)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
  ztr_header_exports(${header} names)
  set(body "{\n  global:\n")
  foreach(n IN LISTS names)
    string(APPEND body "    ${n};\n")
  endforeach()
  string(APPEND body "  local:\n    *;\n};\n")
  file(WRITE ${out}.tmp "${body}")
  file(COPY_FILE ${out}.tmp ${out} ONLY_IF_DIFFERENT)
endfunction()
