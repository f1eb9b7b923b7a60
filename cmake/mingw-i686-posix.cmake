# Cross-builds the 32-bit Windows bridge with mingw-w64's posix thread model:
# the bridge's portable code uses std::thread and std::mutex, which the
# default win32 model lacks. Linked -static, so winpthread is no DLL import.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_MC_COMPILER i686-w64-mingw32-windmc)
# Floating point in SSE2 registers, as on x86-64, rather than in the x87's
# 80-bit ones: the graphs' shared layout then computes the same numbers on
# both platforms (with the x87, 180 - 1.8 * 100 comes out 4.4e-15, not 0).
# Every CPU that runs Windows 8 or later has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
