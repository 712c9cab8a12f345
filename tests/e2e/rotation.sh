#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# --rotation exact end to end: a site grid turned 30 degrees against the target
# system, a rotation about all three axes and rotations at and near the locks of
# both conventions, also on geocentric sites; the report's three PROJ strings with
# +exact reproduce the tool's mapping through cct to 1e-6 m. The small model
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

# check_exact_fit ANGLES...: the sites and their images under the angles (arc-
# seconds), fitted with --rotation exact; each of the report's three PROJ strings
# with +exact maps TEST_POINTS as the tool does.
check_exact_fit() {
  texts "$@"
  run_tool --inputsrc "$(cat sites.csv)" --inputdes "$(cat images.txt)" --inputtest "$TEST_POINTS" \
    --outfile exact.txt --reportfile exact-report.txt --rotation exact
  expect_status 0
  # The images are rounded to 9 decimals, noise enough for the outlier test to
  # fire now and then; no other warning is due.
  grep -v '^helmert7: warning: points\? .* may hold gross\? errors\?' stderr && fail "unexpected stderr"
  output_lines exact-report.txt >report.lf
  grep -q '^rotation model: exact' report.lf || fail "the report does not name the exact model"
  output_lines exact.txt | sed -n 's/^output=//p' | tr ',' '\n' | paste -d' ' - - - >tool.txt
  local strings=0 pipeline
  while read -r -a pipeline; do
    strings=$((strings + 1))
    [[ " ${pipeline[*]} " == *" +exact "* ]] || fail "no +exact in ${pipeline[*]}"
    tr ',' '\n' <<<"$TEST_POINTS" | paste -d' ' - - - | cct -d 7 "${pipeline[@]}" >cct.txt ||
      fail "cct refused ${pipeline[*]}"
    expect_same_points "$*: ${pipeline[0]} ${pipeline[*]: -2:1}" tool.txt cct.txt
  done < <(sed '/^## Inverse transformation/,/^$/d' report.lf | grep '^+proj=')
  [ "$strings" -eq 3 ] || fail "expected three PROJ strings, found $strings"
}

TEST_POINTS="150,250,10, -2000,1500,30, 3000,-2800,-60"
# Any rotation, the lock at ey = +-90 degrees (about y alone; (x, y, z) -> (y, z, x);
# a microradian on either side) included.
for angles in "0 0 108000" "72000 -126000 432000" "0 0 324000" "0 324000 0" "0 -324000 0" \
  "0 324000 324000" "72000 323999.793735194 -432000" "72000 -324000.206264806 -432000"; do
  # shellcheck disable=SC2086 # three angles
  check_exact_fit $angles
done

# At the lock the report says which angle alone is determined.
check_exact_fit 0 324000 0
grep -Eq '^ey is within .* arc-seconds of \+90 degrees: ex and ez turn about one axis and mean little alone; only ex \+ ez = .* is determined$' report.lf ||
  fail "the report does not say that ex and ez share one axis at the lock"
check_exact_fit 72000 -126000 432000
grep -q '^ey is within' report.lf && fail "the report speaks of a lock far from it"

# Geocentric sites, where a lost digit of an angle moves a point by millimetres:
# the locks of the coordinate-frame convention (ey = +-90 degrees) and of the
# position-vector one (ex, ez = +-90 degrees turn its middle angle to +-90 degrees),
# at them and within a microradian or two, where asin was 0.2 to 1 mm off.
SITES=$(tr ',' '\n' <<<"$SRC" | paste -d' ' - - - | paste -sd'|')
TEST_POINTS=$TEST
for angles in "0 324000 0" "-1800 -323999.793735194 5400" "324000 0 324000" "-324000 0 324000" \
  "323999.793735194 0 324000" "324000 7 323999.9" "-323999.97 0 -324000"; do
  # shellcheck disable=SC2086 # three angles
  check_exact_fit $angles
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
