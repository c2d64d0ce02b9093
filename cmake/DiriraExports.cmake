# The exported interface of libdirira is the list in module/exports.txt
# (its format is described at its top).

# dirira_read_export_list(<list file> <platform: elf or windows> <out var>)
# The exports of the list that the given platform's build carries.
function(dirira_read_export_list list platform out)
  file(STRINGS "${list}" lines)
  set(names)
  foreach(line IN LISTS lines)
    if(line MATCHES "^(#.*|\\[.*\\]|)$")  # comment, class heading, blank
      continue()
    endif()
    if(line MATCHES "^(.*[^ ]) +@([a-z]+)$")
      if(NOT CMAKE_MATCH_2 STREQUAL platform)
        continue()
      endif()
      set(line "${CMAKE_MATCH_1}")
    endif()
    list(APPEND names "${line}")
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# dirira_export_only_listed(<target> <list file>)
# Links <target> with a version script that exports the list's ELF names and
# makes every other symbol local. (The Windows build derives its
# module-definition file from the same list.)
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
