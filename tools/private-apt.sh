# Sourced by setup.sh and wine32-lock.sh: apt on a package index of its own, kept under a folder of
# .deps/, that never touches the machine's sources, architectures or installed packages. It fetches
# single packages that the machine's own index cannot give (jsoncons from a later release, the i386
# packages of a private 32-bit Wine) so that they can be unpacked, not installed.
#   private_apt_init WORK ARCH "deb ..."   sets private_apt_opts for an index of ARCH from that line
#   private_apt_update TRIES               reads the index (TRIES tries, paused by update_pause)
#   private_apt_download DEST PKG=VERSION...   downloads exactly these versions into DEST

update_pause=${update_pause:-15}

private_apt_init() {
  local work=$1 arch=$2 line=$3
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/sources.d"
  printf '%s\n' "$line" > "$work/sources.list"
  # No package counts as installed: what is resolved or fetched never depends on the machine's state.
  : > "$work/status"
  private_apt_opts=(-o "Dir::Etc::sourcelist=$work/sources.list" -o "Dir::Etc::sourceparts=$work/sources.d"
                    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache"
                    -o "Dir::State::status=$work/status"
                    -o "APT::Architecture=$arch" -o "APT::Architectures=$arch"
                    -o "APT::Sandbox::User=root")
}

private_apt_update() {
  local tries=$1 try
  for ((try = 1; try <= tries; try++)); do
    if apt-get "${private_apt_opts[@]}" update -q >/dev/null; then return 0; fi
    if ((try < tries)); then
      echo "setup: private package index update failed (try $try of $tries); again in ${update_pause}s" >&2
      sleep "$update_pause"
    fi
  done
  return 1
}

private_apt_download() {
  local dest=$1
  shift
  (cd "$dest" && apt-get "${private_apt_opts[@]}" download -q "$@" >/dev/null)
}
