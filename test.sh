#!/usr/bin/env bash
# Builds everything from scratch and runs every test, twice: an optimised
# build, then one with AddressSanitizer and UBSan. Then the tests of the
# sound threads and the frame loop once more under ThreadSanitizer, the
# Windows build's checks under Wine and the web build's in Chromium. The tests
# that need servers (PulseAudio, PipeWire, X, Wine, Chromium) start private
# ones of their own.
set -euo pipefail
cd "$(dirname "$0")"
# What the builds need; the rest is installed in the background (below).
package_lists=(play test)
source scripts/ensure-packages.sh

jobs=$(nproc)
stage() { echo "== $* ($SECONDS s in)" >&2; }

# Sanitizer builds: optimised, with line tables only (enough for the reports'
# stack traces, and much quicker to build than full debug information).
sanitizer_build=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
                 "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DCOMPOFILLER_BUILD_BENCH=OFF)

# The other builds run in the background from the start, beside the
# optimised build and its tests: most of those wait on real time (sound,
# terminals), so the builds take the cores they leave idle. The Windows and
# web builds run at nice 19, ahead of the sanitizer and ThreadSanitizer
# builds, which run in the idle scheduling class and so take a core only when
# nothing else wants one: the Windows and web checks, which wait on real
# time, can then run early beside the sanitizer builds, and those builds'
# tests, which keep both cores busy, come last. Each build writes its exit
# status to a file when it ends; each stage that needs one waits for it.
#
# The Windows program's libraries are kept in build-windows/third-party
# between runs. Where mingw-w64 or Wine cannot be installed, its checks are
# skipped with the reason.
mkdir -p build-windows
windows_log=$PWD/build-windows/test-build.log
idle() {
  if chrt --idle 0 true 2>/dev/null; then chrt --idle 0 "$@"; else nice -n 19 "$@"; fi
}
low() { nice -n 19 "$@"; }
sanitize_build() {
  idle cmake -S . -B build-test-sanitize "${sanitizer_build[@]}" -DCOMPOFILLER_SANITIZE=ON >/dev/null &&
    idle cmake --build build-test-sanitize -j"$jobs" >/dev/null
}
# ThreadSanitizer: only the tests that run the sound threads and the frame
# loop (and the programs they start), to keep the time down.
tsan_build() {
  idle cmake -S . -B build-test-tsan "${sanitizer_build[@]}" -DCOMPOFILLER_TSAN=ON >/dev/null &&
    idle cmake --build build-test-tsan -j"$jobs" --target sound_live_test sound_server_test music_pulses_test \
      host_frame_test host_pacing_test sound_probe slow_audio_device >/dev/null
}
windows_build() {
  rm -f build-windows/*.exe
  # Status 3: the packages cannot be installed here (the checks are skipped).
  wait_for_build windows-packages || return 3
  low ./build-windows.sh
}
# The web build likewise, with the browser tests' tools (puppeteer-core from
# npm, kept in build-web/test-tools); its libraries are kept in
# build-web/third-party.
mkdir -p build-web
web_log=$PWD/build-web/test-build.log
web_build() {
  rm -rf build-web/site
  wait_for_build web-packages || return 3
  low ./build-web.sh
}
# Their packages (and the browser checks' puppeteer-core), and the servers,
# terminals and tools the tests run, are installed from the start, while the
# optimised build compiles: downloads wait on the network, not on the cores.
# Only what the builds need is installed before (play.txt and test.txt).
rig_packages() { (package_lists=(test-rig); source scripts/ensure-packages.sh); }
windows_packages() { (package_lists=(windows wine); source scripts/ensure-packages.sh); }
web_packages() {
  (package_lists=(web web-test); source scripts/ensure-packages.sh) || return 1
  # npm comes with the machine's Node.js (Debian's own npm would replace it).
  command -v npm >/dev/null || { echo "npm is missing" >&2; return 1; }
  if [ ! -d build-web/test-tools/node_modules/puppeteer-core ]; then
    npm install --prefix build-web/test-tools --no-audit --no-fund --loglevel=error puppeteer-core@24
  fi
}
# NAME FUNCTION LOG: the background builds. Their logs and exit statuses are
# kept in build-test-logs/.
logs=$PWD/build-test-logs
background_builds=(
  "rig-packages rig_packages $logs/rig-packages.log"
  "windows-packages windows_packages $logs/windows-packages.log"
  "web-packages web_packages $logs/web-packages.log"
  "sanitize sanitize_build $logs/sanitize-build.log"
  "tsan tsan_build $logs/tsan-build.log"
  "windows windows_build $windows_log"
  "web web_build $web_log"
)
# The builds of each chain run one after another, the chains side by side.
background_chains=("sanitize" "tsan" "windows" "web")
install_chain="rig-packages windows-packages web-packages"
status_file() { echo "$logs/$1.status"; }
run_build() {
  local entry name function log status=0 start=$SECONDS
  for entry in "${background_builds[@]}"; do
    read -r name function log <<<"$entry"
    if [ "$name" = "$1" ]; then
      "$function" >"$log" 2>&1 || status=$?
      echo "== (the $name build ended with status $status after $((SECONDS - start)) s, $SECONDS s in)" >&2
      echo "$status" >"$(status_file "$name")"
    fi
  done
}
run_background_builds() {
  local chain
  for chain in "${background_chains[@]}"; do
    (for name in $chain; do run_build "$name"; done) &
  done
  wait
}
run_installs() { for name in $install_chain; do run_build "$name"; done; }
# Waits for build NAME; returns its exit status. A build that never ran (its
# group ended first) counts as failed.
wait_for_build() {
  local file
  file=$(status_file "$1")
  while [ ! -s "$file" ]; do
    if ! kill -0 "$background_pid" 2>/dev/null && ! kill -0 "$install_pid" 2>/dev/null; then
      sleep 1; [ -s "$file" ] || return 1
    fi
    sleep 1
  done
  return "$(cat "$file")"
}
log_of() {
  local entry name function log
  for entry in "${background_builds[@]}"; do
    read -r name function log <<<"$entry"
    if [ "$name" = "$1" ]; then echo "$log"; fi
  done
}
build_failed() {
  tail -n 30 "$(log_of "$1")" >&2
  echo "== the $1 build failed; the whole log is in $(log_of "$1")" >&2
  exit 1
}

# The tests that time real sound through a sound server run apart from the
# other tests, one at a time, with the background builds kept to one core
# meanwhile, so that the other is always free: beside their compiles on both
# cores, even in the idle scheduling class, they heard dropouts of a few
# buffers now and then, through PipeWire and PulseAudio alike (none on an
# idle machine). This kernel preempts no task inside a system call, so a
# compile's page faults and writes could keep a woken sound thread waiting.
# The window's real-program tests (WindowDemo) are among them: one records the
# demo's sound. So are the Windows checks under Wine and the web page's in
# Chromium, which play the song through a server too. On one core the
# background builds are stopped instead.
sound_tests='^(SoundServer|Servers/SoundEndToEnd|WindowDemo)\.'
background_pid=
install_pid=
all_cores="0-$((jobs - 1))"
# Puts every process of the background groups on the cores CPUS ("0-1");
# three rounds, for the processes started while the first went round.
background_on() {
  local round group pid
  for round in 1 2 3; do
    for group in $background_pid $install_pid; do
      for pid in $(pgrep -g "$group" 2>/dev/null); do taskset -a -p -c "$1" "$pid" >/dev/null 2>&1 || true; done
    done
    sleep 0.1
  done
}
if [ "$jobs" -ge 2 ] && command -v taskset >/dev/null; then
  quiet_begin() { background_on "$((jobs - 1))"; }
  quiet_end() { background_on "$all_cores"; }
else
  quiet_begin() { if [ -n "$background_pid" ]; then kill -STOP -- "-$background_pid" 2>/dev/null || true; fi; }
  quiet_end() { if [ -n "$background_pid" ]; then kill -CONT -- "-$background_pid" 2>/dev/null || true; fi; }
fi
# Runs ctest in DIR with ARGS, the background builds kept off one core.
quietly() { quiet_begin; local status=0; ctest_in "$@" || status=$?; quiet_end; return "$status"; }
stop_background() {
  if [ -n "$background_pid" ]; then
    kill -CONT -- "-$background_pid" 2>/dev/null || true
    kill -TERM -- "-$background_pid" 2>/dev/null || true
  fi
  if [ -n "$install_pid" ]; then kill -TERM -- "-$install_pid" 2>/dev/null || true; fi
}
trap stop_background EXIT
ctest_in() { local dir=$1; shift; (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 300 "$@"); }

rm -rf build-test-release build-test-sanitize build-test-tsan "$logs"
mkdir -p "$logs"

# Each background group in a process group of its own (job control on), to
# be stopped or ended whole.
set -m
run_installs >/dev/null 2>&1 &
install_pid=$!
set +m

stage "release build, and the sanitizer, ThreadSanitizer, Windows and web builds in the background"
set -m
run_background_builds &
background_pid=$!
set +m
cmake -S . -B build-test-release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-test-release -j"$jobs" >/dev/null

# The servers, terminals and tools the tests run were installed meanwhile.
wait_for_build rig-packages || {
  cat "$logs/rig-packages.log" >&2
  echo "== the tests' servers, terminals and tools could not be installed" >&2
  exit 1
}
stage "release tests"
ctest_in build-test-release -LE 'windows|web' -E "$sound_tests"
stage "release sound tests (the background builds on one core meanwhile)"
# A test that the shared machine spoilt anyway runs once more.
quietly build-test-release --repeat until-pass:2 -R "$sound_tests"

# The Windows build's checks under Wine and the web build's in Chromium, each
# as soon as its build has ended: while the sanitizer builds go on beside
# them, or at the end.
checked=()
platform_checks() {  # NAME
  local status=0
  wait_for_build "$1" || status=$?
  stage "$1 tests"
  checked+=("$1")
  if [ "$status" = 3 ]; then
    tail -n 5 "$(log_of "$1")" >&2
    case $1 in
      windows) echo "== mingw-w64 or Wine cannot be installed here: the Windows checks are skipped" >&2 ;;
      web) echo "== emscripten, Chromium or puppeteer-core cannot be installed here: the web checks are skipped" >&2 ;;
    esac
    return 0
  elif [ "$status" != 0 ]; then
    build_failed "$1"
  fi
  case $1 in
    # Wine on a loaded machine may leave its sound with gaps; a check that
    # fails is run once more.
    windows) quietly build-test-release --repeat until-pass:2 -L windows ;;
    web) quietly build-test-release -L web ;;
  esac
}
is_checked() { case " ${checked[*]} " in *" $1 "*) return 0 ;; esac; return 1; }
# Waits for build NAME, meanwhile running the checks of the Windows and web
# builds that end first.
wait_checking() {
  local name
  while [ ! -s "$(status_file "$1")" ]; do
    for name in windows web; do
      if [ -s "$(status_file "$name")" ] && ! is_checked "$name"; then platform_checks "$name"; fi
    done
    kill -0 "$background_pid" 2>/dev/null || break
    sleep 1
  done
}

# The slow end-to-end runs (label e2e) test the programs with real servers,
# and the Windows checks (label windows) need the release build; the release
# pass runs them, this one keeps to the rest. So does the Debian package's
# test, which only packs the files. Of the sound-server tests, the two that
# lose and reopen the device: the others time the sound, which the release
# pass and ThreadSanitizer already do with these same threads.
stage "waiting for the sanitizer build"
wait_checking sanitize
wait_for_build sanitize || build_failed sanitize
stage "sanitizer tests"
ctest_in build-test-sanitize -LE 'e2e|windows' -E "$sound_tests|^Install\.DebianPackage"
stage "sanitizer sound tests"
ctest_in build-test-sanitize -R '^SoundServer\.(KilledServerLeavesTheSongInTimeAndIsReported|DemoSaysOnExitWhereTheSoundWasLost)$'

# The sound under two busy loops is left to the other passes: slowed many
# times over by the instrumentation, the threads there measure the
# sanitizer, not the program.
stage "waiting for the ThreadSanitizer build"
wait_checking tsan
wait_for_build tsan || build_failed tsan
stage "tsan tests"
suppressions="$PWD/tests/tsan.supp"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$suppressions" ctest_in build-test-tsan \
  -R '^(SoundLive|SoundServer|SoundDevice|MusicPulses|FrameClocks|FrameLoopTest|PulseDecay|TimerReading|FrameSchedule|FrameWait)\.' \
  -E 'HoldsUnderLoad'

for name in windows web; do
  if ! is_checked "$name"; then
    stage "waiting for the $name build (log in $(log_of "$name"))"
    platform_checks "$name"
  fi
done
stage "all passed"
