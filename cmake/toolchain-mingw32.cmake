# Cross build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
# The posix-threads variant of the compiler gives std::thread and std::mutex;
# its runtime DLLs are copied next to the programs (see DiriraWindows.cmake).
# Programs built here run under 32-bit Wine through scripts/wine32-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(DIRIRA_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${DIRIRA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DIRIRA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DIRIRA_MINGW_TRIPLET}-windres)

# Headers and libraries come from the mingw sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${DIRIRA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine32-run.sh)

# Floating point in SSE2 registers, as MSVC compiles for x86 by default
# (/arch:SSE2): the x87 unit's 80-bit intermediates would round the
# calibrated gray and brightness formulas differently in the last bit.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
