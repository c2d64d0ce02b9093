# The exported interface of libdirira is the list in module/exports.txt
# (its format is described at its top).

# dirira_read_export_list(<list file> <build: elf, mingw or windows> <out var>)
# The exports of the list that the given build carries. A line without a tag
# is every build's; a line with tags ("@elf @mingw") only the tagged builds'.
#   elf      libdirira.so (Itanium C++ ABI, checked by ExportList)
#   mingw    dirira.dll built with mingw-w64 (Itanium C++ ABI in a PE DLL,
#            checked by scripts/check-dll-exports.cmake from make test-windows)
#   windows  the DLL built with MSVC, which no build here produces: its lines
#            record that DLL's interface and are checked by nothing
function(dirira_read_export_list list platform out)
  file(STRINGS "${list}" lines)
  set(names)
  foreach(line IN LISTS lines)
    if(line MATCHES "^(#.*|\\[.*\\]|)$")  # comment, class heading, blank
      continue()
    endif()
    set(tags)
    while(line MATCHES "^(.*[^ ]) +@([a-z]+)$")  # trailing tags, last first
      set(line "${CMAKE_MATCH_1}")
      set(tag "${CMAKE_MATCH_2}")
      if(NOT tag MATCHES "^(elf|mingw|windows)$")
        message(FATAL_ERROR "${list}: unknown tag @${tag} after \"${line}\"")
      endif()
      list(APPEND tags "${tag}")
    endwhile()
    list(FIND tags "${platform}" found)
    if(tags AND found EQUAL -1)
      continue()
    endif()
    list(APPEND names "${line}")
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# dirira_export_only_listed(<target> <list file>)
# Links <target> with a version script that exports the list's ELF names and
# makes every other symbol local. On Windows the exports come from
# __declspec(dllexport) alone: a module-definition file cannot narrow them
# (GNU ld adds its names to the dllexport ones), so the mingw build's
# exports are checked against the list's @mingw lines after the build
# (scripts/check-dll-exports.cmake) instead.
function(dirira_export_only_listed target list)
  if(WIN32)
    return()
  endif()
  dirira_read_export_list("${list}" elf names)
  list(JOIN names "\";\n      \"" body)
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}.map")
  file(CONFIGURE OUTPUT "${script}" CONTENT
    "/* Made from ${list}: edit that list, not this file. */\n{\n  global:\n    extern \"C++\" {\n      \"${body}\";\n    };\n  local: *;\n};\n"
    @ONLY)
  target_link_options(${target} PRIVATE "-Wl,--version-script=${script}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${script}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${list}")
endfunction()

# dirira_check_export_table(<library name> <list> <tag> <table>)
# Compares a library's exported names (<table>: one demangled name a line)
# with the list's lines for <tag>, fails naming every name listed but not
# exported and every name exported but not listed, and says how many match.
# Used by the build-time checks of both platforms.
function(dirira_check_export_table library list tag table)
  dirira_read_export_list("${list}" ${tag} expected)
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
  if(missing OR unexpected)
    set(report "${library} differs from ${list} (@${tag}):")
    foreach(name IN LISTS missing)
      string(APPEND report "\n  listed, not exported: ${name}")
    endforeach()
    foreach(name IN LISTS unexpected)
      string(APPEND report "\n  exported, not listed: ${name}")
    endforeach()
    message(FATAL_ERROR "${report}")
  endif()
  list(LENGTH exported count)
  message("${library} exports: ${count} names, as listed")
endfunction()
