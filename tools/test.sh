#!/usr/bin/env bash
# The test command: installs what is missing, builds everything from nothing and runs every test:
# the portable unit tests natively (AddressSanitizer, UBSan) and as a Windows program under Wine, the
# end-to-end tests of the stub under Wine against loopback servers, checks of the shipped 32-bit
# executable, the fuzzers for a bounded time, and a build of the benchmarks. Wine runs the shipped
# 32-bit build where it can, else the 64-bit build, which is then built too (tools/wine-arch.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
fuzz_seconds=${CV_FUZZ_SECONDS:-60}

step() { printf '\n==== %s (%ss)\n' "$*" "$(( $(date +%s) - started ))"; }

step "dependencies"
tools/setup.sh

step "32-bit Windows build (cv_setup.exe as shipped)"
cmake --preset windows >/dev/null
cmake --build --preset windows

# The native configuration decides which Windows build Wine runs (CV_WINE_ARCH: auto, win32, win64).
step "the Windows build that Wine runs"
cmake --preset native ${CV_WINE_ARCH:+-DCV_WINE_ARCH=$CV_WINE_ARCH} \
  "-DCV_WINE_LOADER_DIR=${CV_WINE_LOADER_DIR:-}" >/dev/null
source build/native/wine-choice.sh
echo "$CV_WINE_CHOICE"
if [ "$CV_WINE_PRESET" != windows ]; then
  step "$CV_WINE_PRESET build, for Wine"
  cmake --preset "$CV_WINE_PRESET" >/dev/null
  cmake --build --preset "$CV_WINE_PRESET"
fi

step "native build"
cmake --build --preset native

step "tests"
echo "$CV_WINE_CHOICE"
ctest --preset native

if [ -x tools/run-fuzzers.sh ]; then
  step "fuzzers, ${fuzz_seconds}s each"
  tools/run-fuzzers.sh "$fuzz_seconds"
fi

step "benchmarks (build only)"
cmake --preset bench >/dev/null
cmake --build --preset bench

step "done"
