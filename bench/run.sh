#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# `make bench`: the whole-process prediction run against PROJ's cct mapping the
# same points, alternating A B A B (bench_whole), at n = 250, 1,000 and 2,000; test
# points from a file to a file against cct (bench_files) and 10^5 common points from
# files; grid coordinates mapped between two Gauss-Krueger forms from a file to a
# file against cct running the same pipeline (bench_grid); the stages of one run;
# estimate_parameters in-process at 10^4, 10^5 and 10^6 points; the figures of the
# rotation models, convergence rules and outlier test (bench_models).
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

# n named points in Xi'an 1980 3-degree Gauss-Krueger zone 36, "name x y h code" a
# line: up to 90 km north and south of 3790 km, 110 km east and west of the meridian.
grid_file() {
  awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++)
    printf "G%d %.3f %.3f %.3f c%d\n", i, 3790000 + 90000 * sin(0.37 * i),
      36500000 + 110000 * cos(0.71 * i), 500 + 200 * sin(1.13 * i), i % 7 }'
}

echo
echo "== grid to grid: the bundled Xi'an 1980 gk3 control and n test points mapped from"
echo "   gk3:iag1975 to gk3:cgcs2000 file to file (A) against cct -d 6 running the"
echo "   same pipeline on the same points (B), 5 pairs, median ms"
EXAMPLES=$(dirname "$0")/../examples
FORMS=(--srccoords gk3:iag1975 --descoords gk3:cgcs2000)
CONTROL=(--inputsrc "@$EXAMPLES/control_xian80_gk3.txt" --inputdes "@$EXAMPLES/control_cgcs2000_gk3.txt")
# The fitted Helmert step, as the report gives it for PROJ.
"$TOOL" "${CONTROL[@]}" "${FORMS[@]}" --outfile "$WORK/parameters.txt" \
  --reportfile "$WORK/report.txt" >/dev/null
read -r -a HELMERT < <(tr -d '\r' <"$WORK/report.txt" | grep -m1 '^+proj=helmert .*coordinate_frame')
ZONE36=(+proj=tmerc +lon_0=108 +k=1 +x_0=36500000 +axis=neu)
PIPELINE=(+proj=pipeline +step +inv "${ZONE36[@]}" +a=6378140 +rf=298.257
  +step +proj=cart +a=6378140 +rf=298.257 +step "${HELMERT[@]}"
  +step +inv +proj=cart +ellps=GRS80 +step "${ZONE36[@]}" +ellps=GRS80)
printf '%8s %10s %10s %8s %10s %12s\n' n helmert7 cct ratio peak_MiB cct_diff_m
for n in 100000 1000000; do
  grid_file "$n" >"$WORK/grid.txt"
  awk '{ print $2, $3, $4 }' "$WORK/grid.txt" >"$WORK/grid.xyz"
  read -r a b ratio peak < <("$BUILD/bin/bench_grid" 5 "$WORK/grid.xyz" "$WORK/grid_cct.txt" \
    "$TOOL" "${CONTROL[@]}" "${FORMS[@]}" --inputtest "@$WORK/grid.txt" \
    --outfile "$WORK/grid_mapped.txt" -- cct -d 6 "${PIPELINE[@]}")
  # Equal work: every 100th point as the tool and as cct map it, within 0.1 mm.
  diff=$(paste -d' ' "$WORK/grid_mapped.txt" "$WORK/grid_cct.txt" | awk 'NR % 100 == 1 {
    for (i = 2; i <= 4; i++) { d = $i - $(i + 4); if (d < 0) d = -d; if (d > w) w = d } }
    END { printf "%.2g", w; if (w > 1e-4) exit 1 }') || diff="$diff(>0.1mm!)"
  printf '%8d %10s %10s %8s %10s %12s\n' "$n" "$a" "$b" "$ratio" "$peak" "$diff"
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
