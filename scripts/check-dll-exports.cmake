# cmake [-DOBJDUMP=<objdump>] [-DCXXFILT=<c++filt>] -DLIBRARY=<dirira.dll>
#       -DLIST=<module/exports.txt> -P check-dll-exports.cmake
# Fails unless the mingw-built DLL's export table names exactly the list's
# @mingw names (and its untagged ones), naming every missing and every
# unexpected one. The names are read from objdump -p's
# "[Ordinal/Name Pointer] Table" and demangled with c++filt.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/DiriraExports.cmake)
if(NOT OBJDUMP)
  set(OBJDUMP x86_64-w64-mingw32-objdump)
endif()
if(NOT CXXFILT)
  set(CXXFILT x86_64-w64-mingw32-c++filt)
endif()
dirira_read_export_list("${LIST}" mingw expected)
get_filename_component(dll "${LIBRARY}" NAME)

execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}"
  OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${LIBRARY}")
endif()
set(mangled)
if(headers MATCHES "\\[Ordinal/Name Pointer\\] Table\n(([ \t]*\\[ *[0-9]+\\] [^\n]*\n)*)")
  # "\t[   0] _ZN4CBmpC1Ev" rows; the brackets would upset CMake lists.
  string(REGEX REPLACE "[ \t]*\\[ *[0-9]+\\] ([^\n]*)\n" "\\1;" mangled "${CMAKE_MATCH_1}")
endif()
if(NOT mangled)
  message(FATAL_ERROR "${dll}: no export name table in ${OBJDUMP} -p's output")
endif()

execute_process(COMMAND "${CXXFILT}" ${mangled}
  OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${CXXFILT} failed")
endif()
# Brackets and semicolons would split or join CMake list entries; no listed
# name has any, so an exported name that does is unexpected either way.
string(REGEX REPLACE "[][;]" "?" table "${table}")
string(REPLACE "\n" ";" exported "${table}")
list(FILTER exported EXCLUDE REGEX "^$")
list(REMOVE_DUPLICATES exported)  # constructors and destructors have several entries

set(missing ${expected})
list(REMOVE_ITEM missing ${exported})
set(unexpected ${exported})
list(REMOVE_ITEM unexpected ${expected})
list(LENGTH exported count)
if(missing OR unexpected)
  set(report "${dll} differs from ${LIST} (@mingw):")
  foreach(name IN LISTS missing)
    string(APPEND report "\n  listed, not exported: ${name}")
  endforeach()
  foreach(name IN LISTS unexpected)
    string(APPEND report "\n  exported, not listed: ${name}")
  endforeach()
  message(FATAL_ERROR "${report}")
endif()
message("${dll} exports: ${count} names, as listed")
