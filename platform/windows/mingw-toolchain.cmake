# Cross-builds the Windows program on Debian with mingw-w64 (posix threads, so
# std::thread works). COMPOFILLER_THIRD_PARTY is the prefix the Windows
# libraries were built into (scripts/windows-third-party.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES COMPOFILLER_THIRD_PARTY)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${COMPOFILLER_THIRD_PARTY})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the Windows libraries, never the Linux host's.
set(ENV{PKG_CONFIG_LIBDIR} ${COMPOFILLER_THIRD_PARTY}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Static, C and C++ runtimes included: the program needs no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
