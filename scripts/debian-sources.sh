# Fetching and unpacking Debian's source packages, for the scripts that build
# third-party libraries for another system (windows-third-party.sh,
# web-third-party.sh). Sourced; the caller sets:
#   top       the folder that keeps the apt state (top/apt)
#   src       where the .dsc files and their archives go, and where they unpack
#   packages  the source packages it needs
#   stamp     a function: stamp NAME prints the file whose presence means NAME
#             is built already
# apt fetches the sources through a private configuration, so the system's
# apt sources stay as they are and apt still checks the signatures.

# Downloads the sources of every package not built yet.
fetch() {
  local need=()
  for p in "${packages[@]}"; do [ -e "$(stamp "$p")" ] || need+=("$p"); done
  [ ${#need[@]} -gt 0 ] || return 0
  local apt=$top/apt
  mkdir -p "$apt/sources" "$apt/lists/partial" "$apt/cache/archives/partial"
  rm -f "$apt/sources"/*.list
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
    >"$apt/sources/debian-sources.list"
  local opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/sources"
              -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o APT::Sandbox::User=root)
  if [ ! -e "$apt/lists/.updated" ]; then
    apt-get -qq "${opts[@]}" update
    touch "$apt/lists/.updated"
  fi
  (cd "$src" && for p in "${need[@]}"; do
     ls "$src"/"$p"_*.dsc >/dev/null 2>&1 || apt-get -qq "${opts[@]}" source --download-only "$p"
   done)
}

# Unpacks package $1 afresh into $src/$1 and enters it.
unpack() {
  rm -rf "${src:?}/$1"
  dpkg-source --no-check -x "$(ls "$src"/"$1"_*.dsc | head -n1)" "$src/$1" >/dev/null
  cd "$src/$1"
}

# Compiles C files into the static library $1 in $prefix/lib, all at once
# (configure scripts would take longer than the code takes to compile).
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

# Writes a pkg-config file, as libopenmpt's configure looks its libraries up.
pkgconfig() {  # name version libs [requires]
  printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\nName: %s\nDescription: %s\nVersion: %s\nRequires.private: %s\nLibs: -L${libdir} %s\nCflags: -I${includedir}\n' \
    "$prefix" "$1" "$1" "$2" "${4:-}" "$3" >"$prefix/lib/pkgconfig/$1.pc"
}

# libogg's library, headers and pkg-config file, once its
# include/ogg/config_types.h is written.
install_libogg() {
  compile_library libogg.a -Iinclude -- src/bitwise.c src/framing.c
  mkdir -p "$prefix/include/ogg"
  cp include/ogg/ogg.h include/ogg/os_types.h include/ogg/config_types.h "$prefix/include/ogg/"
  pkgconfig ogg 1.3.5 -logg
}

# libvorbis and libvorbisfile with the flags their configure would choose,
# and any the system adds.
build_vorbis_libraries() {  # [flags]
  unpack libvorbis
  local flags=(-Iinclude -Ilib -fsigned-char -DUSE_MEMORY_H "$@")
  compile_library libvorbis.a "${flags[@]}" -- lib/{mdct,smallft,block,envelope,window,lsp,lpc,analysis}.c \
    lib/{synthesis,psy,info,floor1,floor0,res0,mapping0,registry,codebook,sharedbook,lookup,bitrate}.c
  compile_library libvorbisfile.a "${flags[@]}" -- lib/vorbisfile.c
  mkdir -p "$prefix/include/vorbis"
  cp include/vorbis/codec.h include/vorbis/vorbisfile.h "$prefix/include/vorbis/"
  pkgconfig vorbis 1.3.7 "-lvorbis -lm" ogg
  pkgconfig vorbisfile 1.3.7 -lvorbisfile vorbis
}

# Builds libopenmpt, once configured, into $prefix/lib/libopenmpt.a with its
# headers and pkg-config file. Every source of the library starts with its
# "stdafx.h", made to be precompiled: it is compiled once with the library's
# own flags into $1, which each compile line then takes (gcc finds a .gch
# beside the header by itself; clang needs $2, "-include-pch FILE"). libtool's
# wrapper around each compile costs about a second of the cores per file (with
# the precompiled header the Windows library took 278 s through it and 179 s
# without it, on two idle cores): the compile lines make would give libtool
# are run directly instead, and the objects archived as libtool would.
compile_libopenmpt() {  # precompiled-header [flag added to each compile line]
  local header=$1 extra=${2:-}
  cat >precompile.mk <<MAKE
$header: common/stdafx.h
	\$(CXX) \$(DEFS) \$(DEFAULT_INCLUDES) \$(INCLUDES) \$(libopenmpt_la_CPPFLAGS) \$(CPPFLAGS) \$(libopenmpt_la_CXXFLAGS) \\
	  \$(CXXFLAGS) -Wno-pragma-once-outside-header -x c++-header \$< -o \$@
MAKE
  make -s -f Makefile -f precompile.mk "$header"
  make -s -n libopenmpt.la | grep -e '--mode=compile' |
    sed -e 's|^.*--mode=compile ||' -e 's|-o \([^ ]*\)\.lo |-o \1.o |' -e "s|\$|${extra:+ $extra}|" >compile-lines
  [ -s compile-lines ] || { echo "no compile lines in libopenmpt's makefile" >&2; return 1; }
  xargs -d '\n' -n 1 -P "$jobs" bash -c <compile-lines
  mkdir -p "$prefix/lib"
  grep -o -e '-o [^ ]*\.o ' compile-lines | cut -c 4- | xargs "$AR" rcs "$prefix/lib/libopenmpt.a"
  make -s install-nobase_includeHEADERS install-pkgconfigDATA >/dev/null
}

# Fetches the sources, then builds each package not built yet with its
# function build_NAME, and marks it built.
build_packages() {  # "for SYSTEM", for the messages
  fetch
  local p start
  for p in "${packages[@]}"; do
    [ -e "$(stamp "$p")" ] && continue
    start=$SECONDS
    echo "Building $p $1..." >&2
    ( "build_${p}" )
    touch "$(stamp "$p")"
    echo "  $p: $((SECONDS - start)) s" >&2
  done
}
