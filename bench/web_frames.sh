#!/usr/bin/env bash
# The web page's frames against the native ones: plays the whole song on the
# page in headless Chromium (tests/web/page_driver.js, sound to no device) at
# 60 frames a second, then prints the frames a second it held, how many
# frames came more than a refresh late, and the median and 95th percentile of
# the time each frame took on the page (the program's whole frame: cells,
# captions, the picture, the mix), by scene, beside the native cost of the
# same frames' cells and captions (build/bench/frame-costs).
#   bench/web_frames.sh [BUILD_DIR] [SECONDS]   (default build, the whole song)
# Run it alone: flock /tmp/compofiller-timing.lock bench/web_frames.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-180}
web=build-web
cmake --build "$build" --target frame-costs >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$build/bench/frame-costs" >"$out/native"
NODE_PATH=$web/test-tools/node_modules node tests/web/page_driver.js play "$web/site" '' "$seconds" >"$out/page"
# Per frame: its order (so its scene) and its time.
paste <(grep '^order ' "$out/page" | cut -d' ' -f2,3) <(grep '^frame-ms ' "$out/page" | cut -d' ' -f2) >"$out/frames"
awk '
  function scene(o) { return o > 37 ? 7 : o > 31 ? 8 : o > 27 ? 5 : o > 25 ? 4 : o > 15 ? 2 : o > 11 ? 9 : o > 7 ? 3 : o > 3 ? 1 : 0 }
  { t[NR] = $1; s = scene($2); n[s]++; ms[s, n[s]] = $3; all[NR] = $3 }
  END {
    span = (t[NR] - t[1]) / 1000
    late = 0
    for (i = 2; i <= NR; i++) if (t[i] - t[i - 1] > 25) late++
    printf "page: %d frames in %.1f s: %.1f a second; %d frames more than 25 ms after the one before\n", NR, span, (NR - 1) / span, late
  }' "$out/frames"
echo "time of a frame, native cells and captions | on the page, the whole frame:"
for s in 0 1 3 9 2 4 5 8 7 all; do
  native=$(grep "^$( [ $s = all ] && echo all || echo "scene $s") " "$out/native" | sed 's/.*median *\([0-9.]*\) ms  95th *\([0-9.]*\).*/\1 \2/')
  page=$(awk -v want="$s" '
    function scene(o) { return o > 37 ? 7 : o > 31 ? 8 : o > 27 ? 5 : o > 25 ? 4 : o > 15 ? 2 : o > 11 ? 9 : o > 7 ? 3 : o > 3 ? 1 : 0 }
    want == "all" || scene($2) == want { print $3 }' "$out/frames" | sort -n |
    awk '{ v[NR] = $1 } END { if (NR) printf "%.2f %.2f", v[int(NR / 2) + 1], v[int(NR * 0.95) + 1] }')
  [ -n "$page" ] || continue
  read -r nm n95 <<<"$native"
  read -r pm p95 <<<"$page"
  awk -v s="$s" -v nm="$nm" -v n95="$n95" -v pm="$pm" -v p95="$p95" 'BEGIN {
    printf "  scene %-3s native median %5.2f ms (95th %5.2f) | page median %5.2f ms (95th %5.2f): %.2f times\n", s, nm, n95, pm, p95, pm / nm }'
done
