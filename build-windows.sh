#!/usr/bin/env bash
# Cross-builds the Windows program on Debian (`cmake --preset windows`):
# build-windows/compofiller.exe (64-bit, static: nothing to install beside
# it), the frame tool compofiller-frame.exe, the song, and
# compofiller-windows-x64.zip holding the program, the song, the console font
# its window draws with (with the font's licence note) and how to run them.
# The libraries come from Debian's source packages, built the first time into
# build-windows/third-party and kept.
set -euo pipefail
cd "$(dirname "$0")"
scripts/build-preset.sh windows build-windows "for Windows"
echo "Wrote build-windows/compofiller-windows-x64.zip ($SECONDS s)" >&2
