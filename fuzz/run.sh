#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and runs each for the given number of seconds.
#
#   fuzz/run.sh SECONDS [TARGET...]     targets: movie flashvars flv_metadata flv_reader registry uri_list
#
# Environment: FUZZ_BUILD (build folder, default build-fuzz), FUZZ_JOBS (how
# many targets run at once, default 1). Each target starts from the seeds in
# fuzz/corpus/<target>/ and keeps what it finds in $FUZZ_BUILD/corpus/<target>/,
# so the seeds in the repository stay small; a crash lands in
# $FUZZ_BUILD/crashes/<target>/ and makes the script fail. At the end it prints
# per target the executions and the coverage (cov: edges, ft: features).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
all=(movie flashvars flv_metadata flv_reader registry uri_list)

seconds=${1:-}
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 SECONDS [${all[*]}]" >&2; exit 2; }
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
for t in "${targets[@]}"; do
  [[ " ${all[*]} " == *" $t "* ]] || { echo "unknown target: $t" >&2; exit 2; }
done

build=${FUZZ_BUILD:-$top/build-fuzz}
jobs=${FUZZ_JOBS:-1}

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DQUILLET_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

run_one() {
  local t=$1
  local corpus=$build/corpus/$t crashes=$build/crashes/$t log=$build/logs/$t.log
  mkdir -p "$corpus" "$crashes" "$(dirname "$log")"
  # -print_final_stats gives the execution count; the last status line the coverage.
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" "$top/fuzz/corpus/$t" \
    >"$log" 2>&1
}

declare -A status
pids=()
names=()
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  echo "fuzzing $t for ${seconds}s"
  run_one "$t" &
  pids+=($!)
  names+=("$t")
done
for i in "${!pids[@]}"; do
  if wait "${pids[$i]}"; then status[${names[$i]}]=ok; else status[${names[$i]}]=FAILED; fi
done

failed=0
printf '\n%-14s %-7s %14s %8s %8s %10s %s\n' target result executions cov ft corpus crashes
for t in "${targets[@]}"; do
  log=$build/logs/$t.log
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | grep -E 'cov: [0-9]+' | tail -1 || true)
  cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")
  units=$(find "$build/corpus/$t" -type f | wc -l)
  found=$(find "$build/crashes/$t" -type f | wc -l)
  printf '%-14s %-7s %14s %8s %8s %10s %s\n' "$t" "${status[$t]}" "${runs:-?}" "${cov:-?}" \
    "${ft:-?}" "$units" "$found"
  if [ "${status[$t]}" != ok ] || [ "$found" -ne 0 ]; then
    failed=1
    grep -E 'ERROR|property failed|SUMMARY' "$log" | head -5 || true
  fi
done
exit $failed
