#!/usr/bin/env bash
# Builds everything from scratch and runs every test, twice: an optimised
# build, then one with AddressSanitizer and UBSan. Then the tests of the
# sound threads and the frame loop once more under ThreadSanitizer. The
# sound-server tests start a private PulseAudio server of their own.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh

jobs=$(nproc)

# The Windows program, cross-built here and run under Wine by the release
# tests (windows_wine_test, label e2e); they say they are skipped where
# mingw-w64 or Wine cannot be installed. The libraries it links are kept in
# build-windows/third-party between runs.
echo "== windows build" >&2
rm -f build-windows/*.exe
if ! { (only_packages=(wine64 xdotool xvfb tmux pulseaudio pulseaudio-utils); source scripts/ensure-packages.sh) &&
       ./build-windows.sh; }; then
  echo "== windows build failed or not possible here: its tests will be skipped" >&2
fi

# Sanitizer builds: optimised, with line tables only (enough for the reports'
# stack traces, and much quicker to build than full debug information).
sanitizer_build=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
                 "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")
for kind in release sanitize; do
  dir=build-test-$kind
  rm -rf "$dir"
  if [ "$kind" = sanitize ]; then
    flags=("${sanitizer_build[@]}" -DCOMPOFILLER_SANITIZE=ON -DCOMPOFILLER_BUILD_BENCH=OFF)
  else
    flags=(-DCMAKE_BUILD_TYPE=Release)
  fi
  echo "== $kind build" >&2
  cmake -S . -B "$dir" "${flags[@]}" >/dev/null
  cmake --build "$dir" -j"$jobs" >/dev/null
  echo "== $kind tests" >&2
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 300)
done

# ThreadSanitizer: only the tests that run the sound threads and the frame
# loop (and the programs they start), to keep the time down.
dir=build-test-tsan
rm -rf "$dir"
echo "== tsan build" >&2
cmake -S . -B "$dir" "${sanitizer_build[@]}" -DCOMPOFILLER_TSAN=ON -DCOMPOFILLER_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$jobs" --target sound_live_test sound_server_test music_pulses_test host_frame_test \
  host_pacing_test sound_probe >/dev/null
echo "== tsan tests" >&2
suppressions="$PWD/tests/tsan.supp"
(cd "$dir" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$suppressions" \
  ctest --output-on-failure -j"$jobs" --timeout 300 -R '^(SoundLive|SoundServer|MusicPulses|FrameClocks|FrameLoopTest|PulseDecay|TimerReading|FrameSchedule|FrameWait)\.')
