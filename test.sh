#!/usr/bin/env bash
# Installs what the tests need, builds every configuration from scratch and
# runs every test, each through its CMake preset (CMakePresets.json):
# optimised (release), AddressSanitizer with UBSan (asan), ThreadSanitizer
# (tsan), and the Windows and web builds, whose checks run under Wine and in
# headless Chromium. docs/tests.md says how to build and test one preset, one
# label or one test. Where CI is set, a test that cannot run (a missing tool,
# a private server that did not start) fails rather than skips.
set -euo pipefail
cd "$(dirname "$0")"
step() { echo "== $* ($SECONDS s in)" >&2; }

step "installing what is missing"
package_lists=(play test test-rig windows wine web web-test)
source scripts/ensure-packages.sh
# The browser checks drive Chromium with puppeteer-core, from npm.
if [ ! -d build-web/test-tools/node_modules/puppeteer-core ]; then
  npm install --prefix build-web/test-tools --no-audit --no-fund --loglevel=error puppeteer-core@24
fi

# From scratch, but for what ccache keeps and the Windows and web builds'
# libraries (built once from Debian's sources, in ~/.cache/compofiller).
rm -rf build-release build-asan build-tsan build-windows build-logs
[ -d build-web ] && find build-web -mindepth 1 -maxdepth 1 ! -name test-tools -exec rm -rf {} +
mkdir -p build-logs

# The Windows and web builds run in the background the whole time, one
# compile at a time at the lowest priority: they take what the tests leave
# of the two cores (most of the tests wait on real time), and one core is
# always free for the tests that time real sound, which run alone (RUN_SERIAL)
# and hear dropouts beside compiles on both cores.
set -m  # in a process group of their own, ended with the run
(
  export CMAKE_BUILD_PARALLEL_LEVEL=1
  for preset in windows web; do
    nice -n 19 cmake --preset $preset && nice -n 19 cmake --build --preset $preset -j1 || exit 1
  done
) >build-logs/windows-web.log 2>&1 &
cross=$!
set +m
trap 'kill -- -$cross 2>/dev/null || true' EXIT

build() {  # PRESET: configures and builds it, its log in build-logs/
  step "$1 build"
  if ! { cmake --preset "$1" && cmake --build --preset "$1"; } >"build-logs/$1.log" 2>&1; then
    tail -n 40 "build-logs/$1.log" >&2
    echo "== the $1 build failed; its log is build-logs/$1.log" >&2
    exit 1
  fi
}
tests() { step "$1 tests"; ctest --preset "$1"; }

build release
tests release
build asan
tests asan
tests asan-sound
build tsan
tests tsan

step "waiting for the Windows and web builds (log: build-logs/windows-web.log)"
if ! wait $cross; then
  tail -n 40 build-logs/windows-web.log >&2
  echo "== the Windows or web build failed; its log is build-logs/windows-web.log" >&2
  exit 1
fi
tests windows
tests web
step "all passed"
