#!/usr/bin/env bash
# Cross-builds the libraries the Windows program links statically: zlib,
# libogg, libvorbis and libopenmpt, from Debian's source packages, into
# DIR (default build-windows/third-party). scripts/debian-sources.sh fetches
# them. A library already built is kept.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(realpath -m "${1:-build-windows/third-party}")
prefix=$top/prefix
src=$top/src
host=x86_64-w64-mingw32
jobs=$(nproc)
mkdir -p "$prefix" "$src"

export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib
# No debug information: it doubles libopenmpt's build time and is never used.
export CFLAGS="-O2" CXXFLAGS="-O2" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"
# Only the libraries built here, never the Linux host's .pc files.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=

packages=(zlib libogg libvorbis libopenmpt)
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

# Writes a pkg-config file, as libopenmpt's configure looks its libraries up.
pkgconfig() {  # name version libs [requires]
  printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\nName: %s\nDescription: %s\nVersion: %s\nRequires.private: %s\nLibs: -L${libdir} %s\nCflags: -I${includedir}\n' \
    "$prefix" "$1" "$1" "$2" "${4:-}" "$3" >"$prefix/lib/pkgconfig/$1.pc"
}

# Compiles C files into a static library: for libogg and libvorbis, whose
# configure scripts take longer than their code takes to compile.
compile_library() {  # library flags -- files
  local library=$1 flags=() objs=() pids=()
  shift
  while [ "$1" != -- ]; do flags+=("$1"); shift; done
  shift
  for f in "$@"; do
    local o=${f//\//_}.o
    "$CC" $CPPFLAGS $CFLAGS "${flags[@]}" -c "$f" -o "$o" &
    pids+=($!)
    objs+=("$o")
  done
  for p in "${pids[@]}"; do wait "$p"; done
  mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"
  "$AR" rcs "$prefix/lib/$library" "${objs[@]}"
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
  compile_library libogg.a -Iinclude -- src/bitwise.c src/framing.c
  mkdir -p "$prefix/include/ogg"
  cp include/ogg/ogg.h include/ogg/os_types.h include/ogg/config_types.h "$prefix/include/ogg/"
  pkgconfig ogg 1.3.5 -logg
}

build_libvorbis() {
  unpack libvorbis
  # The flags its configure chooses for gcc.
  local flags=(-Iinclude -Ilib -fsigned-char -D__NO_MATH_INLINES -DUSE_MEMORY_H)
  compile_library libvorbis.a "${flags[@]}" -- lib/{mdct,smallft,block,envelope,window,lsp,lpc,analysis}.c \
    lib/{synthesis,psy,info,floor1,floor0,res0,mapping0,registry,codebook,sharedbook,lookup,bitrate}.c
  compile_library libvorbisfile.a "${flags[@]}" -- lib/vorbisfile.c
  mkdir -p "$prefix/include/vorbis"
  cp include/vorbis/codec.h include/vorbis/vorbisfile.h "$prefix/include/vorbis/"
  pkgconfig vorbis 1.3.7 "-lvorbis -lm" ogg
  pkgconfig vorbisfile 1.3.7 -lvorbisfile vorbis
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
  # Every source of the library starts with its "stdafx.h", made to be
  # precompiled; compiled once here with the library's own flags, gcc takes
  # stdafx.h.gch in its place (a third less time for the whole library).
  cat >precompile.mk <<'MAKE'
common/stdafx.h.gch: common/stdafx.h
	$(CXX) $(DEFS) $(DEFAULT_INCLUDES) $(INCLUDES) $(libopenmpt_la_CPPFLAGS) $(CPPFLAGS) $(libopenmpt_la_CXXFLAGS) \
	  $(CXXFLAGS) -Wno-pragma-once-outside-header -x c++-header $< -o $@
MAKE
  make -s -f Makefile -f precompile.mk common/stdafx.h.gch
  # libtool's wrapper around each compile costs about a second of the cores
  # per file here (with the precompiled header the library took 278 s through
  # it and 179 s without it, on two idle cores): the compile lines make would
  # give libtool are run directly instead, and the objects archived as
  # libtool would for a static library.
  make -s -n libopenmpt.la | grep -e '--mode=compile' |
    sed -e 's|^.*--mode=compile ||' -e 's|-o \([^ ]*\)\.lo |-o \1.o |' >compile-lines
  [ -s compile-lines ] || { echo "no compile lines in libopenmpt's makefile" >&2; return 1; }
  xargs -d '\n' -n 1 -P "$jobs" bash -c <compile-lines
  mkdir -p "$prefix/lib"
  grep -o -e '-o [^ ]*\.o ' compile-lines | cut -c 4- | xargs "$AR" rcs "$prefix/lib/libopenmpt.a"
  make -s install-nobase_includeHEADERS install-pkgconfigDATA >/dev/null
}

fetch
for p in "${packages[@]}"; do
  [ -e "$(stamp "$p")" ] && continue
  start=$SECONDS
  echo "Building $p for Windows..." >&2
  ( "build_${p}" )
  touch "$(stamp "$p")"
  echo "  $p: $((SECONDS - start)) s" >&2
done
