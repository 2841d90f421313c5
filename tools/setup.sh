#!/usr/bin/env bash
# Installs everything the stub needs to build and test: the MinGW cross compiler, 32-bit Wine with
# Xvfb and xdotool, the libraries (easylogging++, cpp-httplib, OpenSSL, GoogleTest, Google Benchmark,
# libFuzzer, zlib) and jsoncons, which Debian 12 lacks and which is taken as one pinned .deb from
# Debian 13 without adding that release to the machine's own sources. Idempotent: when everything is
# present it only checks and returns.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"

packages=(
  cmake ninja-build pkg-config
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64 wine32:i386 xvfb xauth xdotool x11-apps imagemagick
  libeasyloggingpp-dev libcpp-httplib-dev libssl-dev zlib1g-dev openssl
  googletest libgtest-dev libbenchmark-dev
  clang-14 libfuzzer-14-dev libclang-rt-14-dev
)

jsoncons_version=1.3.2-1
jsoncons_deb="libjsoncons-dev_${jsoncons_version}_all.deb"
jsoncons_sha256=17bed7e9a02838a1e64581d893a9089272e5f9e2f941a1ee4f348682a52768ab

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_ dpkg --add-architecture i386
  fi
  sudo_ apt-get update -q || true
  sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
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
  apt-get "${apt_opts[@]}" update -q
  (cd "$work" && apt-get "${apt_opts[@]}" download "libjsoncons-dev=$jsoncons_version")
  actual=$(sha256sum "$work/$jsoncons_deb" | cut -d' ' -f1)
  if [ "$actual" != "$jsoncons_sha256" ]; then
    echo "setup: $jsoncons_deb has SHA-256 $actual, expected $jsoncons_sha256" >&2
    exit 1
  fi
  rm -rf "$deps/jsoncons"
  dpkg -x "$work/$jsoncons_deb" "$deps/jsoncons"
fi
echo "setup: all dependencies present"
