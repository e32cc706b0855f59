#!/usr/bin/env bash
# Lays out the web site from the web build in FOLDER, afresh, in FOLDER/site
# (LIBRARIES: where its libraries were built, with their sources):
# the page, its program, the song, the font, and the licences of everything
# in it.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$1
site=$out/site
rm -rf "$site"
mkdir -p "$site"
cp platform/web/page/index.html platform/web/page/demo.js platform/web/page/picture.js platform/web/page/touch.js \
   platform/web/page/sound-worklet.js \
   "$out/compofiller.js" "$out/compofiller.wasm" "$out/QUILLOW3.oxm" "$site/"
cp platform/common/font/FullCyrSlav-VGA8.psf.gz "$site/font.psf.gz"
src=$2/src
{
  cat platform/web/page/LICENSES.txt
  section() { printf '\n\n==== %s\n\n' "$1"; cat "$2"; }
  section "compofiller and its song (MIT)" LICENSE
  section "font.psf.gz" platform/common/font/README
  section "libopenmpt (BSD-3-clause)" "$src/libopenmpt/LICENSE"
  section "libvorbis (BSD-3-clause)" "$src/libvorbis/COPYING"
  section "libogg (BSD-3-clause)" "$src/libogg/COPYING"
  section "zlib (zlib licence)" <(sed -n '/^Copyright notice:/,$p' "$src/zlib/README")
} >"$site/LICENSES.txt"
echo "Wrote $site ($(du -sk "$site" | cut -f1) KB)"
