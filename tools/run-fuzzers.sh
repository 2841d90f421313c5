#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang 14, AddressSanitizer and UBSan) and runs each for
# SECONDS, starting from its seed corpus, with a per-input time-out. Exits non-zero on any finding.
# Usage: tools/run-fuzzers.sh SECONDS [BUILD_DIR]   (BUILD_DIR also from CV_FUZZ_BUILD_DIR;
#        default build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/run-fuzzers.sh SECONDS [BUILD_DIR]}
build=${2:-${CV_FUZZ_BUILD_DIR:-build/fuzz}}
per_input_timeout=${CV_FUZZ_TIMEOUT:-10}
fuzzers=(pattern_fuzzer http_patterns_fuzzer config_fuzzer response_fuzzer)

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target "${fuzzers[@]}"

status=0
for name in "${fuzzers[@]}"; do
  work="$build/fuzz-run/$name"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "== $name: ${seconds}s"
  # New inputs go to the work corpus; the seed corpus in the tree is only read.
  if ! "$build/tests/fuzz/$name" -max_total_time="$seconds" -timeout="$per_input_timeout" \
      -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
      "$work/corpus" "tests/fuzz/corpus/$name" > "$work/log.txt" 2>&1; then
    status=1
    echo "!! $name found a problem; log: $work/log.txt" >&2
    tail -n 40 "$work/log.txt" >&2
  else
    grep -E '^stat::number_of_executed_units|^Done' "$work/log.txt" || true
  fi
done
exit $status
