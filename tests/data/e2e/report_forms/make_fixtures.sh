#!/bin/bash
# SPDX-License-Identifier: MIT
# Makes the fixtures of tests/e2e/report_forms.sh with the built tool and PROJ's
# cct (Debian's proj-bin), so that the test, also under Wine, checks the report's
# PROJ pipeline against cct without needing it. For each run (gk3: Xi'an 1980
# 3-degree Gauss-Krueger to CGCS2000, from the bundled example; geodetic: the
# same points as latitude and longitude with every height 0, made here with cct;
# utm: those points with heights to UTM zone 49N on CGCS2000):
#   NAME.report     the adjustment report (the golden file)
#   NAME.pipeline   the report's PROJ pipeline line
#   NAME.cct        cct's mapping of the run's test points through that pipeline
# and the point files of the geodetic and utm runs, NAME_source.txt, NAME_target.txt.
# Run after a change of the report's pipeline: ./make_fixtures.sh path/to/helmert7
set -euo pipefail
TOOL=$(realpath "$1")
cd "$(dirname "$0")"
command -v cct >/dev/null || { echo "cct missing: apt-get install proj-bin" >&2; exit 1; }
EXAMPLES=../../../../examples

IAG75="+a=6378140 +rf=298.257"
GRS80="+ellps=GRS80"
HELMERT="+proj=helmert +x=-120.5 +y=80.2 +z=60.7 +rx=1.2 +ry=-0.8 +rz=2.1 +s=2.5 +convention=coordinate_frame"
# longitude latitude: six control points around Xi'an
GEODETIC="108.52 34.11
109.31 34.02
108.77 34.63
109.12 34.48
108.41 34.39
109.40 34.29"
# Latitude and longitude with 10 decimals and height 0, named K1..K6.
named() { awk '{ printf "K%d %.10f %.10f 0\n", NR, $2, $1 }'; }
{ echo "# Xi'an 1980 (IAG 1975) latitude longitude h, heights not known: 0"
  awk '{ print $1, $2, 0 }' <<<"$GEODETIC" | named; } >geodetic_source.txt
{ echo "# CGCS2000 latitude longitude h, heights not known: 0"
  awk '{ print $1, $2, 0 }' <<<"$GEODETIC" |
    cct -d 12 +proj=pipeline +step +proj=cart $IAG75 +step $HELMERT +step +inv +proj=cart $GRS80 |
    named; } >geodetic_target.txt

# The same points with heights, as latitude and longitude on IAG 1975 and as UTM
# zone 49N on CGCS2000 (easting northing h).
HEIGHTS="412.30 398.72 520.14 455.05 610.88 377.61"
with_heights() { paste -d' ' <(awk '{ print $1, $2 }' <<<"$GEODETIC") <(tr ' ' '\n' <<<"$HEIGHTS"); }
{ echo "# Xi'an 1980 (IAG 1975) latitude longitude h"
  with_heights | awk '{ printf "K%d %.10f %.10f %s\n", NR, $2, $1, $3 }'; } >utm_source.txt
{ echo "# CGCS2000 UTM zone 49N: easting northing h"
  with_heights | cct -d 12 +proj=pipeline +step +proj=cart $IAG75 +step $HELMERT \
    +step +inv +proj=cart $GRS80 +step +proj=utm +zone=49 $GRS80 |
    awk '{ printf "K%d %.4f %.4f %.4f\n", NR, $1, $2, $3 }'; } >utm_target.txt

# run NAME SRC DES TEST SRC_FORM DES_FORM: the tool's report, its pipeline and
# cct's mapping of TEST (a coordinate text) through it.
run() {
  local name=$1 test=$4 scratch
  scratch=$(mktemp -d)
  "$TOOL" --inputsrc "$2" --inputdes "$3" --inputtest "$test" --outfile "$scratch/out.txt" \
    --reportfile "$name.report" --srccoords "$5" --descoords "$6" >/dev/null
  rm -rf "$scratch"
  grep '^+proj=pipeline ' "$name.report" >"$name.pipeline"
  tr ',' '\n' <<<"$test" | paste -d' ' - - - | cct -d 10 $(cat "$name.pipeline") |
    awk '{ print $1, $2, $3 }' >"$name.cct"
}

values() { grep -v '^#' "$1" | awk '{ printf "%s,%s,%s,", $2, $3, $4 }' | sed 's/,$//'; }
run gk3 "@$EXAMPLES/control_xian80_gk3.txt" "@$EXAMPLES/control_cgcs2000_gk3.txt" \
  "$(values "$EXAMPLES/points_xian80_gk3.txt")" gk3:iag1975 gk3:cgcs2000
run geodetic @geodetic_source.txt @geodetic_target.txt \
  "34.27,108.95,0,34.50,109.02,0,34.21,108.63,0" geodetic:iag1975 geodetic:cgcs2000
run utm @utm_source.txt @utm_target.txt "34.27,108.95,402.00,34.50,109.02,480.50" \
  geodetic:iag1975 utm:49N:cgcs2000
wc -l ./*.report ./*.pipeline ./*.cct
