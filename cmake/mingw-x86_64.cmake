# Cross-compiles the 64-bit build of the same program with Debian's mingw-w64
# (POSIX threads model). It stands in for the shipped 32-bit program on
# machines that cannot execute 32-bit code, where only wine64 runs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests and tools run under Wine (its loader starts a 64-bit program with
# wine64); the prefix comes from WINEPREFIX.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
