#!/usr/bin/env bash
# Counts silent starts of the real program in a real terminal: 20 runs (or
# --runs N), each with the sound server started afresh and the program
# started 0, 0.9 or 1.6 s after it answers. Needs a build with tests (the
# default) in BUILD.
#
#   bench/start_runs.sh BUILD [--terminal tmux|xterm] [--pipewire] [--driver SDLDRIVER] [--runs N]
set -euo pipefail
build=$(cd "$1" && pwd); shift
cmake --build "$build" -j2 --target compofiller compofiller-song song_module start_runs_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/compofiller-song" wav "$build/QUILLOW3.oxm" "$work/song.wav" --seconds 10 >/dev/null
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
"$build/tests/start_runs_bench" "$build/compofiller" "$work/song.wav" "$@" || status=$?
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
