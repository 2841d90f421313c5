#!/usr/bin/env bash
# The demo command: installs what is missing, builds the stub with loopback settings and the sample
# installer, then serves them locally and runs the stub under Wine (headless, on a private display and
# a private Wine prefix under build/), printing the requests, the log and the exit value.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset windows64 >/dev/null
cmake --build --preset windows64 --target cv_setup_test cv_run sample_installer
cmake --preset native >/dev/null
cmake --build --preset native --target cv_demo
export CV_WINE_PREFIX="$PWD/build/demo-wine"
exec build/native/tools/cv_demo build/windows64/tools/sample_installer.exe
