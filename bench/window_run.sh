#!/usr/bin/env bash
# What the demo's window costs, beside the terminal: plays the song with
# --window --stats under a private X server (Xvfb) at scale 1 and at scale 2
# (the screen sized so that the window takes that scale), once for each way
# of presenting, and once in a private tmux of 80 x 50 for the terminal's
# figures; prints each run's --stats line (frames per second, late frames,
# the demo's CPU share over all its threads, bytes handed over, the time from
# the cells to the screen: median and 99th percentile) and the CPU share of
# the X server or of tmux beside it.
#
#   bench/window_run.sh [BUILD_DIR] [SECONDS]   (default: build-release, the whole song)
#
# PRESENTERS chooses the runs (default "framebuffer software opengl
# terminal"): framebuffer is the window's own choice here, software and
# opengl are SDL's render drivers (SDL_RENDER_DRIVER), terminal is tmux.
# Xvfb has no GPU and no vertical sync: opengl is Mesa's llvmpipe on the
# processor, and every figure is an upper bound of what a desktop costs.
# Sound goes to a private PulseAudio null sink, so the mixing costs what it
# costs with sound. Each run lasts SECONDS (Esc then ends it) or the song.
set -euo pipefail
build=$(cd "${1:-build-release}" && pwd)
seconds=${2:-0}
presenters=(${PRESENTERS:-framebuffer software opengl terminal})
[ -x "$build/compofiller" ] && [ -f "$build/QUILLOW3.oxm" ] || { echo "build $build first" >&2; exit 1; }
for tool in Xvfb xdotool pulseaudio tmux; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

work=$(mktemp -d /tmp/cf-window-run.XXXXXX)
pulse_pid=""
x_pid=""
socket=""
cleanup() {
  [ -n "$socket" ] && tmux -L "$socket" kill-server 2>/dev/null || true
  [ -n "$x_pid" ] && kill "$x_pid" 2>/dev/null || true
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/common.sh"
start_pulse "$work"
share() { awk -v t="$1" -v hz="$hz" -v s="$2" -v e="$3" 'BEGIN { printf "%.1f", 100 * t / hz / (e - s) }'; }

# Starts Xvfb with a screen of $1 and sets display and x_pid.
start_x() {
  rm -f "$work/displayfd"
  mkfifo "$work/displayfd"
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp -noreset 3>"$work/displayfd" 2>/dev/null &
  x_pid=$!
  read -r -t 10 number < "$work/displayfd"
  display=":$number"
}

run_window() {  # presenter scale
  local presenter=$1 scale=$2 renderer_env=()
  [ "$presenter" != framebuffer ] && renderer_env=(SDL_RENDER_DRIVER="$presenter")
  start_x "$([ "$scale" = 1 ] && echo 1000x700x24 || echo 1400x900x24)"
  local start_ticks start end end_ticks
  start_ticks=$(cpu_ticks "$x_pid")
  start=$(date +%s.%N)
  env DISPLAY="$display" "${sound_env[@]}" "${renderer_env[@]}" "$build/compofiller" --window --fps 60 --stats \
    2> "$work/stats.txt" &
  local demo=$!
  if [ "$seconds" -gt 0 ]; then
    sleep "$seconds"
    DISPLAY="$display" xdotool search --name 'Zembo' key --window %1 Escape 2>/dev/null || true
  fi
  wait "$demo" || true
  end=$(date +%s.%N)
  end_ticks=$(cpu_ticks "$x_pid")
  kill "$x_pid"; wait "$x_pid" 2>/dev/null || true
  x_pid=""
  printf -- '%s, scale %s: %s\n' "$presenter" "$scale" "$(grep -h 'frames in' "$work/stats.txt" || cat "$work/stats.txt")"
  printf -- '          X server: %s %% of one core\n' "$(share "$((end_ticks - start_ticks))" "$start" "$end")"
}

run_terminal() {
  socket="cf-window-run-$$"
  printf 'set -g status off\nset -g escape-time 0\nset -g default-terminal tmux-256color\nset -g remain-on-exit on\n' \
    > "$work/tmux.conf"
  tmux -L "$socket" -f "$work/tmux.conf" new-session -d -x 80 -y 50 -c "$build" \
    "env ${sound_env[*]} ./compofiller --fps 60 --stats 2> $work/stats.txt"
  local server start_ticks start end end_ticks
  server=$(tmux -L "$socket" display-message -p '#{pid}')
  start_ticks=$(cpu_ticks "$server")
  start=$(date +%s.%N)
  if [ "$seconds" -gt 0 ]; then
    sleep "$seconds"
    tmux -L "$socket" send-keys Escape
  fi
  until [ "$(tmux -L "$socket" display-message -p '#{pane_dead}')" = 1 ]; do sleep 0.2; done
  end=$(date +%s.%N)
  end_ticks=$(cpu_ticks "$server")
  tmux -L "$socket" kill-server
  socket=""
  printf -- 'terminal (tmux 80 x 50): %s\n' "$(grep -h 'frames in' "$work/stats.txt" || cat "$work/stats.txt")"
  printf -- '          tmux server: %s %% of one core\n' "$(share "$((end_ticks - start_ticks))" "$start" "$end")"
}

printf 'load average at start: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
for presenter in "${presenters[@]}"; do
  if [ "$presenter" = terminal ]; then
    run_terminal
  else
    for scale in 1 2; do run_window "$presenter" "$scale"; done
  fi
done
printf 'load average at end: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
