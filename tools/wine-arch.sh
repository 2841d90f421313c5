#!/usr/bin/env bash
# Which Windows build the Wine tests and the demo run, and the one place that knows Wine's loaders.
# The shipped 32-bit build runs wherever 32-bit Wine is installed and starts; elsewhere the 64-bit build.
#   wine-arch.sh [auto|win32|win64]   prints arch=, loader=, loader_dir=, preset= and choice= lines
#                                     (choice: one sentence saying which build runs and why); non-zero
#                                     when the requested build cannot run here
# Sourced, it defines cv_wine_choose and cv_wine_loader for the other Wine scripts.
# CV_WINE_LOADER_DIR is where the loaders are looked for; empty or unset: Debian's /usr/lib/wine,
# unless its 32-bit loader is missing and tools/setup.sh made the private 32-bit Wine .deps/wine32
# (or CV_PRIVATE_WINE32=1 asks for that one), whose folder bin/ then holds both loaders.

cv_wine_private_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/.deps/wine32/bin"
if [ -n "${CV_WINE_LOADER_DIR:-}" ]; then
  cv_wine_loader_dir=$CV_WINE_LOADER_DIR
elif [ -x "$cv_wine_private_dir/wine" ] && { [ "${CV_PRIVATE_WINE32:-0}" = 1 ] || [ ! -x /usr/lib/wine/wine ]; }; then
  cv_wine_loader_dir=$cv_wine_private_dir
else
  cv_wine_loader_dir=/usr/lib/wine
fi

# The Wine loader that runs programs of the given build.
cv_wine_loader() {
  case "$1" in
    win32) echo "$cv_wine_loader_dir/wine" ;;
    win64) echo "$cv_wine_loader_dir/wine64" ;;
    *) return 1 ;;
  esac
}

# The CMake preset that builds it.
cv_wine_preset() {
  case "$1" in
    win32) echo windows ;;
    win64) echo windows64 ;;
    *) return 1 ;;
  esac
}

# Whether 32-bit Wine starts: the loader is a 32-bit program, so "--version" fails at once where the
# kernel cannot execute 32-bit code or the 32-bit libraries are missing. It makes no prefix; a private
# HOME and WINEPREFIX keep it away from the user's own all the same. Sets cv_wine_probe_failure.
cv_wine_probe() {
  local loader=$1 dir output status=0
  dir=$(mktemp -d)
  output=$(cd "$dir" && env -i PATH=/usr/bin:/bin HOME="$dir" WINEPREFIX="$dir/prefix" WINEDEBUG=-all \
           timeout 30 "$loader" --version 2>&1) || status=$?
  rm -rf "$dir"
  if [ "$status" != 0 ]; then
    cv_wine_probe_failure="$loader --version ended with status $status"
    return 1
  fi
  if [[ "$output" != wine-* ]]; then
    cv_wine_probe_failure="$loader --version did not print a Wine version"
    return 1
  fi
}

# Sets cv_wine_arch and cv_wine_choice for a request of auto, win32 or win64. Returns non-zero, with
# the reason in cv_wine_choice, when the request cannot be met.
cv_wine_choose() {
  local request=${1:-auto} reason loader
  cv_wine_arch=
  case "$request" in
    win32 | win64)
      loader=$(cv_wine_loader "$request")
      if [ ! -x "$loader" ]; then
        cv_wine_choice="CV_WINE_ARCH is $request, but $loader is not installed"
        return 1
      fi
      cv_wine_arch=$request
      reason="CV_WINE_ARCH is $request"
      ;;
    auto)
      loader=$(cv_wine_loader win32)
      if [ ! -x "$loader" ]; then
        reason="32-bit Wine is not installed (no $loader)"
      elif ! cv_wine_probe "$loader"; then
        reason="32-bit Wine does not start ($cv_wine_probe_failure)"
      else
        cv_wine_arch=win32
        if [ "$cv_wine_loader_dir" = "$cv_wine_private_dir" ]; then
          reason="the private 32-bit Wine of .deps/wine32 starts"
        else
          reason="32-bit Wine is installed and starts"
        fi
      fi
      if [ -z "$cv_wine_arch" ]; then
        loader=$(cv_wine_loader win64)
        if [ ! -x "$loader" ]; then
          cv_wine_choice="$reason, and 64-bit Wine is not installed either (no $loader)"
          return 1
        fi
        cv_wine_arch=win64
      fi
      ;;
    *)
      cv_wine_choice="CV_WINE_ARCH must be auto, win32 or win64, not '$request'"
      return 1
      ;;
  esac
  if [ "$cv_wine_arch" = win32 ]; then
    cv_wine_choice="Wine runs the 32-bit build: $reason"
  else
    cv_wine_choice="Wine runs the 64-bit build: $reason"
  fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  if ! cv_wine_choose "${1:-auto}"; then
    echo "wine-arch: $cv_wine_choice" >&2
    exit 1
  fi
  echo "arch=$cv_wine_arch"
  echo "loader=$(cv_wine_loader "$cv_wine_arch")"
  echo "loader_dir=$cv_wine_loader_dir"
  echo "preset=$(cv_wine_preset "$cv_wine_arch")"
  echo "choice=$cv_wine_choice"
fi
