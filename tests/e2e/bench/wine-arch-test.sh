#!/usr/bin/env bash
# The choice of the Windows build that Wine runs (tools/wine-arch.sh), against folders of fake
# loaders: a missing 32-bit loader, one that fails to start, one that starts, and explicit requests.
#   wine-arch-test.sh <path of wine-arch.sh>
set -uo pipefail
script=${1:?path of wine-arch.sh}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Loader kinds: "starts" prints a Wine version, "fails" ends with status 1 (as a 32-bit loader does
# where the kernel cannot run it), "plain" is a file that cannot be executed.
make_loader() {
  case "$2" in
    starts) printf '#!/bin/sh\necho "wine-8.0 (fake)"\n' > "$1"; chmod +x "$1" ;;
    fails) printf '#!/bin/sh\nexit 1\n' > "$1"; chmod +x "$1" ;;
    plain) : > "$1" ;;
  esac
}

failures=0
# case: <wine> <wine64> <request> <expected status> <expected arch> <expected text in choice or error>
check() {
  local wine=$1 wine64=$2 request=$3 status=$4 arch=$5 text=$6 dir output actual=0
  dir=$(mktemp -d "$work/loaders.XXXX")
  [ "$wine" = none ] || make_loader "$dir/wine" "$wine"
  [ "$wine64" = none ] || make_loader "$dir/wine64" "$wine64"
  output=$(CV_WINE_LOADER_DIR=$dir "$script" "$request" 2>&1) || actual=$?
  local problem=
  if [ "$actual" != "$status" ]; then problem="status $actual"; fi
  if [ "$status" = 0 ]; then
    grep -qx "arch=$arch" <<<"$output" || problem+=" arch"
    grep -qx "loader=$dir/$( [ "$arch" = win32 ] && echo wine || echo wine64)" <<<"$output" || problem+=" loader"
  fi
  grep -qF -- "$text" <<<"$output" || problem+=" text"
  if [ -n "$problem" ]; then
    echo "FAIL wine=$wine wine64=$wine64 request=$request:$problem"
    sed 's/^/    /' <<<"$output"
    failures=$((failures + 1))
  else
    echo "ok   wine=$wine wine64=$wine64 request=$request: $(grep -E '^choice=|wine-arch:' <<<"$output")"
  fi
}

check none   starts auto  0 win64 "choice=Wine runs the 64-bit build: 32-bit Wine is not installed"
check plain  starts auto  0 win64 "choice=Wine runs the 64-bit build: 32-bit Wine is not installed"
check fails  starts auto  0 win64 "choice=Wine runs the 64-bit build: 32-bit Wine does not start"
check starts starts auto  0 win32 "choice=Wine runs the 32-bit build: 32-bit Wine is installed and starts"
check starts none   auto  0 win32 "choice=Wine runs the 32-bit build"
check none   none   auto  1 -     "64-bit Wine is not installed either"
check starts starts win64 0 win64 "choice=Wine runs the 64-bit build: CV_WINE_ARCH is win64"
check fails  starts win32 0 win32 "choice=Wine runs the 32-bit build: CV_WINE_ARCH is win32"
check none   starts win32 1 -     "CV_WINE_ARCH is win32, but"
check starts starts win16 1 -     "must be auto, win32 or win64"

# The private 32-bit Wine that setup.sh unpacks into .deps/wine32 beside the script's own folder,
# found without CV_WINE_LOADER_DIR when asked for (or when Debian's 32-bit loader is missing).
tree="$work/checkout"
mkdir -p "$tree/tools" "$tree/.deps/wine32/bin"
cp "$script" "$tree/tools/wine-arch.sh"
make_loader "$tree/.deps/wine32/bin/wine" starts
make_loader "$tree/.deps/wine32/bin/wine64" starts
output=$(CV_WINE_LOADER_DIR= CV_PRIVATE_WINE32=1 "$tree/tools/wine-arch.sh" auto 2>&1)
if grep -qx "loader=$tree/.deps/wine32/bin/wine" <<<"$output" &&
   grep -qx "loader_dir=$tree/.deps/wine32/bin" <<<"$output" &&
   grep -qx "choice=Wine runs the 32-bit build: the private 32-bit Wine of .deps/wine32 starts" <<<"$output"; then
  echo "ok   private Wine: $(grep '^choice=' <<<"$output")"
else
  echo "FAIL private Wine"
  sed 's/^/    /' <<<"$output"
  failures=$((failures + 1))
fi

exit $((failures > 0))
