# Fetching and unpacking Debian's source packages, for the scripts that build
# third-party libraries for another system (windows-third-party.sh,
# web-third-party.sh). Sourced; the caller sets:
#   top       the folder that keeps the apt state (top/apt)
#   src       where the .dsc files and their archives go, and where they unpack
#   packages  the source packages it needs
#   stamp     a function: stamp NAME prints the file whose presence means NAME
#             is built already
# apt fetches the sources through a private configuration, so the system's
# apt sources stay as they are and apt still checks the signatures.

# Downloads the sources of every package not built yet.
fetch() {
  local need=()
  for p in "${packages[@]}"; do [ -e "$(stamp "$p")" ] || need+=("$p"); done
  [ ${#need[@]} -gt 0 ] || return 0
  local apt=$top/apt
  mkdir -p "$apt/sources" "$apt/lists/partial" "$apt/cache/archives/partial"
  rm -f "$apt/sources"/*.list
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
    >"$apt/sources/debian-sources.list"
  local opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/sources"
              -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o APT::Sandbox::User=root)
  if [ ! -e "$apt/lists/.updated" ]; then
    apt-get -qq "${opts[@]}" update
    touch "$apt/lists/.updated"
  fi
  (cd "$src" && for p in "${need[@]}"; do
     ls "$src"/"$p"_*.dsc >/dev/null 2>&1 || apt-get -qq "${opts[@]}" source --download-only "$p"
   done)
}

# Unpacks package $1 afresh into $src/$1 and enters it.
unpack() {
  rm -rf "${src:?}/$1"
  dpkg-source --no-check -x "$(ls "$src"/"$1"_*.dsc | head -n1)" "$src/$1" >/dev/null
  cd "$src/$1"
}
