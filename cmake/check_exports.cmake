# cmake -DNM=<nm> -DLIBRARY=<shared library> -DLIST=<export list> -P check_exports.cmake
# Fails unless the library's dynamic symbol table defines exactly the ELF
# names of the export list, naming every missing and every unexpected one.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/DiriraExports.cmake)
execute_process(COMMAND "${NM}" -D --defined-only -C "${LIBRARY}"
  OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} cannot read ${LIBRARY}")
endif()
string(REGEX REPLACE "(^|\n)[0-9a-f]+ [A-Za-z] " "\\1" table "${table}")  # addresses and kinds off
dirira_check_export_table("${LIBRARY}" "${LIST}" elf "${table}")
