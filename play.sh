#!/usr/bin/env bash
# Builds the demo and plays it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh

# The build talks only when it fails.
mkdir -p build
echo "Building compofiller and its song (the first build takes a minute or two)..." >&2
log=build/play-build.log
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCOMPOFILLER_BUILD_TESTS=OFF -DCOMPOFILLER_BUILD_BENCH=OFF &&
       cmake --build build -j"$(nproc)" --target compofiller compofiller-song compofiller-frame song_module; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "The build failed; the whole log is in $log" >&2
  exit 1
fi

# The song lies beside the program; the demo loads it from its working folder.
cd build
exec ./compofiller
