#!/usr/bin/env bash
# Cross-builds the Windows program on Debian: build-windows/compofiller.exe
# (64-bit, static: nothing to install beside it), the frame tool
# compofiller-frame.exe, the song, and compofiller-windows-x64.zip holding the
# program, the song, the console font its window draws with (with the font's
# licence note) and how to run them. The libraries come from Debian's
# source packages, built once into build-windows/third-party and kept.
set -euo pipefail
cd "$(dirname "$0")"
package_lists=(windows)
source scripts/ensure-packages.sh

out=build-windows
mkdir -p "$out"
out=$(realpath "$out")
start=$SECONDS
jobs=$(nproc)
log=$out/build.log
: >"$log"
fail() {
  tail -n 30 "$log" >&2
  echo "The Windows build failed; the whole log is in $log" >&2
  exit 1
}

scripts/windows-third-party.sh "$out/third-party" 2>>"$log" || fail

# The song: composed by the generator, built for this machine (it runs here).
scripts/native-song.sh "$out" >>"$log" 2>&1 || fail

echo "Building compofiller for Windows..." >&2
{ cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE=platform/windows/mingw-toolchain.cmake \
        -DCOMPOFILLER_THIRD_PARTY="$out/third-party/prefix" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s &&
  cmake --build "$out" -j"$jobs" --target compofiller compofiller-frame compofiller-console-check \
    compofiller-window-check; } >>"$log" 2>&1 || fail

# The zip: the program, the song, the font, and the texts with Windows line
# ends.
package=$out/package
rm -rf "$package" "$out/compofiller-windows-x64.zip"
mkdir -p "$package"
cp "$out/compofiller.exe" "$out/QUILLOW3.oxm" platform/common/font/FullCyrSlav-VGA8.psf.gz "$package/"
sed 's/$/\r/' platform/windows/README.txt >"$package/README.txt"
sed 's/$/\r/' platform/common/font/README >"$package/FullCyrSlav-VGA8.README.txt"
(cd "$package" && zip -q -9 "$out/compofiller-windows-x64.zip" compofiller.exe QUILLOW3.oxm FullCyrSlav-VGA8.psf.gz \
  README.txt FullCyrSlav-VGA8.README.txt)
echo "Wrote $out/compofiller-windows-x64.zip ($((SECONDS - start)) s)" >&2
