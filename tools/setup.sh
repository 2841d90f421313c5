#!/usr/bin/env bash
# Installs everything the stub needs to build and test: the MinGW cross compilers, Wine with Xvfb and
# xdotool, the libraries (easylogging++, cpp-httplib, OpenSSL, GoogleTest, Google Benchmark,
# libFuzzer, zlib) and jsoncons, which Debian 12 lacks and which is taken as one pinned .deb from
# Debian 13 without adding that release to the machine's own sources. Idempotent: when everything is
# present it only checks and returns.
#
# 32-bit Wine (wine32:i386) is optional: the tests run the 64-bit build where it is missing. It is
# installed in a step of its own, because a package index of the i386 architecture that a mirror is
# still syncing makes apt refuse any list that holds it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"

required=(
  cmake ninja-build pkg-config python3
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64 xvfb xauth xdotool x11-apps imagemagick
  libeasyloggingpp-dev libcpp-httplib-dev libssl-dev zlib1g-dev openssl
  googletest libgtest-dev libbenchmark-dev
  clang-14 libfuzzer-14-dev libclang-rt-14-dev
)
optional=(wine32:i386)

jsoncons_version=1.3.2-1
jsoncons_deb="libjsoncons-dev_${jsoncons_version}_all.deb"
jsoncons_sha256=17bed7e9a02838a1e64581d893a9089272e5f9e2f941a1ee4f348682a52768ab

update_attempts=${CV_APT_UPDATE_ATTEMPTS:-4}
update_pause=${CV_APT_UPDATE_PAUSE:-15}

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
apt_install() { sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing_of() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}

# apt-get update, tried TRIES times: a mirror in the middle of a sync serves index files of the wrong
# size for a while. Returns non-zero when every try failed; the caller decides whether that matters.
# Arguments after TRIES are extra apt options (a private sources list for jsoncons).
updated=0
apt_update() {
  local tries=$1 try
  shift
  for ((try = 1; try <= tries; try++)); do
    if sudo_ apt-get "$@" update -q; then return 0; fi
    if ((try < tries)); then
      echo "setup: package index update failed (try $try of $tries); again in ${update_pause}s" >&2
      sleep "$update_pause"
    fi
  done
  return 1
}
# Updates the machine's index once per run of this script, with TRIES tries. Only a missing required
# package is worth the retries; for the optional one a single quiet try will do (its own line says
# when it cannot be had), so that a machine without it does not wait on a syncing mirror every time
# the README's commands run.
update_once() {
  local tries=$1
  if ((updated)); then return 0; fi
  updated=1
  if ((tries > 1)); then
    apt_update "$tries" ||
      echo "setup: the package index could not be updated; installing from what is known" >&2
  else
    apt_update "$tries" >/dev/null 2>&1 || true
  fi
}

mapfile -t missing < <(missing_of "${required[@]}")
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  update_once "$update_attempts"
  apt_install "${missing[@]}" || true
  mapfile -t missing < <(missing_of "${required[@]}")
  if ((${#missing[@]})); then
    echo "setup: required packages could not be installed: ${missing[*]}" >&2
    exit 1
  fi
fi

mapfile -t missing < <(missing_of "${optional[@]}")
if ((${#missing[@]})); then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_ dpkg --add-architecture i386
    updated=0
  fi
  update_once 1
  if ! apt_install "${missing[@]}" >/dev/null 2>&1; then
    echo "setup: optional ${missing[*]} not available (32-bit Wine); the Wine tests will run the 64-bit build"
  fi
fi

# jsoncons: header-only, unpacked into .deps/jsoncons (include/ under usr/).
if [ ! -f "$deps/jsoncons/usr/include/jsoncons/json.hpp" ]; then
  echo "setup: fetching jsoncons $jsoncons_version"
  work="$deps/apt-trixie"
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/sources.d"
  cat > "$work/sources.list" <<SRC
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian trixie main
SRC
  apt_opts=(-o "Dir::Etc::sourcelist=$work/sources.list" -o "Dir::Etc::sourceparts=$work/sources.d"
            -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache"
            -o "APT::Architecture=amd64" -o "APT::Architectures=amd64"
            -o "APT::Sandbox::User=root")
  apt_update "$update_attempts" "${apt_opts[@]}" || { echo "setup: the Debian 13 index for jsoncons could not be read" >&2; exit 1; }
  (cd "$work" && apt-get "${apt_opts[@]}" download "libjsoncons-dev=$jsoncons_version")
  actual=$(sha256sum "$work/$jsoncons_deb" | cut -d' ' -f1)
  if [ "$actual" != "$jsoncons_sha256" ]; then
    echo "setup: $jsoncons_deb has SHA-256 $actual, expected $jsoncons_sha256" >&2
    exit 1
  fi
  rm -rf "$deps/jsoncons"
  dpkg -x "$work/$jsoncons_deb" "$deps/jsoncons"
fi
echo "setup: all required dependencies present"
