#!/usr/bin/env bash
# The web page's frames against the native ones: plays the whole song on the
# page in headless Chromium (tests/web/page_driver.js, sound to no device) at
# 60 frames a second, once at full speed and once with Chromium's CPU
# throttle at 4x (DevTools' stand-in for a mid-range phone), and prints for
# each, by scene: the frames a second the page drew in the scene's span, how
# many frames came more than 25 ms after the one before, and the median and
# 95th percentile of the time each frame took on the page (the program's
# whole frame: cells, captions, the picture, the mix), beside the native cost
# of the same frames' cells and captions (build/bench/frame-costs), and the
# time a picture worker took on each frame (Chromium throttles the page's
# thread only).
#   bench/web_frames.sh [BUILD_DIR] [SECONDS] [THROTTLES] [QUERY]
#   (default: build-release, the whole song, "1 4", none; ?picture=2d measures the
#   page's 2D canvas where it would draw with WebGL)
# Run it alone: flock /tmp/compofiller-timing.lock bench/web_frames.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
seconds=${2:-180}
throttles=${3:-1 4}
query=${4:-}
web="build-web"
cmake --build "$build" --target frame-costs >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$build/bench/frame-costs" >"$out/native"
# "scene S median M ms  95th P ms" -> "S M P"
sed -n 's/^\(scene \)\{0,1\}\([0-9a-z]*\) *median *\([0-9.]*\) ms  95th *\([0-9.]*\).*/\2 \3 \4/p' "$out/native" >"$out/native-ms"
for throttle in $throttles; do
  NODE_PATH=$web/test-tools/node_modules node tests/web/page_driver.js play "$web/site" "$query" "$seconds" "$throttle" >"$out/page"
  # Per frame: when it began, its order (so its scene) and its time.
  paste <(grep '^order ' "$out/page" | cut -d' ' -f2,3) <(grep '^frame-ms ' "$out/page" | cut -d' ' -f2) >"$out/frames"
  echo "CPU throttle ${throttle}x:"
  sort -k3,3n "$out/frames" >"$out/by-cost"
  awk -v native="$out/native-ms" '
    function scene(o) { return o > 37 ? 7 : o > 31 ? 8 : o > 27 ? 5 : o > 25 ? 4 : o > 15 ? 2 : o > 11 ? 9 : o > 7 ? 3 : o > 3 ? 1 : 0 }
    function row(s,   n, m) {
      n = count[s]; m = ms[s, int(n / 2) + 1]
      printf "  scene %-3s %5.1f a second %4d late | page median %5.2f ms 95th %5.2f | native median %5.2f ms 95th %5.2f | %.2f times\n",
             s, (gaps[s] > 0 ? gapCount[s] * 1000 / gaps[s] : 0), late[s], m, ms[s, int(n * 0.95) + 1], nm[s], n95[s],
             (nm[s] > 0 ? m / nm[s] : 0)
    }
    BEGIN { while ((getline l < native) > 0) { split(l, f, " "); nm[f[1]] = f[2]; n95[f[1]] = f[3] } }
    # The frames in the order they ran: the gaps between them, each counted
    # in the scene of the frame that ended it.
    FILENAME == ARGV[1] {
      s = scene($2)
      if (FNR > 1) {
        gap = $1 - previous
        gaps[s] += gap; gapCount[s]++; gaps["all"] += gap; gapCount["all"]++
        if (gap > 25) { late[s]++; late["all"]++ }
      }
      previous = $1
      next
    }
    # The same frames from the quickest to the slowest, for the percentiles.
    {
      s = scene($2)
      ms[s, ++count[s]] = $3
      ms["all", ++count["all"]] = $3
    }
    END {
      printf "  %d frames in %.1f s\n", count["all"], gaps["all"] / 1000
      split("0 1 3 9 2 4 5 8 7 all", order, " ")
      for (k = 1; k <= 10; k++) if (count[order[k]]) row(order[k])
    }' "$out/frames" "$out/by-cost"
  # A worker that draws the picture runs beside the page's thread, and
  # Chromium's throttle does not slow it: its own time a frame, at full speed.
  { grep '^worker-draw-ms ' "$out/page" || true; } | cut -d' ' -f2 | sort -n | awk '
    { ms[NR] = $1 }
    END { if (NR) printf "  picture worker (not throttled): median %.2f ms 95th %.2f max %.2f, %d frames\n",
                         ms[int(NR / 2) + 1], ms[int(NR * 0.95) + 1], ms[NR], NR }'
done
