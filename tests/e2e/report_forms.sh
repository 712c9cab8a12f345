#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The adjustment report of runs with coordinate forms, byte for byte: a 3-degree
# Gauss-Krueger run (Xi'an 1980 to CGCS2000), a geodetic one whose heights are all
# 0 (with its warning) and one from latitude and longitude to UTM. The report's PROJ pipeline is the one the fixtures were
# made with (tests/data/e2e/report_forms/make_fixtures.sh), and cct's mapping of
# the test points through it, kept there, agrees with the tool's to 0.1 mm
# (1e-9 degrees of latitude and longitude).
source "$(dirname "$0")/lib.bash" "$@"

FIXTURES=$DATA/report_forms
cp "$EXAMPLES/control_xian80_gk3.txt" "$EXAMPLES/control_cgcs2000_gk3.txt" \
  "$FIXTURES"/geodetic_*.txt "$FIXTURES"/utm_*.txt .

# The Windows build's libm rounds the projection's last bits otherwise: there the
# report's full-precision numbers (and near-zero values' signs) are compared
# masked; their values are checked through the mapped points below.
masked() { perl -pe 's/-?\d+\.\d{8,}(e[-+]\d+)?|-?\d\.\d+e[-+]\d+/<n>/g; s/-(0\.0+)(?![\d.])/$1/g' "$1"; }
expect_report() {
  if on_windows; then
    perl -0777 -ne 'exit 1 if /(?<!\r)\n/' "$1" || fail "$1 has a line that does not end in CR LF"
    output_lines "$1" | masked /dev/stdin >"$1.masked"
    masked "$2" >"$1.expected"
    expect_file "$1.masked" "$1.expected"
  else
    expect_output_file "$1" "$2"
  fi
}
expect_pipeline() {
  if on_windows; then
    masked "$1" >"$1.masked"
    masked "$2" >"$1.expected"
    expect_file "$1.masked" "$1.expected"
  else
    expect_file "$1" "$2"
  fi
}

# check_run NAME TEST SRC_FORM DES_FORM SRC DES: the report as NAME.report, its
# pipeline as NAME.pipeline, the mapped test points beside cct's within 0.1 mm.
check_run() {
  local name=$1 test=$2
  run_tool --inputsrc "$5" --inputdes "$6" --inputtest "$test" --outfile "$name.out" \
    --reportfile "$name.txt" --srccoords "$3" --descoords "$4"
  expect_status 0
  output_lines "$name.txt" | grep '^+proj=pipeline ' >"$name.pipeline"
  expect_report "$name.txt" "$FIXTURES/$name.report"
  expect_pipeline "$name.pipeline" "$FIXTURES/$name.pipeline"
  output_lines "$name.out" | sed -n 's/^output=//p' | tr ',' '\n' | paste -d' ' - - - >"$name.mapped"
  # Angles (a value within 360) to 1e-9 degrees, metres to 1e-4.
  local worst points
  points=$(wc -l <"$FIXTURES/$name.cct")
  worst=$(paste "$name.mapped" "$FIXTURES/$name.cct" | awk -v points="$points" '{ for (i = 1; i <= 3; i++) {
      d = $i - $(i + 3); if (d < 0) d = -d
      angle = i < 3 && $i > -360 && $i < 360 && $i != int($i)
      if (d > (angle ? 1e-9 : 1e-4)) bad = 1; if (d > w) w = d } }
    END { printf "%.3g", w; exit bad || NR != points }') &&
    echo "$name: mapped points agree with cct through the report's pipeline to $worst" ||
    fail "$name: mapped points and cct differ by $worst: $(paste "$name.mapped" "$FIXTURES/$name.cct")"
}

values() { grep -v '^#' "$1" | awk '{ printf "%s,%s,%s,", $2, $3, $4 }' | sed 's/,$//'; }
check_run gk3 "$(values "$EXAMPLES/points_xian80_gk3.txt")" gk3:iag1975 gk3:cgcs2000 \
  @control_xian80_gk3.txt @control_cgcs2000_gk3.txt
expect_text stderr ""
check_run geodetic "34.27,108.95,0,34.50,109.02,0,34.21,108.63,0" geodetic:iag1975 \
  geodetic:cgcs2000 @geodetic_source.txt @geodetic_target.txt
expect_stderr_line "^helmert7: warning: every height of the source and target points is 0: the fit is two-dimensional in effect; the horizontal coordinates alone leave the shift along the up direction, .* and the scale at the network's centroid poorly determined"

check_run utm "34.27,108.95,402.00,34.50,109.02,480.50" geodetic:iag1975 utm:49N:cgcs2000 \
  @utm_source.txt @utm_target.txt
expect_text stderr ""

finish
