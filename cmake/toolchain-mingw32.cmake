# Cross build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
# Programs built here run under 32-bit Wine through scripts/wine32-run.sh.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DIRIRA_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine32-run.sh)

# Floating point in SSE2 registers, as MSVC compiles for x86 by default
# (/arch:SSE2): the x87 unit's 80-bit intermediates would round the
# calibrated gray and brightness formulas differently in the last bit.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
