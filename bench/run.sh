#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# `make bench`: the whole-process prediction run against PROJ's cct mapping the
# same points, alternating A B A B (bench_whole), at n = 250, 1,000 and 2,000; test
# points from a file to a file against cct (bench_files) and 10^5 common points from
# files; the stages of one run; estimate_parameters in-process at 10^4, 10^5 and
# 10^6 points; the figures of the rotation models, convergence rules and outlier
# test (bench_models).
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

# n named points near Wuhan, "name x y z code" a line, shifted by $2 metres.
point_file() {
  awk -v n="$1" -v d="$2" 'BEGIN { for (i = 0; i < n; i++)
    printf "P%d %.3f %.3f %.3f c%d\n", i, -2260000 + 20000 * sin(0.37 * i),
      5020000 + 20000 * cos(0.71 * i) + d, 3200000 + 20000 * sin(1.13 * i) - d, i % 7 }'
}

echo
echo "== point files, whole process: 10 control points and n test points from a file to"
echo "   a file (A) against cct -d 6 on the same points (B), 5 pairs, median ms"
printf '%8s %10s %10s %8s %10s\n' n helmert7 cct ratio peak_MiB
point_file 10 0 >"$WORK/control_old.txt"
point_file 10 50 >"$WORK/control_new.txt"
for n in 100000 1000000; do
  point_file "$n" 7 >"$WORK/points.txt"
  awk '{ print $2, $3, $4 }' "$WORK/points.txt" >"$WORK/points.xyz"
  read -r a b ratio peak < <("$BUILD/bin/bench_files" "$TOOL" "$WORK/control_old.txt" \
    "$WORK/control_new.txt" "$WORK/points.txt" "$WORK/points.xyz" "$WORK" 5)
  printf '%8d %10s %10s %8s %10s\n' "$n" "$a" "$b" "$ratio" "$peak"
done

echo
echo "== point files: 10^5 common points from files through the estimation, median of 5"
point_file 100000 0 >"$WORK/common_old.txt"
point_file 100000 50 >"$WORK/common_new.txt"
for i in 1 2 3 4 5; do
  start=$(date +%s%N)
  "$TOOL" --inputsrc "@$WORK/common_old.txt" --inputdes "@$WORK/common_new.txt" \
    --outfile "$WORK/parameters.txt" >/dev/null
  echo $((($(date +%s%N) - start) / 1000000))
done | sort -n | sed -n '3s/$/ ms/p'

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

echo
echo "== rotation models, convergence rules and the outlier test's level"
"$BUILD/bin/bench_models"
