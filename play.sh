#!/usr/bin/env bash
# Builds the demo and plays it. Installs only what the demo needs (the
# compiler, CMake and the libraries it links: scripts/packages/play.txt) and
# builds only the program and its song, into build/.
set -euo pipefail
here=$PWD
cd "$(dirname "$0")"
repo=$PWD
package_lists=(play)
apt_recommends=no
source scripts/ensure-packages.sh

# What play.sh builds: the demo and the song it plays. Whatever else the demo
# finds beside itself is added here as a target (the window's font is copied
# beside it when the build is configured).
targets=(compofiller song_module)
# Without the tools, the tests and the benchmarks, the configure step asks
# for none of their libraries (libpng, FFmpeg, GoogleTest, Google Benchmark).
options=(-DCMAKE_BUILD_TYPE=Release -DCOMPOFILLER_BUILD_TOOLS=OFF -DCOMPOFILLER_BUILD_TESTS=OFF
         -DCOMPOFILLER_BUILD_BENCH=OFF)

# The build talks only when it fails. A built tree is configured once; later
# runs only let make check that nothing changed, and start the demo at once.
mkdir -p build
log=build/play-build.log
configured=build/play-configured
if [ ! -f build/CMakeCache.txt ] || [ "$(cat "$configured" 2>/dev/null)" != "${options[*]}" ]; then
  echo "Building compofiller and its song (the first build takes about a minute)..." >&2
  configure=(cmake -S . -B build "${options[@]}")
else
  configure=(true)
fi
if ! { "${configure[@]}" && cmake --build build -j"$(nproc)" --target "${targets[@]}"; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "The build failed; the whole log is in $log" >&2
  exit 1
fi
echo "${options[*]}" >"$configured"

# The song lies beside the program, where it finds it. Arguments (--fps N,
# a module file) are taken from the folder play.sh was started in.
cd "$here"
exec "$repo/build/compofiller" "$@"
