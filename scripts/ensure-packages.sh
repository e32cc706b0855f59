#!/usr/bin/env bash
# Installs the Debian packages a command needs, when any is missing. Sourced
# by play.sh, test.sh and build-windows.sh, each naming its lists first:
#
#   package_lists=(play test)
#   source scripts/ensure-packages.sh
#
# A list is scripts/packages/NAME.txt, one package a line, `#` comments.
# play.txt is what the demo needs and no more; test.txt what building the
# tests needs besides, test-rig.txt what running them needs (servers,
# terminals, lint); windows.txt the Windows build's; wine.txt the Windows
# checks'; web.txt the web build's; web-test.txt its checks' in Chromium.
# A new command adds a list of its own there and names it here.
#
# With apt_recommends=no the packages' recommendations are left out (play.sh:
# a person who only builds the demo gets no documentation, fonts or extras).
packages_dir="$(dirname "${BASH_SOURCE[0]}")/packages"
packages=()
for list in "${package_lists[@]}"; do
  if [ ! -f "$packages_dir/$list.txt" ]; then
    echo "No package list $packages_dir/$list.txt" >&2
    exit 1
  fi
  while read -r p _; do
    [ -n "$p" ] && [ "${p#\#}" = "$p" ] && packages+=("$p")
  done <"$packages_dir/$list.txt"
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  options=()
  if [ "${apt_recommends:-yes}" = no ]; then options=(--no-install-recommends); fi
  line="apt-get install -y ${options[*]:+${options[*]} }${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    sudo=()
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo=(sudo)
  else
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo $line" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}" >&2
  if ! { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq -o DPkg::Lock::Timeout=600 &&
         "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 \
           "${options[@]}" "${missing[@]}" >/dev/null; }; then
    echo "Could not install the packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo $line" >&2
    exit 1
  fi
fi
