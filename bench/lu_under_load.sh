#!/usr/bin/env bash
# LAPACKE_dgetrf of order 2000 on two threads while two busy processes compete for the cores,
# beside the peer's dgetrf in the same run, then the same without the busy processes.
#
#   bench/lu_under_load.sh [build dir]      (default build/x86_64)
set -euo pipefail
build=${1:-build/x86_64}
bench=$build/bench/bench_lu
filter='dgetrf.*COL_MAJOR.*/2000/2/|BM_peer_dgetrf/2000/2/'
export OPENBLAS_CORETYPE=${OPENBLAS_CORETYPE:-Haswell}

run() { "$bench" --benchmark_filter="$filter" --benchmark_min_time=2 --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '_median'; }

echo "== two busy processes"
sh -c 'while :; do :; done' & b1=$!
sh -c 'while :; do :; done' & b2=$!
trap 'kill $b1 $b2 2>/dev/null' EXIT
run
kill $b1 $b2
trap - EXIT
echo "== quiet"
run
