# cmake -DNM=<nm> -DLIBRARY=<shared library> -DLIST=<export list> -P check_exports.cmake
# Fails unless the library's dynamic symbol table defines exactly the ELF
# names of the export list, naming every missing and every unexpected one.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/DiriraExports.cmake)
dirira_read_export_list("${LIST}" elf expected)

execute_process(COMMAND "${NM}" -D --defined-only -C "${LIBRARY}"
  OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} cannot read ${LIBRARY}")
endif()
# Brackets and semicolons would split or join CMake list entries; no listed
# name has any, so an exported name that does is unexpected either way.
string(REGEX REPLACE "[][;]" "?" table "${table}")
string(REGEX REPLACE "(^|\n)[0-9a-f]+ [A-Za-z] " "\\1" table "${table}")
string(REPLACE "\n" ";" exported "${table}")
list(FILTER exported EXCLUDE REGEX "^$")
list(REMOVE_DUPLICATES exported)  # constructors and destructors have several entries

set(missing ${expected})
list(REMOVE_ITEM missing ${exported})
set(unexpected ${exported})
list(REMOVE_ITEM unexpected ${expected})
list(LENGTH exported count)
if(missing OR unexpected)
  list(JOIN missing "\n  " missing)
  list(JOIN unexpected "\n  " unexpected)
  message(FATAL_ERROR "${LIBRARY} differs from ${LIST}\n"
    "listed but not exported:\n  ${missing}\nexported but not listed:\n  ${unexpected}")
endif()
message(STATUS "${LIBRARY}: ${count} exports, as listed")
