#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/ with clang and runs each for
# SECONDS seconds (default 20), starting from its checked-in seed corpus.
# New inputs go to a scratch corpus, never into the repository. A crash
# fails the script and leaves its input in build-fuzz/crashes/.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

seconds=${1:-20}
targets=(firewall_commands)

install_missing_packages "${TEST_PACKAGES[@]}"
cmake -S "$ROOT/fuzz" -B "$ROOT/build-fuzz" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$ROOT/build-fuzz" -j "$(nproc)"
mkdir -p "$ROOT/build-fuzz/crashes"

for target in "${targets[@]}"; do
  scratch=$(mktemp -d)  # new inputs, and the target's working directory
  log="$ROOT/build-fuzz/$target.log"
  options=(-max_total_time="$seconds" -print_final_stats=1
    -artifact_prefix="$ROOT/build-fuzz/crashes/$target-")
  [ -f "$ROOT/fuzz/$target.dict" ] && options+=(-dict="$ROOT/fuzz/$target.dict")
  status=0
  mkdir "$scratch/corpus" "$scratch/tmp"
  TMPDIR="$scratch/tmp" "$ROOT/build-fuzz/${target}_fuzzer" "${options[@]}" \
    "$scratch/corpus" "$ROOT/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  rm -rf "$scratch"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$target: ${runs:-?} executions in ${seconds}s, exit status $status"
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    exit "$status"
  fi
done
