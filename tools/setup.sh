#!/usr/bin/env bash
# Installs everything the stub needs to build and test: the MinGW cross compilers, Wine with Xvfb and
# xdotool, the libraries (easylogging++, cpp-httplib, OpenSSL, GoogleTest, Google Benchmark,
# libFuzzer, zlib) and jsoncons, which Debian 12 lacks and which is taken as one pinned .deb from
# Debian 13 without adding that release to the machine's own sources. Idempotent: when everything is
# present it only checks and returns.
#
# 32-bit Wine runs the shipped 32-bit stub in the tests. Debian's wine32:i386 is installed in a step of
# its own, because a mirror whose i386 index is out of step with the amd64 one makes apt refuse any
# list that holds it. Where it cannot be installed and the kernel runs 32-bit code, a private 32-bit
# Wine is unpacked into .deps/wine32 from the pinned i386 packages of tools/wine32-packages.lock,
# without installing them; the test command and the demo then use it (CV_WINE_LOADER_DIR). Where
# nothing 32-bit can run, the tests run the 64-bit build. CV_PRIVATE_WINE32=1 makes and uses the
# private Wine even where wine32:i386 could be installed.
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
  clang-14 libfuzzer-14-dev libclang-rt-14-dev patchelf osslsigncode
)
optional=(wine32:i386)

jsoncons_version=1.3.2-1
jsoncons_deb="libjsoncons-dev_${jsoncons_version}_all.deb"
jsoncons_sha256=17bed7e9a02838a1e64581d893a9089272e5f9e2f941a1ee4f348682a52768ab

update_attempts=${CV_APT_UPDATE_ATTEMPTS:-4}
update_pause=${CV_APT_UPDATE_PAUSE:-15}
source "$root/tools/private-apt.sh"
source "$root/tools/wine-arch.sh"

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
apt_install() { sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing_of() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}

