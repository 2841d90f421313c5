#!/usr/bin/env bash
# Runs a Windows console program in the test run's Wine prefix (CV_WINE_PREFIX, made by
# wine-prefix.sh) with the loader of CV_WINE_ARCH's build, and returns its exit status.
set -euo pipefail
CV_WINE_DIR=${CV_WINE_PREFIX:?set CV_WINE_PREFIX to the Wine folder of the test run}
source "$(dirname "$0")/wine-env.sh"
"$(dirname "$0")/wine-prefix.sh" create "$CV_WINE_DIR"
exec "$CV_WINE_LOADER" "$@"
