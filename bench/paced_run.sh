#!/usr/bin/env bash
# Plays the whole song in a private tmux of 80 x 50 once per frame rate and
# prints what the run cost: frames per second achieved, late frames, the
# demo's CPU share (all its threads, averaged over the run), tmux's CPU share,
# and bytes per second sent to the terminal.
#
#   bench/paced_run.sh [BUILD_DIR] [FPS...]     (default: build-release, 60 and 0)
#
# DEMO_ARGS adds options to every run (DEMO_ARGS="--palette terminal"); the
# demo sees COLORTERM as it is set here.
#
# Each run takes the song's length (about three minutes). Sound goes to a
# private PulseAudio null sink when pulseaudio is installed, so the mixing
# costs what it costs with sound; otherwise the demo runs silently.
set -euo pipefail
build=$(cd "${1:-build-release}" && pwd)
shift || true
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(60 0)
[ -x "$build/compofiller" ] && [ -f "$build/QUILLOW3.oxm" ] || { echo "build $build first" >&2; exit 1; }

work=$(mktemp -d /tmp/cf-paced-run.XXXXXX)
pulse_pid=""
socket=""
cleanup() {
  [ -n "$socket" ] && tmux -L "$socket" kill-server 2>/dev/null || true
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/common.sh"
sound_env=()
if command -v pulseaudio >/dev/null; then start_pulse "$work"; fi

printf 'load average at start: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
for fps in "${rates[@]}"; do
  socket="cf-paced-run-$$-$fps"
  printf 'set -g status off\nset -g escape-time 0\nset -g default-terminal tmux-256color\nset -g remain-on-exit on\n' \
    > "$work/tmux.conf"
  tmux -L "$socket" -f "$work/tmux.conf" new-session -d -x 80 -y 50 -c "$build" \
    "env ${sound_env[*]} ./compofiller --fps $fps --stats ${DEMO_ARGS:-} 2> $work/stats-$fps.txt"
  server=$(tmux -L "$socket" display-message -p '#{pid}')
  start_ticks=$(cpu_ticks "$server")
  start=$(date +%s.%N)
  until [ "$(tmux -L "$socket" display-message -p '#{pane_dead}')" = 1 ]; do sleep 1; done
  end=$(date +%s.%N)
  end_ticks=$(cpu_ticks "$server")
  tmux -L "$socket" kill-server
  socket=""
  tmux_share=$(awk -v t="$((end_ticks - start_ticks))" -v hz="$hz" -v s="$start" -v e="$end" \
    'BEGIN { printf "%.1f", 100 * t / hz / (e - s) }')
  printf -- '--fps %s: %s\n' "$fps" "$(grep -h 'frames in' "$work/stats-$fps.txt" || cat "$work/stats-$fps.txt")"
  printf -- '          tmux server: %s %% of one core\n' "$tmux_share"
  grep -v 'frames in' "$work/stats-$fps.txt" | sed 's/^/          /' || true
done
printf 'load average at end: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
