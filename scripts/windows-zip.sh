#!/usr/bin/env bash
# Packs the Windows build in FOLDER into FOLDER/compofiller-windows-x64.zip:
# the program, the song, the console font its window draws with, and the
# texts (how to run it, the font's licence note) with Windows line ends.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$1
package=$out/package
rm -rf "$package" "$out/compofiller-windows-x64.zip"
mkdir -p "$package"
cp "$out/compofiller.exe" "$out/QUILLOW3.oxm" platform/common/font/FullCyrSlav-VGA8.psf.gz "$package/"
sed 's/$/\r/' platform/windows/README.txt >"$package/README.txt"
sed 's/$/\r/' platform/common/font/README >"$package/FullCyrSlav-VGA8.README.txt"
(cd "$package" && zip -q -9 "$out/compofiller-windows-x64.zip" compofiller.exe QUILLOW3.oxm FullCyrSlav-VGA8.psf.gz \
  README.txt FullCyrSlav-VGA8.README.txt)
