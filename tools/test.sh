#!/usr/bin/env bash
# The test command: installs what is missing, builds everything from nothing and runs every test:
# the portable unit tests natively (AddressSanitizer, UBSan) and as a Windows program under Wine, the
# end-to-end tests of the stub under Wine against loopback servers, checks of the shipped 32-bit
# executable, the fuzzers for a bounded time, and a build of the benchmarks.
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

step "64-bit Windows build (run by the Wine tests on this machine)"
cmake --preset windows64 >/dev/null
cmake --build --preset windows64

step "native build"
cmake --preset native >/dev/null
cmake --build --preset native

step "tests"
ctest --preset native

if [ -x tools/run-fuzzers.sh ]; then
  step "fuzzers, ${fuzz_seconds}s each"
  tools/run-fuzzers.sh "$fuzz_seconds"
fi

step "benchmarks (build only)"
cmake --preset bench >/dev/null
cmake --build --preset bench

step "done"
