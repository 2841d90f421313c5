#!/usr/bin/env bash
# The demo command: installs what is missing, makes a throw-away release key, builds the stub with
# loopback settings and that key, publishes the sample installer with publish, then serves the
# release locally and runs the stub under Wine (headless, on a private display and a private Wine
# prefix under build/), printing the published document, the requests, the log and the exit value.
# It runs the Windows build the tests run (CV_WINE_ARCH: auto, win32 or win64; see tools/wine-arch.sh).
#   tools/demo.sh            a release installed to its end
#   tools/demo.sh --cancel   the same release, cancelled in the installer
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset native ${CV_WINE_ARCH:+-DCV_WINE_ARCH=$CV_WINE_ARCH} \
  "-DCV_WINE_LOADER_DIR=${CV_WINE_LOADER_DIR:-}" >/dev/null
source build/native/wine-choice.sh
cmake --build --preset native --target cv_demo publish
publish=build/native/tools/publish/publish
demo="$PWD/build/demo"
rm -rf "$demo/key" "$demo/site"
mkdir -p "$demo/key" "$demo/site"
"$publish" keygen "$demo/key"
cmake --preset "$CV_WINE_PRESET" -DCV_DEMO_RELEASE_KEY="$demo/key/release-key.pub" >/dev/null
cmake --build --preset "$CV_WINE_PRESET" --target cv_setup_demo cv_run sample_installer
cp "$CV_WINE_BUILD_DIR/tools/sample_installer.exe" "$demo/site/corvida_setup.exe"
# The demo stub's configuration server (CV_TEST_CONFIG_URL) serves the installer too.
"$publish" make --installer "$demo/site/corvida_setup.exe" --url http://127.0.0.1:47180/corvida_setup.exe \
  --version 1.0.0 --key "$demo/key/release-key.pem" --out "$demo/site"
# The bench prints which build runs and why when it starts Wine.
export CV_WINE_PREFIX="$PWD/build/demo-wine-$CV_WINE_ARCH"
exec build/native/tools/cv_demo "$@" "$CV_WINE_BUILD_DIR/demo-stub/cv_setup.exe" "$demo"
