# What the two mingw-w64 toolchain files share; each sets
# DIRIRA_MINGW_TRIPLET and the Wine runner before including this.
# The posix-threads variant of the compiler gives std::thread and std::mutex;
# its runtime DLLs are copied next to the programs (DiriraMingwRuntime.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${DIRIRA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DIRIRA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DIRIRA_MINGW_TRIPLET}-windres)

# Headers and libraries come from the mingw sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${DIRIRA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
