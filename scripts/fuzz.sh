#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, build/fuzz) and runs each for SECONDS (default 60) on a
# scratch copy of its seed corpus, with its dictionary when it has one. A finding stops the run
# with the target's report and leaves the crashing input in build/fuzz/findings/.
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup.sh
build=build/fuzz
# -O1 with assertions kept: twice the executions of -O0 in the same time.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DVELTRIX_FUZZ=ON \
    -DVELTRIX_GUI=OFF -DVELTRIX_TESTS=OFF -DVELTRIX_BENCH=OFF >/dev/null
targets=()
for seeds in fuzz/corpus/*/; do targets+=("fuzz_$(basename "$seeds")"); done
cmake --build "$build" --target "${targets[@]}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/findings"
# One target a core at a time: each runs single-threaded.
run() {
  local target=$1 name=${1#fuzz_} dict=()
  cp -r "fuzz/corpus/$name" "$scratch/$name"
  [ -f "fuzz/$name.dict" ] && dict=("-dict=fuzz/$name.dict")
  "$build/fuzz/$target" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$build/findings/$name-" "$scratch/$name" "fuzz/corpus/$name" \
      > "$scratch/$name.log" 2>&1
}
report() {
  local target=$1 status=$2 name=${1#fuzz_}
  echo "== $target, $seconds s"
  grep -E '^(stat::number_of_executed_units|Done)' "$scratch/$name.log" || true
  if [ "$status" -ne 0 ]; then
    tail -40 "$scratch/$name.log" >&2
    echo "$target found a fault (exit $status): the input is in $build/findings/" >&2
    exit 1
  fi
}
running=() pids=()
finish() {
  local i status
  for i in "${!pids[@]}"; do
    status=0
    wait "${pids[$i]}" || status=$?
    report "${running[$i]}" "$status"
  done
  running=() pids=()
}
for target in "${targets[@]}"; do
  run "$target" &
  running+=("$target") pids+=($!)
  [ "${#pids[@]}" -lt "$(nproc)" ] || finish
done
finish