# apt-get update, tried TRIES times: a mirror in the middle of a sync serves index files of the wrong
# size for a while. Returns non-zero when every try failed; the caller decides whether that matters.
updated=0
apt_update() {
  local tries=$1 try
  for ((try = 1; try <= tries; try++)); do
    if sudo_ apt-get update -q; then return 0; fi
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

# Whether the kernel runs 32-bit x86 programs: a 93-byte static i386 program that exits with 42.
runs_32bit_code() {
  local probe status=0
  mkdir -p "$deps"
  probe=$(mktemp -p "$deps")
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' > "$probe"
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >> "$probe"
  printf '\x31\xdb\xb3\x2a\x31\xc0\x40\xcd\x80' >> "$probe"  # xor ebx,ebx; mov bl,42; xor eax,eax; inc eax; int 0x80
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" = 42 ]
}

# The private 32-bit Wine in .deps/wine32: bin/wine (the 32-bit loader, through a wrapper that points
# it at the unpacked libraries) and bin/wine64 (the system's). Made again when the lock or the
# checkout's folder changes. Returns non-zero, with a line saying why, when it cannot be made.
wine32_dir="$deps/wine32"
make_private_wine32() {
  local lock="$root/tools/wine32-packages.lock" want work debs name version sha file actual
  want="$(sha256sum "$lock" | cut -d' ' -f1) $wine32_dir"
  if [ "$(cat "$wine32_dir/ready" 2>/dev/null)" = "$want" ]; then return 0; fi
  echo "setup: making a private 32-bit Wine in .deps/wine32 from $(grep -vc '^#' "$lock") pinned i386 packages"
  work="$deps/apt-bookworm-i386"
  private_apt_init "$work" i386 \
    "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main"
  private_apt_update "$update_attempts" || { echo "setup: the i386 package index could not be read" >&2; return 1; }
  debs="$work/debs"
  rm -rf "$debs" "$wine32_dir"
  mkdir -p "$debs" "$wine32_dir/root" "$wine32_dir/bin"
  private_apt_download "$debs" $(awk '!/^#/ {print $1 "=" $2}' "$lock") ||
    { echo "setup: the pinned i386 packages could not be downloaded" >&2; return 1; }
  while read -r name version sha; do
    file=$(compgen -G "$debs/${name}_*_i386.deb" | head -n 1)
    actual=$(sha256sum "$file" 2>/dev/null | cut -d' ' -f1)
    if [ "$actual" != "$sha" ]; then
      echo "setup: ${name} ${version} has SHA-256 ${actual:-(missing)}, expected $sha" >&2
      return 1
    fi
    dpkg -x "$file" "$wine32_dir/root"
  done < <(grep -v '^#' "$lock")
  rm -rf "$debs"
  local lib="$wine32_dir/root/usr/lib/i386-linux-gnu"
  # The loader's interpreter is the unpacked ld-linux, not the machine's /lib/ld-linux.so.2.
  patchelf --set-interpreter "$wine32_dir/root/lib/i386-linux-gnu/ld-linux.so.2" "$wine32_dir/root/usr/lib/wine/wine"
  # What wine32's installation would have done: zlib1.dll (from libz-mingw-w64) beside Wine's own
  # DLLs, marked as a builtin DLL, without which user32 does not load.
  cp /usr/i686-w64-mingw32/lib/zlib1.dll "$lib/wine/i386-windows/zlib1.dll"
  printf 'Wine builtin DLL' | dd of="$lib/wine/i386-windows/zlib1.dll" bs=1 seek=64 conv=notrunc status=none
  cat > "$wine32_dir/bin/wine" <<WRAPPER
#!/bin/sh
# The private 32-bit Wine loader (tools/setup.sh): unpacked libraries, the system's wineserver, and
# 32-bit prefixes, since this Wine has no 64-bit half of its own.
export LD_LIBRARY_PATH="$wine32_dir/root/lib/i386-linux-gnu:$lib\${LD_LIBRARY_PATH:+:\$LD_LIBRARY_PATH}"
export WINESERVER="\${WINESERVER:-/usr/lib/wine/wineserver64}"
export WINEARCH=win32
exec "$wine32_dir/root/usr/lib/wine/wine" "\$@"
WRAPPER
  chmod +x "$wine32_dir/bin/wine"
  ln -s /usr/lib/wine/wine64 "$wine32_dir/bin/wine64"
  if ! cv_wine_probe "$wine32_dir/bin/wine"; then
    echo "setup: the private 32-bit Wine does not start: $cv_wine_probe_failure" >&2
    return 1
  fi
  echo "$want" > "$wine32_dir/ready"
}

mapfile -t missing < <(missing_of "${optional[@]}")
if ((${#missing[@]})) && [ "${CV_PRIVATE_WINE32:-0}" != 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_ dpkg --add-architecture i386
    updated=0
  fi
  update_once 1
  apt_install "${missing[@]}" >/dev/null 2>&1 || true
  mapfile -t missing < <(missing_of "${optional[@]}")
fi
if ((${#missing[@]})) || [ "${CV_PRIVATE_WINE32:-0}" = 1 ]; then
  if ! runs_32bit_code; then
    echo "setup: this machine does not run 32-bit programs; the Wine tests will run the 64-bit build"
  elif ! make_private_wine32; then
    echo "setup: no private 32-bit Wine; the Wine tests will run the 64-bit build"
  fi
fi

# jsoncons: header-only, unpacked into .deps/jsoncons (include/ under usr/).
if [ ! -f "$deps/jsoncons/usr/include/jsoncons/json.hpp" ]; then
  echo "setup: fetching jsoncons $jsoncons_version"
  work="$deps/apt-trixie"
  private_apt_init "$work" amd64 \
    "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian trixie main"
  private_apt_update "$update_attempts" || { echo "setup: the Debian 13 index for jsoncons could not be read" >&2; exit 1; }
  private_apt_download "$work" "libjsoncons-dev=$jsoncons_version"
  actual=$(sha256sum "$work/$jsoncons_deb" | cut -d' ' -f1)
  if [ "$actual" != "$jsoncons_sha256" ]; then
    echo "setup: $jsoncons_deb has SHA-256 $actual, expected $jsoncons_sha256" >&2
    exit 1
  fi
  rm -rf "$deps/jsoncons"
  dpkg -x "$work/$jsoncons_deb" "$deps/jsoncons"
fi
echo "setup: all required dependencies present"
