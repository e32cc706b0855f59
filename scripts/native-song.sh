#!/usr/bin/env bash
# Composes the bundled song into FOLDER/QUILLOW3.oxm with the song generator
# built for this machine into FOLDER/songgen (kept, and rebuilt when its
# sources change), for the builds whose own programs cannot run here
# (build-windows.sh, build-web.sh). The same bytes as the Linux build's.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$1
songgen=$out/songgen/songgen
sources=(tools/songgen/*.cpp tools/songgen/*.h tools/xm/*.cpp tools/xm/*.h)
stale=0
[ -x "$songgen" ] || stale=1
for f in "${sources[@]}"; do [ "$f" -nt "$songgen" ] && stale=1; done
if [ $stale = 1 ]; then
  mkdir -p "$out/songgen"
  g++ -std=c++20 -O2 -Wall -Wextra -Werror -ffp-contract=off -fno-fast-math -I. \
    tools/songgen/*.cpp tools/xm/*.cpp -o "$songgen"
fi
"$songgen" "$out/QUILLOW3.oxm"
