#!/usr/bin/env bash
# Builds the web page with emscripten (`cmake --preset web`): build-web/site
# holds the whole static site (the page, its script, the program in
# WebAssembly, the song, the font and the licences); beside it the frame tool
# for node, compofiller-frame.js. The libraries come from Debian's source
# packages, built the first time into build-web/third-party and kept.
#
#   ./build-web.sh            builds the site
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
scripts/build-preset.sh web build-web "for the web"
grep '^Wrote ' build-web/build.log | tail -n 1 >&2
if [ $serve = 1 ]; then
  port=${PORT:-8000}
  echo "Serving it on http://127.0.0.1:$port/ (Ctrl-C stops)" >&2
  exec python3 -m http.server --bind 127.0.0.1 --directory build-web/site "$port"
fi
