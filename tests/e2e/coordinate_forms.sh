#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One network given three ways: geocentric x y z, geodetic latitude, longitude and
# height, and 3-degree Gauss-Krueger coordinates (Xi'an 1980 on IAG 1975 to CGCS2000).
# PROJ's cct makes the points from geodetic ones around Xi'an (a known
# transformation in between); each run must give the same parameters and map the
# test points to cct's within 0.1 mm (grid) or 1e-9 degrees; grid texts and point
# files alike.
source "$(dirname "$0")/lib.bash" "$@"

command -v cct >/dev/null || { fail "cct (Debian proj-bin) is not installed"; finish; }

IAG75="+a=6378140 +rf=298.257"
GRS80="+ellps=GRS80"
ZONE36="+proj=tmerc +lon_0=108 +k=1 +x_0=36500000 +axis=neu"
HELMERT="+proj=helmert +x=-120.5 +y=80.2 +z=60.7 +rx=1.2 +ry=-0.8 +rz=2.1 +s=2.5 +convention=coordinate_frame"
# longitude latitude height: six control points, then three to map
cat >geodetic.txt <<'POINTS'
108.52 34.11 412.30
109.31 34.02 398.72
108.77 34.63 520.14
109.12 34.48 455.05
108.41 34.39 610.88
109.40 34.29 377.61
108.95 34.27 402.00
109.02 34.50 480.50
108.63 34.21 505.25
POINTS
source_side() { cct -d 12 +proj=pipeline +step "$@" $IAG75 <geodetic.txt; }
target_side() {
  cct -d 12 +proj=pipeline +step +proj=cart $IAG75 +step $HELMERT +step +inv +proj=cart $GRS80 \
    +step "$@" $GRS80 <geodetic.txt
}
# cct's lines as "v1,v2,v3," texts: control points (lines 1-6) or test points (7-9).
texts() { awk -v from="$1" -v to="$2" 'NR >= from && NR <= to { printf "%s,%s,%s,", $1, $2, $3 }'; }
source_side +proj=cart >src_xyz.txt
target_side +proj=cart >tar_xyz.txt
source_side $ZONE36 >src_gk.txt
target_side $ZONE36 >tar_gk.txt
target_side +proj=noop >tar_geodetic.txt   # longitude latitude height
swap() { awk '{ print $2, $1, $3 }'; }     # to latitude longitude height
[ "$(wc -l <tar_gk.txt)" -eq 9 ] || fail "cct gave no points"

# run_form NAME SRC_FORM DES_FORM SRC DES TEST: a run whose trace and output are kept as NAME.*
run_form() {
  local name=$1 src_form=$2 des_form=$3
  run_tool --inputsrc "$4" --inputdes "$5" --inputtest "$6" --outfile "$name.out" \
    --reportfile "$name.report" ${src_form:+--srccoords "$src_form"} ${des_form:+--descoords "$des_form"}
  expect_status 0
  [ ! -s stderr ] || fail "$name: warnings $(cat stderr)"
  cp stdout "$name.trace"
  # The final seven parameters: the last "Args" header, "[7 1 1 1]", then a value a line.
  awk '/^Args/ { at = NR } { line[NR] = $1 } END { for (i = at + 2; i <= at + 8; i++) print line[i] }' \
    stdout >"$name.args"
  output_lines "$name.out" | sed -n 's/^output=//p' | tr ',' '\n' | paste -d' ' - - - >"$name.mapped"
}

run_form xyz "" "" "$(texts 1 6 <src_xyz.txt)" "$(texts 1 6 <tar_xyz.txt)" "$(texts 7 9 <src_xyz.txt)"
run_form gk gk3:iag1975 gk3:cgcs2000 "$(texts 1 6 <src_gk.txt)" "$(texts 1 6 <tar_gk.txt)" \
  "$(texts 7 9 <src_gk.txt)"
# sigma0 is in metres where the forms say so, in the coordinates' unit otherwise.
output_lines xyz.report | grep -Eq '^sigma0: [0-9.e-]+ coordinate units$' || fail "xyz: sigma0 not in coordinate units"
output_lines gk.report | grep -Eq '^sigma0: [0-9.e-]+ m$' || fail "gk3: sigma0 not in metres"
run_form geodetic geodetic:iag1975 geodetic:cgcs2000 "$(swap <geodetic.txt | texts 1 6)" \
  "$(swap <tar_geodetic.txt | texts 1 6)" "$(swap <geodetic.txt | texts 7 9)"

# The rotation matrix and 1 + m agree to 1e-9 relative and beyond: rotations and
# scale within 1e-12 (6 micrometres at the earth's radius); the translations of the
# centred model, zero, within 1e-6 m.
for form in gk geodetic; do
  worst=$(paste xyz.args $form.args | awk '{ d = $1 - $2; if (d < 0) d = -d
    if (NR <= 3 ? d > 1e-6 : d > 1e-12) bad = 1; if (NR > 3 && d > w) w = d }
    END { printf "%.3g", w; exit bad }') || fail "$form: parameters differ from the xyz run's: $(paste xyz.args $form.args)"
  echo "$form: rotations and scale agree with the xyz run's to $worst"
