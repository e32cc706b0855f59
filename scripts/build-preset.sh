#!/usr/bin/env bash
# Installs what the build of CMake preset NAME needs (scripts/packages/NAME.txt),
# then configures and builds it, its log in FOLDER/build.log. Used by
# build-windows.sh and build-web.sh.
#
#   scripts/build-preset.sh NAME FOLDER DESCRIPTION
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1 folder=$2 description=$3
package_lists=("$name")
source scripts/ensure-packages.sh

log=$folder/build.log
mkdir -p "$folder"
echo "Building compofiller $description (the first time, its libraries too: minutes)..." >&2
if ! { cmake --preset "$name" && cmake --build --preset "$name"; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "The build failed; the whole log is in $log" >&2
  exit 1
fi
