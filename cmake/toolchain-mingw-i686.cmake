# Cross build of the 32-bit Windows binaries with Debian's MinGW-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Doubles are computed in SSE2 registers, as on x86-64: the x87 unit's
# 80-bit intermediates would keep values finite (or round them otherwise)
# where the native build overflows, and the DLL would write other bytes.
# Applied by CMakeLists.txt to every target, also in an existing build folder.
set(KESTO_ARCH_COMPILE_OPTIONS -msse2 -mfpmath=sse)
