#!/usr/bin/env bash
# Builds the demo for a web browser with Debian's emscripten: build-web/site/
# is a static folder any web server can serve (the page, its script and
# WebAssembly, the song, the font and the licences); beside it the frame tool
# for node, compofiller-frame.js. The libraries come from Debian's source
# packages, built once into build-web/third-party and kept.
#   ./build-web.sh            builds
#   ./build-web.sh --serve    builds, then serves the site on 127.0.0.1:8000
#                             (PORT=N for another port)
set -euo pipefail
cd "$(dirname "$0")"
serve=0
case "${1:-}" in
  --serve) serve=1 ;;
  "") ;;
  *) echo "usage: ./build-web.sh [--serve]" >&2; exit 2 ;;
esac
package_lists=(web)
source scripts/ensure-packages.sh
source scripts/emscripten-env.sh

out=build-web
mkdir -p "$out"
out=$(realpath "$out")
start=$SECONDS
log=$out/build.log
: >"$log"
fail() {
  tail -n 30 "$log" >&2
  echo "The web build failed; the whole log is in $log" >&2
  exit 1
}

scripts/web-third-party.sh "$out/third-party" 2>>"$log" || fail
scripts/native-song.sh "$out" >>"$log" 2>&1 || fail

echo "Building compofiller for the web..." >&2
{ PKG_CONFIG_LIBDIR=$out/third-party/prefix/lib/pkgconfig PKG_CONFIG_PATH= \
    emcmake cmake -S . -B "$out/cmake" -DCMAKE_BUILD_TYPE=Release \
      -DCOMPOFILLER_BUILD_TESTS=OFF -DCOMPOFILLER_BUILD_BENCH=OFF &&
  cmake --build "$out/cmake" -j"$(nproc)" --target compofiller-web compofiller-frame; } >>"$log" 2>&1 || fail

# The site, made afresh.
site=$out/site
rm -rf "$site"
mkdir -p "$site"
cp platform/web/page/index.html platform/web/page/demo.js platform/web/page/sound-worklet.js \
   "$out/cmake/compofiller.js" "$out/cmake/compofiller.wasm" "$out/QUILLOW3.oxm" "$site/"
cp platform/common/font/FullCyrSlav-VGA8.psf.gz "$site/font.psf.gz"
src=$out/third-party/src
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
cp "$out/cmake/compofiller-frame.js" "$out/cmake/compofiller-frame.wasm" "$out/"

size=$(du -sk "$site" | cut -f1)
echo "Wrote $site ($size KB; $((SECONDS - start)) s)" >&2
if [ $serve = 1 ]; then
  port=${PORT:-8000}
  echo "Serving it on http://127.0.0.1:$port/ (Ctrl-C stops)" >&2
  exec python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port"
fi
