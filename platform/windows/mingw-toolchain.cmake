# Cross-builds the Windows program on Debian with mingw-w64 (posix threads, so
# std::thread works). COMPOFILLER_THIRD_PARTY is where the Windows libraries
# are built, the first time, from Debian's source packages
# (scripts/windows-third-party.sh; `cmake --preset windows` sets it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES COMPOFILLER_THIRD_PARTY)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${COMPOFILLER_THIRD_PARTY}/prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/third-party.cmake)
compofiller_third_party(windows zlib libogg libvorbis libopenmpt libsdl2)

# Static, C and C++ runtimes included: the program needs no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
