#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# `make bench`: the whole-process prediction run against PROJ's cct mapping the
# same points, alternating A B A B (bench_whole), at n = 250, 1,000 and 2,000; the stages of one
# run; and estimate_parameters in-process at 10^4, 10^5 and 10^6 points.
# Usage: bench/run.sh BUILD_DIR [PAIRS]
set -euo pipefail
BUILD=$1
PAIRS=${2:-15}
TOOL=$BUILD/bin/helmert7
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# n points near Wuhan as a coordinate text, shifted by $2 metres.
points() {
  awk -v n="$1" -v d="$2" 'BEGIN { for (i = 0; i < n; i++) {
    printf "%s%.3f,%.3f,%.3f", (i ? "," : ""), -2260000 + 20000 * sin(0.37 * i),
      5020000 + 20000 * cos(0.71 * i) + d, 3200000 + 20000 * sin(1.13 * i) - d } }'
}

echo "== whole process: prediction run (A) against cct -d 6 (B), $PAIRS pairs, median ms"
printf '%8s %10s %10s %8s\n' n helmert7 cct ratio
for n in 250 1000 2000; do
  points "$n" 0 >"$WORK/src.txt"
  points "$n" 50 >"$WORK/des.txt"
  points "$n" 7 >"$WORK/test.txt"
  tr ',' '\n' <"$WORK/test.txt" | paste -d' ' - - - >"$WORK/test.xyz"
  read -r a b ratio < <("$BUILD/bin/bench_whole" "$TOOL" "$WORK/src.txt" "$WORK/des.txt" \
    "$WORK/test.txt" "$WORK/test.xyz" "$PAIRS")
  printf '%8d %10s %10s %8s\n' "$n" "$a" "$b" "$ratio"
done

echo
echo "== stages of one prediction run, in-process, median ms"
for n in 250 1000 2000; do "$BUILD/bin/bench_stages" "$n"; done

echo
echo "== estimate_parameters in-process"
printf '%8s %10s %10s %10s\n' n seconds iterations peak_MiB
for n in 10000 100000 1000000; do
  read -r points seconds iterations peak < <("$BUILD/bin/bench_estimate" "$n")
  printf '%8d %10s %10s %10s\n' "$points" "$seconds" "$iterations" "$peak"
done
