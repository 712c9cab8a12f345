#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# --rotation exact end to end: a site grid turned 30 degrees against the target
# system, and a rotation about all three axes; the report's three PROJ strings
# with +exact reproduce the tool's mapping through cct to 1e-6 m. The small model
# refuses the same points and names the exact one; the default run stays as it was.
source "$(dirname "$0")/lib.bash" "$@"

command -v cct >/dev/null || { fail "cct (Debian proj-bin) is not installed"; finish; }

SITES="0 0 0|1000 0 20|0 1000 -15|-800 300 40|500 -700 5|-300 -600 25|900 800 -30|-1200 -900 12"
# texts ANGLES...: the sites and their images under cct's exact coordinate-frame
# rotation with a shift and 10 ppm, as two coordinate texts on two lines.
texts() {
  local pipeline="+proj=helmert +x=4000 +y=-2500 +z=310 +rx=$1 +ry=$2 +rz=$3 +s=10 +convention=coordinate_frame +exact"
  tr '|' '\n' <<<"$SITES" >sites.txt
  cct -d 9 $pipeline <sites.txt | awk '{ printf "%s%s,%s,%s", (NR > 1 ? "," : ""), $1, $2, $3 }' >images.txt
  awk '{ printf "%s%s,%s,%s", (NR > 1 ? "," : ""), $1, $2, $3 }' sites.txt >sites.csv
}

TEST_POINTS="150,250,10, -2000,1500,30, 3000,-2800,-60"
for angles in "0 0 108000" "72000 -126000 432000" "0 0 324000"; do
  # shellcheck disable=SC2086 # three angles
  texts $angles
  run_tool --inputsrc "$(cat sites.csv)" --inputdes "$(cat images.txt)" --inputtest "$TEST_POINTS" \
    --outfile exact.txt --reportfile exact-report.txt --rotation exact
  expect_status 0
  # The images are rounded to 9 decimals, noise enough for the outlier test to
  # fire now and then; no other warning is due.
  grep -v '^helmert7: warning: points\? .* may hold gross\? errors\?' stderr && fail "unexpected stderr"
  output_lines exact-report.txt >report.lf
  grep -q '^rotation model: exact' report.lf || fail "the report does not name the exact model"
  output_lines exact.txt | sed -n 's/^output=//p' | tr ',' '\n' | paste -d' ' - - - >tool.txt
  strings=0
  while read -r -a pipeline; do
    strings=$((strings + 1))
    [[ " ${pipeline[*]} " == *" +exact "* ]] || fail "no +exact in ${pipeline[*]}"
    tr ',' '\n' <<<"$TEST_POINTS" | paste -d' ' - - - | cct -d 7 "${pipeline[@]}" >cct.txt ||
      fail "cct refused ${pipeline[*]}"
    expect_same_points "$angles: ${pipeline[0]} ${pipeline[*]: -2:1}" tool.txt cct.txt
  done < <(grep '^+proj=' report.lf)
  [ "$strings" -eq 3 ] || fail "expected three PROJ strings, found $strings"
done

# The small model on the 30-degree grid is plainly wrong: refused after the trace,
# naming the rotation and the exact model, and no file is written.
texts 0 0 108000
run_tool --inputsrc "$(cat sites.csv)" --inputdes "$(cat images.txt)" --outfile small.txt \
  --reportfile small-report.txt
expect_status 255
expect_stderr_line "^helmert7: the small-angle model cannot fit these points: .* the rotation of 30.000 degrees is too large for it: run with --rotation exact$"
expect_absent small.txt
expect_absent small-report.txt

# Only two models.
run_tool --inputsrc "$(cat sites.csv)" --inputdes "$(cat images.txt)" --rotation big --outfile no.txt
expect_status 255
expect_stderr_line "^helmert7: --rotation takes small or exact, not 'big'$"
expect_absent no.txt

finish
