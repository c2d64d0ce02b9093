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

# -n: i686's c++filt would otherwise strip a leading underscore that its
# export names do not have.
execute_process(COMMAND "${CXXFILT}" -n ${mangled}
  OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${CXXFILT} failed")
endif()
dirira_check_export_table("${dll}" "${LIST}" mingw "${table}")
