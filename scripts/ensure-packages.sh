#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is
# missing. Sourced by play.sh, test.sh and build-windows.sh.
packages=(cmake g++ make pkg-config libgtest-dev libbenchmark-dev libopenmpt-dev libsdl2-dev
          libncurses-dev libpng-dev zlib1g-dev libvorbis-dev console-setup-linux tmux
          libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
          xvfb xterm x11-apps imagemagick fonts-dejavu-core xfonts-base
          pulseaudio pulseaudio-utils pipewire pipewire-bin pipewire-pulse wireplumber dbus
          dpkg-dev lintian man-db
          rxvt-unicode kitty alacritty xdotool libgl1-mesa-dri libegl1 ncurses-term
          openbox desktop-file-utils libx11-dev)
# A caller may name its own list instead (build-windows.sh, the Windows checks).
if [ -n "${only_packages+x}" ]; then packages=("${only_packages[@]}"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  line="apt-get install -y ${missing[*]}"
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
         "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 "${missing[@]}" >/dev/null; }; then
    echo "Could not install the packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo $line" >&2
    exit 1
  fi
fi
