#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz, clang) and fuzzes each for the
# given number of seconds: bash tests/fuzz/run.sh [seconds] [target...]
# New inputs go to build/fuzz/corpus/<target>; an input that finds a fault is
# saved as build/fuzz/<target>-crash-..., to be kept in
# tests/fuzz/corpus/<target>/ once the fault is mended.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-15}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(text_input tarvox kolber snpbayes)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in "${targets[@]}"; do
  mkdir -p "build/fuzz/corpus/$target"
  echo "fuzzing $target for ${seconds} s"
  log="build/fuzz/$target.log"
  status=0
  "build/fuzz/tests/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/$target-" \
    "build/fuzz/corpus/$target" "tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log" >&2
    echo "fuzzing $target found a fault (full output: $log)" >&2
    exit 1
  fi
done
