#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One network given three ways: geocentric x y z, geodetic latitude, longitude and
# height, and 3-degree Gauss-Krueger coordinates (Xi'an 1980 on IAG 1975 to CGCS2000).
# PROJ's cct makes the points from geodetic ones around Xi'an (a known
# transformation in between); each run must give the same parameters and map the
# test points to cct's within 0.1 mm (grid) or 1e-9 degrees; grid texts and point
# files alike.
source "$(dirname "$0")/lib.bash" "$@"

# ---- Point files and d:m:s angles, from fixtures committed with make_fixtures.sh
# (tests/data/e2e/forms), so that these checks run without PROJ, under Wine too.
cp "$DATA"/forms/*.txt .
GEODETIC=(--srccoords geodetic:iag1975 --descoords geodetic:cgcs2000)
GRID=(--srccoords gk3:iag1975 --descoords gk3:cgcs2000)
# "v1,v2,v3,..." of the points of a comma-separated point file, comments left out.
csv_values() { grep -v '^#' "$1" | cut -d, -f2-4 | paste -sd, -; }
# "v1,v2,v3,..." of a point file with names and blanks.
blank_values() { grep -v '^#' "$1" | awk '{ printf "%s%s,%s,%s", (NR > 1 ? "," : ""), $2, $3, $4 }'; }

# A geodetic test point file streamed into a geodetic target: each line's latitude
# and longitude in the style of its own latitude, heights "%f", every other byte
# as it stood. Source control points in d:m:s and decimal, target's decimal.
run_tool --inputsrc @src_control.txt --inputdes @des_control.txt --inputtest @test_geodetic.txt \
  --outfile mapped_geodetic.txt "${GEODETIC[@]}"
expect_status 0
[ ! -s stderr ] || fail "geodetic stream: warnings $(cat stderr)"
expect_output_file mapped_geodetic.txt test_geodetic_expected.txt

# The same points as texts, d:m:s in the source's and the test points' values, from
# a configuration file: the mapped text keeps each point's style.
printf 'src=%s\ndes=%s\ntest=%s\nsrccoords=geodetic:iag1975\ndescoords=geodetic:cgcs2000\n' \
  "$(blank_values src_control.txt)" "$(blank_values des_control.txt)" \
  "$(csv_values test_geodetic.txt)" >angles.ini
run_tool --inputfile angles.ini --outfile angles.out
expect_status 0
[ "$(output_lines angles.out | sed -n 's/^output=//p')" = "$(csv_values test_geodetic_expected.txt)" ] ||
  fail "d:m:s texts: mapped $(output_lines angles.out | sed -n 's/^output=//p')"

# Refusals name the file and line (and the point's name), or the text and point.
printf 'P1 34.11 108.52 412.30\n\nP2 91 109.31 398.72\nP3 34.63 108.77 520.14\n' >bad_latitude.txt
printf 'P1 34.11 108.52 412.30\nP2 34:61:00 109.31 398.72\n' >bad_angle.txt
printf 'T1,34.27,108.95,402\nT2,34:16:12,-400:00:00,480.5\n' >bad_longitude.txt
printf 'T1 3796958.8506 36518411.7717 400\nT2 3796958.8506 518411.7717 400\n' >no_zone.txt
while IFS='|' read -r pattern args; do
  # shellcheck disable=SC2086  # the arguments are words
  expect_refused_before_report "$pattern" $args
done <<'CASES'
^helmert7: bad_latitude.txt:3: the source point 2 'P2': latitude 91 lies beyond -90..90 degrees$|--inputsrc @bad_latitude.txt --inputdes @des_control.txt --srccoords geodetic:iag1975 --descoords geodetic:cgcs2000
^helmert7: bad_angle.txt:2: angle '34:61:00': minutes and seconds must be below 60 \(latitude\)$|--inputsrc @src_control.txt --inputdes @bad_angle.txt --srccoords geodetic:iag1975 --descoords geodetic:cgcs2000
^helmert7: bad_longitude.txt:2: the test point 2 'T2': longitude -400 lies beyond -360..360 degrees$|--inputsrc @src_control.txt --inputdes @des_control.txt --inputtest @bad_longitude.txt --srccoords geodetic:iag1975 --descoords geodetic:cgcs2000
^helmert7: no_zone.txt:2: the test point 2 'T2': easting 518411.771700 has no zone number in front|--inputsrc @src_gk.txt --inputdes @des_gk.txt --inputtest @no_zone.txt --srccoords gk3:iag1975 --descoords gk3:cgcs2000
^helmert7: cannot read the test points \(--inputtest\): point 2: angle '34:1:60': minutes and seconds must be below 60$|--inputsrc @src_control.txt --inputdes @des_control.txt --inputtest 34.1,108,0,34:1:60,108,0 --srccoords geodetic:iag1975 --descoords geodetic:cgcs2000
^helmert7: src_control.txt:2: '34:06:36.000000' is not a number \(x\)$|--inputsrc @src_control.txt --inputdes @des_control.txt
^helmert7: cannot read the source points \(--inputsrc\): invalid stod argument|--inputsrc 34.1,108,0:00:01 --inputdes @des_control.txt --srccoords geodetic:iag1975 --descoords geodetic:cgcs2000
CASES

# Streamed grid points far from their central meridian: one warning line names
# the first three with file and line and counts the rest; every point is mapped.
run_tool --inputsrc @src_gk.txt --inputdes @des_gk.txt --inputtest @far_gk.txt \
  --outfile mapped_far.txt "${GRID[@]}"
expect_status 0
expect_stderr_line "^helmert7: warning: 5 test points lie more than 3.5 degrees of longitude from the central meridian of gk3:iag1975, where the zone's distortion grows: far_gk.txt:2 'F2' \(4.00 degrees from 108; it belongs in 3-degree zone 37\), far_gk.txt:3 'F3' \(4.10 degrees from 108; it belongs in 3-degree zone 37\), far_gk.txt:4 'F4' \(4.20 degrees from 108; it belongs in 3-degree zone 37\) and 2 more$"
[ "$(output_lines mapped_far.txt | wc -l)" -eq 6 ] || fail "far points: $(output_lines mapped_far.txt)"

# Latitudes and longitudes given as xyz on both sides: mapped, with a warning
# that suggests the geodetic forms; control points of their own form stay silent.
blank_values des_control.txt >des_degrees.txt
run_tool --inputsrc "$(blank_values src_control.txt | sed 's/:[0-9.:]*//g')" \
  --inputdes "$(cat des_degrees.txt)" --outfile degrees.txt
expect_status 0
grep -Eq "^helmert7: warning: both sides look like latitude and longitude in degrees .*--srccoords geodetic:ELLIPSOID and --descoords geodetic:ELLIPSOID" stderr ||
  fail "degrees as xyz: no warning in $(cat stderr)"
run_tool --inputsrc "$(blank_values src_gk.txt)" --inputdes "$(blank_values des_gk.txt)" --outfile gk_xyz.txt
expect_status 0
[ ! -s stderr ] || fail "grid coordinates as xyz: warnings $(cat stderr)"


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
