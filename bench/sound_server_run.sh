#!/usr/bin/env bash
# Plays the song through a private PulseAudio server (null sink), records the
# sink and compares the recording with compofiller-song's render: dropouts per
# run, the picture's lead or lag at each order change, and how soon a killed
# server is noticed. Needs a build with tests (the default) in BUILD.
#
#   bench/sound_server_run.sh BUILD [demo|probe] [--busy N] [--kill-after MS] [--seconds S]
#                             [--pipewire] [--driver SDLDRIVER]
#
# demo: the real program, unpaced, its output to a file (it still computes
# every frame); the whole song. DEMO=path runs another build of the program. probe: the sound probe on the same song,
# polling the order without pause, which also reports event times.
set -euo pipefail
build=$(cd "$1" && pwd); shift
what=${1:-demo}; shift || true
busy=0; kill=-1; seconds=176; server=()
while [ $# -gt 0 ]; do
  case $1 in
    --busy) busy=$2; shift 2 ;;
    --kill-after) kill=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --pipewire) server+=(--pipewire); shift ;;
    --driver) server+=(--driver "$2"); shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
cmake --build "$build" -j2 --target compofiller compofiller-song song_module sound_probe sound_server_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/compofiller-song" wav "$build/QUILLOW3.oxm" "$work/song.wav" >/dev/null
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
cd "$build"
if [ "$what" = demo ]; then
  "$build/tests/sound_server_bench" "$work/song.wav" --busy "$busy" --kill-after "$kill" "${server[@]}" -- \
    "${DEMO:-$build/compofiller}" > "$work/report" 2>&1 </dev/null || true
else
  "$build/tests/sound_server_bench" "$work/song.wav" --busy "$busy" --kill-after "$kill" "${server[@]}" \
    --module "$build/QUILLOW3.oxm" -- "$build/tests/sound_probe" QUILLOW3.oxm "$seconds" --spin --eq \
    > "$work/report" 2>&1 || true
fi
cat "$work/report"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
