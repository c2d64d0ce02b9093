# Turns the string tables and the version block of a .rc file into a C++
# table for the Win32 stand-in's loader (win32_standin::ModuleResources), so
# that the .rc file stays the one source of those resources.
#
#   cmake -DRC=module/dirira.rc -DOUT=resources.cpp -DSYMBOL=name -P rc_to_cpp.cmake
#
# Understood: LANGUAGE (the LANG_/SUBLANG_ names below), STRINGTABLE blocks
# with "id text" lines, and one VERSIONINFO with its fixed fields and a
# StringFileInfo block. Text is UTF-8 (#pragma code_page(65001)); it reaches
# the table as u"" literals, which the compiler turns into UTF-16. Anything
# else of rc syntax is an error, so nothing is dropped without a word.

cmake_policy(VERSION 3.25)

foreach(var RC OUT SYMBOL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "rc_to_cpp: ${var} is not set")
  endif()
endforeach()

set(lang_LANG_NEUTRAL 0x00)
set(lang_LANG_ENGLISH 0x09)
set(lang_LANG_JAPANESE 0x11)
set(sublang_SUBLANG_NEUTRAL 0x0)
set(sublang_SUBLANG_DEFAULT 0x1)

function(rc_fail line why)
  message(FATAL_ERROR "${RC}: ${why}: ${line}")
endfunction()

# A C++ u"" literal of an rc string body: "" is the rc escape of a quote.
function(rc_literal body out)
  if(body MATCHES "\\\\")
    message(FATAL_ERROR "${RC}: backslash escapes are not supported: ${body}")
  endif()
  string(REPLACE "\"\"" "\\\"" body "${body}")
  set(${out} "u\"${body}\"" PARENT_SCOPE)
endfunction()

file(STRINGS "${RC}" lines ENCODING UTF-8)
set(language 0)
set(state top)
set(string_rows "")
set(version_strings "")
set(have_version OFF)
foreach(fixed FILEVERSION PRODUCTVERSION)
  set(${fixed} "0, 0, 0, 0")
endforeach()
foreach(fixed FILEFLAGSMASK FILEFLAGS FILEOS FILETYPE FILESUBTYPE)
  set(${fixed} 0)
endforeach()

foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^//" OR line MATCHES "^#include" OR line MATCHES "^#pragma code_page\\(65001\\)$")
    continue()
  endif()
  if(state STREQUAL "top")
    if(line MATCHES "^LANGUAGE +([A-Z_]+) *, *([A-Z_]+)$")
      if(NOT DEFINED lang_${CMAKE_MATCH_1} OR NOT DEFINED sublang_${CMAKE_MATCH_2})
        rc_fail("${line}" "unknown language")
      endif()
      math(EXPR language "(${sublang_${CMAKE_MATCH_2}} << 10) | ${lang_${CMAKE_MATCH_1}}" OUTPUT_FORMAT HEXADECIMAL)
    elseif(line STREQUAL "STRINGTABLE")
      set(state strings_open)
    elseif(line MATCHES "^VS_VERSION_INFO +VERSIONINFO$")
      set(have_version ON)
      set(state version_fixed)
    else()
      rc_fail("${line}" "unsupported statement")
    endif()
  elseif(state STREQUAL "strings_open")
    if(NOT line STREQUAL "BEGIN")
      rc_fail("${line}" "expected BEGIN")
    endif()
    set(state strings)
  elseif(state STREQUAL "strings")
    if(line STREQUAL "END")
      set(state top)
    elseif(line MATCHES "^([0-9]+) *,? *\"(.*)\"$")
      rc_literal("${CMAKE_MATCH_2}" text)
      string(APPEND string_rows "    {${language}, ${CMAKE_MATCH_1}, ${text}},\n")
    else()
      rc_fail("${line}" "unsupported string-table line")
    endif()
  elseif(state STREQUAL "version_fixed")
    if(line MATCHES "^(FILEVERSION|PRODUCTVERSION) +([0-9]+) *, *([0-9]+) *, *([0-9]+) *, *([0-9]+)$")
      set(${CMAKE_MATCH_1} "${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}, ${CMAKE_MATCH_5}")
    elseif(line MATCHES "^(FILEFLAGSMASK|FILEFLAGS|FILEOS|FILETYPE|FILESUBTYPE) +(0x[0-9a-fA-F]+|[0-9]+)L?$")
      set(${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
    elseif(line STREQUAL "BEGIN")
      set(state version_body)
    else()
      rc_fail("${line}" "unsupported VERSIONINFO field")
    endif()
  elseif(state STREQUAL "version_body")
    if(line STREQUAL "BLOCK \"StringFileInfo\"" OR line STREQUAL "BLOCK \"VarFileInfo\"" OR line STREQUAL "BEGIN")
      # Structure only; the translation is derived from the string block's name.
    elseif(line MATCHES "^BLOCK \"([0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F])([0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F])\"$")
      set(version_language "0x${CMAKE_MATCH_1}")
      set(version_codepage "0x${CMAKE_MATCH_2}")
    elseif(line MATCHES "^VALUE \"Translation\"")
    elseif(line MATCHES "^VALUE \"([A-Za-z]+)\" *, *\"(.*)\"$")
      rc_literal("${CMAKE_MATCH_2}" text)
      string(APPEND version_strings "    {\"${CMAKE_MATCH_1}\", ${text}},\n")
    elseif(line STREQUAL "END")
      # The VERSIONINFO ends with the last END of the file; nothing follows it here.
    else()
      rc_fail("${line}" "unsupported VERSIONINFO line")
    endif()
  endif()
endforeach()

set(version_pointer "nullptr")
set(version_block "")
if(have_version)
  if(NOT DEFINED version_language)
    message(FATAL_ERROR "${RC}: VERSIONINFO without a StringFileInfo block")
  endif()
  set(version_pointer "&kVersion")
  string(CONCAT version_block
    "const win32_standin::VersionString kVersionStrings[] = {\n${version_strings}};\n\n"
    "const win32_standin::VersionResource kVersion = {\n"
    "    {${FILEVERSION}},\n    {${PRODUCTVERSION}},\n"
    "    ${FILEFLAGSMASK}, ${FILEFLAGS}, ${FILEOS}, ${FILETYPE}, ${FILESUBTYPE},\n"
    "    ${version_language}, ${version_codepage},\n"
    "    kVersionStrings, sizeof kVersionStrings / sizeof kVersionStrings[0]};\n\n")
endif()

file(WRITE "${OUT}.tmp"
  "// Generated from ${RC} by cmake/rc_to_cpp.cmake; edit the .rc file instead.\n"
  "#include <win32_standin.h>\n\n"
  "namespace {\n\n"
  "const win32_standin::StringResource kStrings[] = {\n${string_rows}};\n\n"
  "${version_block}"
  "}  // namespace\n\n"
  "extern const win32_standin::ModuleResources ${SYMBOL};\n"
  "const win32_standin::ModuleResources ${SYMBOL} = {\n"
  "    kStrings, sizeof kStrings / sizeof kStrings[0], ${version_pointer}};\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
