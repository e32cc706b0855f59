#!/usr/bin/env bash
# Builds the demo and plays it.
set -euo pipefail
here=$PWD
cd "$(dirname "$0")"
repo=$PWD
source scripts/ensure-packages.sh

# The build talks only when it fails.
mkdir -p build
echo "Building compofiller and its song (the first build takes a minute or two)..." >&2
log=build/play-build.log
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCOMPOFILLER_BUILD_TESTS=OFF -DCOMPOFILLER_BUILD_BENCH=OFF &&
       cmake --build build -j"$(nproc)" --target compofiller compofiller-song compofiller-frame compofiller-record song_module; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "The build failed; the whole log is in $log" >&2
  exit 1
fi

# The song lies beside the program, where it finds it. Arguments (--fps N,
# a module file) are taken from the folder play.sh was started in.
cd "$here"
exec "$repo/build/compofiller" "$@"
