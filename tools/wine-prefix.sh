#!/usr/bin/env bash
# Makes or removes the Wine prefix of a test run.
#   wine-prefix.sh create DIR   - DIR/prefix (a booted prefix) and DIR/home (its private HOME), made
#                                 by the loader of CV_WINE_ARCH's build; a DIR made for the other
#                                 build is made anew
#   wine-prefix.sh remove DIR   - stops its wineserver and deletes DIR
set -euo pipefail
action=${1:?create or remove}
CV_WINE_DIR=$(realpath -m "${2:?folder}")
source "$(dirname "$0")/wine-env.sh"

case "$action" in
  create)
    # "ready" names the build the prefix was made for.
    if [ "$(cat "$CV_WINE_DIR/ready" 2>/dev/null)" = "$CV_WINE_ARCH" ]; then exit 0; fi
    if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
    rm -rf "$CV_WINE_DIR"
    mkdir -p "$HOME"
    "$CV_WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # The shell folders of the prefix's user become plain folders inside the prefix, so that
    # shortcuts and downloads never reach HOME and every test sees a clean desktop.
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
      if [ -L "$link" ]; then rm "$link" && mkdir -p "$link"; fi
    done
    test -d "$WINEPREFIX/drive_c/windows" || { echo "wine-prefix: wineboot made no prefix" >&2; exit 1; }
    echo "$CV_WINE_ARCH" > "$CV_WINE_DIR/ready"
    ;;
  remove)
    if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
    rm -rf "$CV_WINE_DIR"
    ;;
  *)
    echo "usage: wine-prefix.sh create|remove DIR" >&2
    exit 2
    ;;
esac
