#!/usr/bin/env bash
# The demo command: installs what is missing, builds the stub with loopback settings and the sample
# installer, then serves them locally and runs the stub under Wine (headless, on a private display and
# a private Wine prefix under build/), printing the requests, the log and the exit value.
# It runs the Windows build the tests run (CV_WINE_ARCH: auto, win32 or win64; see tools/wine-arch.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset native ${CV_WINE_ARCH:+-DCV_WINE_ARCH=$CV_WINE_ARCH} >/dev/null
source build/native/wine-choice.sh
cmake --preset "$CV_WINE_PRESET" >/dev/null
cmake --build --preset "$CV_WINE_PRESET" --target cv_setup_test cv_run sample_installer
cmake --build --preset native --target cv_demo
# The bench prints which build runs and why when it starts Wine.
export CV_WINE_PREFIX="$PWD/build/demo-wine-$CV_WINE_ARCH"
exec build/native/tools/cv_demo "$CV_WINE_BUILD_DIR/tools/sample_installer.exe"
