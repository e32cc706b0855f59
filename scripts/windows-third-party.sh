#!/usr/bin/env bash
# Cross-builds the libraries the Windows program links statically: zlib,
# libogg, libvorbis, libopenmpt and SDL2, from Debian's source packages, into
# DIR. scripts/debian-sources.sh fetches
# them. A library already built is kept.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(realpath -m "$1")
prefix=$top/prefix
src=$top/src
host=x86_64-w64-mingw32
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
mkdir -p "$prefix" "$src"

export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib
# No debug information: it doubles libopenmpt's build time and is never used.
export CFLAGS="-O2" CXXFLAGS="-O2" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"
# Only the libraries built here, never the Linux host's .pc files.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=

packages=(zlib libogg libvorbis libopenmpt libsdl2)
stamp() { echo "$prefix/.built-$1"; }
source scripts/debian-sources.sh

build_zlib() {
  unpack zlib
  # Debian's source leaves out zlib's Windows makefiles; the library is its
  # fifteen C files, compiled here directly.
  local objs=()
  for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees \
           uncompr zutil; do
    "$CC" $CFLAGS -c "$f.c" -o "$f.o"
    objs+=("$f.o")
  done
  mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"
  "$AR" rcs "$prefix/lib/libz.a" "${objs[@]}"
  cp zlib.h zconf.h "$prefix/include/"
  printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\nName: zlib\nDescription: zlib\nVersion: 1.2.13\nLibs: -L${libdir} -lz\nCflags: -I${includedir}\n' \
    "$prefix" >"$prefix/lib/pkgconfig/zlib.pc"
}

build_libogg() {
  unpack libogg
  # The types configure would find on every 64-bit Windows.
  cat >include/ogg/config_types.h <<'TYPES'
#ifndef __CONFIG_TYPES_H__
#define __CONFIG_TYPES_H__
#include <stdint.h>
typedef int16_t ogg_int16_t;
typedef uint16_t ogg_uint16_t;
typedef int32_t ogg_int32_t;
typedef uint32_t ogg_uint32_t;
typedef int64_t ogg_int64_t;
typedef uint64_t ogg_uint64_t;
#endif
TYPES
  install_libogg
}

build_libvorbis() {
  # The flags its configure chooses for gcc.
  build_vorbis_libraries -D__NO_MATH_INLINES
}

configure_static() {
  ./configure -q --host=$host --prefix="$prefix" --enable-static --disable-shared --disable-dependency-tracking \
    "$@" >/dev/null
}

build_libopenmpt() {
  unpack libopenmpt
  configure_static --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
    --without-mpg123 --without-portaudio --without-portaudiocpp --without-sndfile --without-flac \
    --without-pulseaudio --with-zlib --with-ogg --with-vorbis --with-vorbisfile
  compile_libopenmpt common/stdafx.h.gch
}

# SDL2 for the window (--window): its video, events and renderers. The sound
# goes out through waveOut, and joysticks, haptics, sensors, power and
# OpenGL/Vulkan go unused: those are switched off ahead of its own
# SDL_config_windows.h (the configuration it keeps for builds without
# configure), with the dummy drivers its CMake build puts in their place and
# the C runtime's functions in place of its own, as that build does for
# mingw. Its sources are compiled directly, in about half the time of its
# CMake build.
build_libsdl2() {
  unpack libsdl2
  cat >include/SDL_config.h <<'CONFIG'
#ifndef SDL_config_demo_h_
#define SDL_config_demo_h_
#include "SDL_platform.h"
#define HAVE_LIBC 1
#define SDL_AUDIO_DISABLED 1
#define SDL_JOYSTICK_DISABLED 1
#define SDL_HAPTIC_DISABLED 1
#define SDL_HIDAPI_DISABLED 1
#define SDL_SENSOR_DISABLED 1
#define SDL_POWER_DISABLED 1
#define SDL_VIDEO_RENDER_D3D11 0
#define SDL_VIDEO_RENDER_D3D12 0
#define SDL_VIDEO_RENDER_OGL 0
#define SDL_VIDEO_RENDER_OGL_ES2 0
#define SDL_VIDEO_OPENGL 0
#define SDL_VIDEO_OPENGL_WGL 0
#define SDL_VIDEO_OPENGL_ES2 0
#define SDL_VIDEO_OPENGL_EGL 0
#include "SDL_config_windows.h"
#undef SDL_AUDIO_DRIVER_WASAPI
#undef SDL_AUDIO_DRIVER_DSOUND
#undef SDL_AUDIO_DRIVER_WINMM
#undef SDL_AUDIO_DRIVER_DISK
#undef SDL_JOYSTICK_DINPUT
#undef SDL_JOYSTICK_HIDAPI
#undef SDL_JOYSTICK_RAWINPUT
#undef SDL_JOYSTICK_VIRTUAL
#undef SDL_JOYSTICK_WGI
#undef SDL_JOYSTICK_XINPUT
#undef SDL_HAPTIC_DINPUT
#undef SDL_HAPTIC_XINPUT
#undef SDL_SENSOR_WINDOWS
#undef SDL_SENSOR_DUMMY
#undef SDL_POWER_WINDOWS
#undef SDL_VIDEO_VULKAN
#define SDL_JOYSTICK_DUMMY 1
#define SDL_HAPTIC_DUMMY 1
#define SDL_SENSOR_DUMMY 1
#define SDL_VIDEO_VULKAN 0
#endif
CONFIG
  ls src/*.c src/atomic/*.c src/audio/*.c src/audio/dummy/*.c src/core/windows/SDL_windows.c src/cpuinfo/*.c \
     src/dynapi/*.c src/events/*.c src/file/SDL_rwops.c src/filesystem/windows/*.c src/haptic/*.c \
     src/haptic/dummy/*.c src/hidapi/SDL_hidapi.c src/joystick/*.c src/joystick/dummy/*.c src/loadso/windows/*.c \
     src/locale/*.c src/locale/windows/*.c src/misc/*.c src/misc/windows/*.c src/power/*.c src/render/*.c \
     src/render/*/*.c src/sensor/*.c src/sensor/dummy/*.c src/stdlib/*.c \
     src/thread/*.c src/thread/generic/SDL_syscond.c src/thread/windows/*.c src/timer/*.c src/timer/windows/*.c \
     src/video/*.c src/video/dummy/*.c src/video/windows/*.c src/video/yuv2rgb/*.c >sources
  # Its own code, not ours: its warnings are left to it.
  sed 's|.*|& -o &.o|' sources |
    xargs -d '\n' -P "$jobs" -I{} bash -c "$CC $CFLAGS -w -Iinclude -Isrc/video/khronos -c {}"
  mkdir -p "$prefix/lib/pkgconfig" "$prefix/include/SDL2"
  sed 's|$|.o|' sources | xargs "$AR" rcs "$prefix/lib/libSDL2.a"
  cp include/*.h "$prefix/include/SDL2/"
  pkgconfig sdl2 2.26.5 "-lSDL2 -luser32 -lgdi32 -lwinmm -limm32 -lole32 -loleaut32 -lversion -luuid -ladvapi32 -lsetupapi -lshell32"
  # The program says where its main is (SDL_SetMainReady); no SDL2main.
  sed -i 's|^Cflags: .*|Cflags: -I${includedir} -I${includedir}/SDL2 -DSDL_MAIN_HANDLED|' "$prefix/lib/pkgconfig/sdl2.pc"
}

build_packages "for Windows"
