#!/usr/bin/env bash
# Runs the whole test suite headless RUNS times (default 5) while two CPU
# hogs compete with it, as a busy desktop would: each hog stops by itself
# after HOG_SECONDS (default 900), and is stopped at the end of its run.
# Prints each run's result; fails when any run fails.
# Usage: tools/stress.sh [RUNS]   (from anywhere; uses QUILLET_BUILD_DIR or build/)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
hog_seconds=${HOG_SECONDS:-900}
build=${QUILLET_BUILD_DIR:-$top/build}
case "$runs" in '' | *[!0-9]*) echo "usage: $0 [RUNS]" >&2; exit 2 ;; esac
[ -f "$build/CTestTestfile.cmake" ] || { echo "stress.sh: no build in $build (run tools/build.sh)" >&2; exit 2; }

logs=$(mktemp -d "${TMPDIR:-/tmp}/quillet-stress.XXXXXX")
hogs=()
stop_hogs() {
  for pid in "${hogs[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${hogs[@]}"; do wait "$pid" 2>/dev/null || true; done
  hogs=()
}
trap stop_hogs EXIT

failed=0
for run in $(seq "$runs"); do
  for _ in 1 2; do
    timeout "$hog_seconds" bash -c 'while :; do :; done' &
    hogs+=($!)
  done
  start=$SECONDS
  log="$logs/run$run.log"
  (cd "$build" && "$top/tools/headless.sh" ctest --output-on-failure -j 2 --timeout 300) >"$log" 2>&1
  rc=$?
  stop_hogs
  summary=$(grep -E 'tests passed|tests failed' "$log" | tail -n1)
  if [ "$rc" -eq 0 ]; then
    echo "run $run/$runs: PASS in $((SECONDS - start)) s: ${summary:-?}"
  else
    failed=$((failed + 1))
    echo "run $run/$runs: FAIL (exit $rc) in $((SECONDS - start)) s: ${summary:-no summary}; log: $log"
    sed -n '/The following tests FAILED/,$p' "$log"
    grep -E '^headless.sh:' "$log" || true
  fi
done
if [ "$failed" -eq 0 ]; then
  echo "stress: $runs of $runs runs passed"
  rm -rf "$logs"
  exit 0
fi
echo "stress: $failed of $runs runs failed (logs in $logs)"
exit 1
