#!/usr/bin/env bash
# Builds everything from scratch and runs every test, twice: an optimised
# build, then one with AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh

jobs=$(nproc)
for kind in release sanitize; do
  dir=build-test-$kind
  rm -rf "$dir"
  if [ "$kind" = sanitize ]; then
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCOMPOFILLER_SANITIZE=ON -DCOMPOFILLER_BUILD_BENCH=OFF)
  else
    flags=(-DCMAKE_BUILD_TYPE=Release)
  fi
  echo "== $kind build" >&2
  cmake -S . -B "$dir" "${flags[@]}" >/dev/null
  cmake --build "$dir" -j"$jobs" >/dev/null
  echo "== $kind tests" >&2
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 300)
done
