# The web build with Debian's emscripten (`cmake --preset web`, which also
# sets the environment emcc needs here). COMPOFILLER_THIRD_PARTY is where the
# libraries the page links are built, the first time, from Debian's source
# packages (scripts/web-third-party.sh).
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES COMPOFILLER_THIRD_PARTY)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/third-party.cmake)
compofiller_third_party(web zlib libogg libvorbis libopenmpt)
