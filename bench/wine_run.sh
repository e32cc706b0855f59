#!/usr/bin/env bash
# Runs the Windows program under Wine for SECONDS in each of its ways of
# showing the picture and prints what it cost: the program's own --stats line
# (frames per second, late frames, its CPU share, the time from the cells to
# the presented frame, the window's scale and renderer) and the CPU share of
# the program, of Wine's own processes (wineserver, its console, its desktop)
# and of the server that shows the picture (Xvfb for the window, tmux for the
# console), each averaged over the run from /proc.
#
#   bench/wine_run.sh [WINDOWS_BUILD] [SECONDS] [MODE...]
#     (default: build-windows, 60, console window-1 window-2 window-2-direct3d)
#
# MODE is "console" (Wine's console in a tmux pane of 80 x 50) or
# window-K[-RENDERER]: --window on an Xvfb screen that holds scale K (1 or 2)
# and no larger, with SDL's renderer RENDERER (default: the program's own
# choice). Sound goes to a private PulseAudio null sink when pulseaudio is
# installed. Run it with nothing else busy (under the timing lock on a
# shared machine).
set -euo pipefail
build=$(cd "${1:-build-windows}" && pwd)
seconds=${2:-60}
shift 2 || shift $# || true
modes=("$@")
[ ${#modes[@]} -gt 0 ] || modes=(console window-1 window-2 window-2-direct3d)
[ -f "$build/compofiller.exe" ] && [ -f "$build/QUILLOW3.oxm" ] || { echo "run ./build-windows.sh first" >&2; exit 1; }
wine=/usr/lib/wine/wine64

work=$(mktemp -d /tmp/cf-wine-run.XXXXXX)
pids=()
socket=""
export WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
cleanup() {
  [ -n "$socket" ] && tmux -L "$socket" kill-server 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/common.sh"
sound_env=()
if command -v pulseaudio >/dev/null; then start_pulse "$work"; pids+=("$pulse_pid"); fi

env -u DISPLAY wineboot -i >/dev/null 2>&1
wineserver -w

# The processes of this run's Wine prefix whose command line matches $1.
prefix_processes() {
  for p in $(pgrep -f -x "$1" || true); do
    tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}
program_ticks() {
  local total=0
  for p in $(prefix_processes '.*compofiller\.exe.*'); do total=$((total + $(cpu_ticks "$p"))); done
  echo "$total"
}
# Wine's own processes: wineserver, its console conhost.exe, explorer.exe...
wine_ticks() {
  local total=0
  for p in $(prefix_processes '.*'); do
    grep -q compofiller.exe "/proc/$p/cmdline" 2>/dev/null || total=$((total + $(cpu_ticks "$p")))
  done
  echo "$total"
}
share() { awk -v t="$1" -v hz="$hz" -v s="$2" 'BEGIN { printf "%.1f", 100 * t / hz / s }'; }

printf 'load average at start: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
for mode in "${modes[@]}"; do
  stats=$work/stats-$mode.txt
  display=""
  renderer=""
  if [ "$mode" = console ]; then
    viewer="tmux server"
    wineserver -k 2>/dev/null || true
    socket="cf-wine-run-$$"
    printf 'set -g status off\nset -g escape-time 0\nset -g default-terminal tmux-256color\nset -g remain-on-exit on\n' >"$work/tmux.conf"
    tmux -L "$socket" -f "$work/tmux.conf" new-session -d -x 80 -y 50 -c "$build" \
      "env -u DISPLAY ${sound_env[*]} $wine compofiller.exe --stats 2>$stats"
    viewer_pid=$(tmux -L "$socket" display-message -p '#{pid}')
  else
    viewer=Xvfb
    scale=${mode#window-}
    scale=${scale%%-*}
    [ "$mode" != "window-$scale" ] && renderer=${mode#window-"$scale"-}
    screen=800x600x24
    [ "$scale" = 2 ] && screen=1400x1000x24
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$work/display" 2>/dev/null &
    pids+=($!)
    viewer_pid=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    display=:$(head -n1 "$work/display")
    wineserver -k 2>/dev/null || true
    (cd "$build" && env DISPLAY="$display" ${renderer:+SDL_RENDER_DRIVER=$renderer} "${sound_env[@]}" \
       $wine compofiller.exe --window --stats 2>"$stats" >/dev/null) &
  fi
  # Measured from the moment the program runs.
  for _ in $(seq 100); do [ -n "$(prefix_processes '.*compofiller\.exe.*')" ] && break; sleep 0.1; done
  start=$(date +%s.%N)
  before=("$(program_ticks)" "$(wine_ticks)" "$(cpu_ticks "$viewer_pid")")
  sleep "$seconds"
  after=("$(program_ticks)" "$(wine_ticks)" "$(cpu_ticks "$viewer_pid")")
  elapsed=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
  if [ "$mode" = console ]; then
    tmux -L "$socket" send-keys Escape
  else
    DISPLAY=$display xdotool key --window "$(DISPLAY=$display xdotool search --name Zembo | head -n1)" Escape
  fi
  for _ in $(seq 300); do [ -n "$(prefix_processes '.*compofiller\.exe.*')" ] || break; sleep 0.1; done
  if [ "$mode" = console ]; then
    tmux -L "$socket" kill-server
    socket=""
  else
    kill "${pids[-1]}" 2>/dev/null || true
    wait "${pids[-1]}" 2>/dev/null || true
  fi
  printf '%s: %s\n' "$mode" "$(grep -h 'frames in' "$stats" || tail -n 3 "$stats")"
  printf '    CPU, share of one core: program %s %%, Wine'"'"'s own processes %s %%, %s %s %%\n' \
    "$(share $((after[0] - before[0])) "$elapsed")" "$(share $((after[1] - before[1])) "$elapsed")" \
    "$viewer" "$(share $((after[2] - before[2])) "$elapsed")"
done
printf 'load average at end: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
