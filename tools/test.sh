#!/usr/bin/env bash
# The test command: installs what is missing, builds everything from nothing and runs every test:
# the portable unit tests natively (AddressSanitizer, UBSan) and as a Windows program under Wine, the
# end-to-end tests of the stub under Wine against loopback servers, checks of the shipped 32-bit
# executable, the fuzzers for a bounded time, and a build of the benchmarks. Wine runs the shipped
# 32-bit build where it can, else the 64-bit build, which is then built too (tools/wine-arch.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
fuzz_seconds=${CV_FUZZ_SECONDS:-20}

step() { printf '\n==== %s (%ss)\n' "$*" "$(( $(date +%s) - started ))"; }

step "dependencies"
tools/setup.sh

# The native configuration decides which Windows build Wine runs (CV_WINE_ARCH: auto, win32, win64)
# and with which Wine (CV_WINE_LOADER_DIR; empty: Debian's, or the private 32-bit one of setup.sh).
step "the Windows build that Wine runs"
cmake --preset native ${CV_WINE_ARCH:+-DCV_WINE_ARCH=$CV_WINE_ARCH} \
  "-DCV_WINE_LOADER_DIR=${CV_WINE_LOADER_DIR:-}" >/dev/null
source build/native/wine-choice.sh
echo "$CV_WINE_CHOICE"

# The shipped stub is always built and checked; the 32-bit test programs only where Wine runs them.
cmake --preset windows >/dev/null
if [ "$CV_WINE_PRESET" = windows ]; then
  step "32-bit Windows build (cv_setup.exe as shipped, and the test programs Wine runs)"
  cmake --build --preset windows
else
  step "32-bit Windows build (cv_setup.exe as shipped)"
  cmake --build --preset windows --target cv_setup
  step "$CV_WINE_PRESET build, for Wine"
  cmake --preset "$CV_WINE_PRESET" >/dev/null
  cmake --build --preset "$CV_WINE_PRESET"
fi

step "native build"
cmake --build --preset native

# The fuzzers and the benchmarks' build need no Wine: they run beside the tests at the lowest
# priority, on the time that the Wine tests (which mostly wait on the stub) leave. Started any
# earlier, beside the builds, they slowed the builds by more than they saved. A process group of its
# own (job control for this one start), so that an early end of this script ends the whole side job;
# not a session of its own, which the kernel may schedule as a peer of this one whatever its priority.
side_log=build/fuzz-and-bench.log
set -m
bash -c '
  set -euo pipefail
  nice -n 19 tools/run-fuzzers.sh "$1"
  nice -n 19 cmake --preset bench >/dev/null
  nice -n 19 cmake --build --preset bench >/dev/null' side "$fuzz_seconds" > "$side_log" 2>&1 &
side=$!
set +m
trap 'kill -- "-$side" 2>/dev/null || true' EXIT

step "tests, with the fuzzers (${fuzz_seconds}s each) and the benchmarks' build beside them"
echo "$CV_WINE_CHOICE"
tests_status=0
ctest --preset native || tests_status=$?

step "the fuzzers and the benchmarks' build"
side_status=0
wait "$side" || side_status=$?
trap - EXIT
grep -E '^== |^Done|^stat::number_of_executed_units|^!!' "$side_log" || true
if [ "$side_status" != 0 ]; then
  tail -n 60 "$side_log"
  echo "the fuzzers or the benchmarks' build failed (log: $side_log)" >&2
fi

step "done"
echo "$CV_WINE_CHOICE"
exit $(( tests_status != 0 || side_status != 0 ))
