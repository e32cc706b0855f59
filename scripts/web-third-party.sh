#!/usr/bin/env bash
# Builds the libraries the web page links, for WebAssembly with Debian's
# emscripten: zlib, libogg, libvorbis and libopenmpt, from Debian's source
# packages (scripts/debian-sources.sh fetches them), static, into DIR
# C++ is built with exceptions, so that a
# module libopenmpt cannot load is reported rather than aborting the page.
# A library already built is kept.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/emscripten-env.sh
top=$(realpath -m "$1")
prefix=$top/prefix
src=$top/src
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
mkdir -p "$prefix/lib/pkgconfig" "$prefix/include" "$src"

export CC=emcc CXX=em++ AR=emar RANLIB=emranlib
export CFLAGS="-O2" CXXFLAGS="-O2 -fexceptions" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib -fexceptions"
# emconfigure points pkg-config at emscripten's own folder; this adds ours.
export EM_PKG_CONFIG_PATH=$prefix/lib/pkgconfig

packages=(zlib libogg libvorbis libopenmpt)
stamp() { echo "$prefix/.built-$1"; }
source scripts/debian-sources.sh

build_zlib() {
  unpack zlib
  # What its configure finds: unistd.h (read, write, lseek) and stdarg.h.
  compile_library libz.a -DHAVE_UNISTD_H -DHAVE_STDARG_H -- adler32.c compress.c crc32.c deflate.c gzclose.c gzlib.c gzread.c gzwrite.c infback.c \
    inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c
  cp zlib.h zconf.h "$prefix/include/"
  pkgconfig zlib 1.2.13 -lz
}

build_libogg() {
  unpack libogg
  # What its configure finds for wasm32: the fixed-width types.
  sed -e 's/@INCLUDE_INTTYPES_H@/1/;s/@INCLUDE_STDINT_H@/1/;s/@INCLUDE_SYS_TYPES_H@/1/' \
      -e 's/@SIZE16@/int16_t/;s/@USIZE16@/uint16_t/;s/@SIZE32@/int32_t/;s/@USIZE32@/uint32_t/' \
      -e 's/@SIZE64@/int64_t/;s/@USIZE64@/uint64_t/' include/ogg/config_types.h.in >include/ogg/config_types.h
  install_libogg
}

build_libvorbis() {
  # The flags its configure chooses for clang.
  build_vorbis_libraries
}

build_libopenmpt() {
  unpack libopenmpt
  # No --host: its config.sub does not know wasm32; emconfigure sets the
  # compilers, and configure runs its test programs under node.
  emconfigure ./configure -q --prefix="$prefix" --enable-static --disable-shared --disable-dependency-tracking \
    --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
    --without-mpg123 --without-portaudio --without-portaudiocpp --without-sndfile --without-flac \
    --without-pulseaudio --with-zlib --with-ogg --with-vorbis --with-vorbisfile >/dev/null
  compile_libopenmpt common/stdafx.h.pch "-include-pch common/stdafx.h.pch"
}

build_packages "for the web"
