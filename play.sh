#!/usr/bin/env bash
# Builds the demo and plays it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCOMPOFILLER_BUILD_TESTS=OFF -DCOMPOFILLER_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target compofiller song_module >/dev/null

# The song lies beside the program; the demo loads it from its working folder.
cd build
exec ./compofiller