done
tail -n 3 tar_gk.txt | awk '{ print $1, $2, $3 }' >tar_gk_test.txt
worst=$(paste gk.mapped tar_gk_test.txt | awk '{ for (i = 1; i <= 3; i++) { d = $i - $(i + 3)
  if (d < 0) d = -d; if (d > w) w = d } } END { printf "%.3g", w; exit !(NR == 3 && w <= 1e-4) }') ||
  fail "gk3: mapped points and cct differ by $worst m"
echo "gk3: mapped points agree with cct to $worst m"
tail -n 3 tar_geodetic.txt | swap >tar_geodetic_test.txt
worst=$(paste geodetic.mapped tar_geodetic_test.txt | awk '{ for (i = 1; i <= 2; i++) {
  d = $i - $(i + 3); if (d < 0) d = -d; if (d > w) w = d }; h = $3 - $6; if (h < 0) h = -h
  if (h > wh) wh = h } END { printf "%.3g deg, %.3g m", w, wh; exit !(NR == 3 && w <= 1e-9 && wh <= 1e-4) }') ||
  fail "geodetic: mapped points and cct differ by $worst"
echo "geodetic: mapped points agree with cct to $worst"
grep -Eq '^[0-9]+\.[0-9]{10}$' <(head -n 1 geodetic.mapped | cut -d' ' -f1) ||
  fail "geodetic: latitudes are not written with 10 decimals: $(head -n 1 geodetic.mapped)"
grep -Eq '^36[0-9]{6}\.[0-9]{6}$' <(head -n 1 gk.mapped | cut -d' ' -f2) ||
  fail "gk3: eastings do not keep the zone prefix 36: $(head -n 1 gk.mapped)"

# A test point file in gk3 is streamed into the output file in the target's form.
tail -n 3 src_gk.txt | awk '{ printf "T%d %s %s %s\n", NR, $1, $2, $3 }' >test_gk.txt
run_tool --inputsrc "$(texts 1 6 <src_gk.txt)" --inputdes "$(texts 1 6 <tar_gk.txt)" \
  --inputtest @test_gk.txt --outfile mapped_gk.txt --srccoords gk3:iag1975 --descoords gk3:cgcs2000
expect_status 0
output_lines mapped_gk.txt | awk '{ print $2, $3, $4 }' >file.mapped
cmp -s file.mapped gk.mapped || fail "point file and text map differently: $(paste file.mapped gk.mapped)"

# The configuration's keys srccoords and descoords replace the options' forms.
printf 'src=%s\ndes=%s\ntest=%s\nsrccoords=gk3:iag1975\ndescoords=gk3:cgcs2000\n' \
  "$(texts 1 6 <src_gk.txt)" "$(texts 1 6 <tar_gk.txt)" "$(texts 7 9 <src_gk.txt)" >forms.ini
run_tool --inputfile forms.ini --outfile configured.out --srccoords xyz --descoords geodetic:wgs84
expect_status 0
output_lines configured.out | sed -n 's/^output=//p' | tr ',' '\n' | paste -d' ' - - - >configured.mapped
cmp -s configured.mapped gk.mapped || fail "the configuration's forms were not taken: $(cat configured.mapped)"

# Refusals name the point and what cannot be a coordinate of its form.
expect_refused_before_report "^helmert7: the source point 2 \(--inputsrc\): latitude 91 lies beyond -90..90 degrees$" \
  --inputsrc "34,108,0,91,108,0,34,109,0" --inputdes "1,2,3,4,5,6,7,8,9" --srccoords geodetic:wgs84
expect_refused_before_report "^helmert7: --descoords: coordinate form 'gk3:bessel': unknown ellipsoid 'bessel'" \
  --inputsrc "1,2,3,4,5,6,7,8,9" --inputdes "1,2,3,4,5,6,7,8,9" --descoords gk3:bessel
expect_refused_before_report "^helmert7: the target point 1 \(--inputdes\): easting 500000.000000 has no zone number in front" \
  --inputsrc "1,2,3,4,5,6,7,8,9" --inputdes "3800000,500000,0,3800000,500100,0,3800100,500000,0" \
  --descoords gk3:cgcs2000

# A grid point far from its central meridian is mapped, with a warning.
far=$(echo "112.0 34.3 400" | cct -d 6 +proj=pipeline +step $ZONE36 $IAG75 | awk '{ printf "%s,%s,%s", $1, $2, $3 }')
run_tool --inputsrc "$(texts 1 6 <src_gk.txt)" --inputdes "$(texts 1 6 <tar_gk.txt)" \
  --inputtest "$far" --outfile far.txt --srccoords gk3:iag1975 --descoords gk3:cgcs2000
expect_status 0
expect_stderr_line "^helmert7: warning: the test point 1 \(--inputtest\) lies 4.00 degrees of longitude from the central meridian 108 of gk3:iag1975.*zone 37$"

finish
