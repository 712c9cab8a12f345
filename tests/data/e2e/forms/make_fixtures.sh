#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the fixtures of tests/e2e/coordinate_forms.sh that run without PROJ (as
# under Wine): a Xi'an 1980 network (IAG 1975) mapped to CGCS2000 by a known
# Helmert transformation with PROJ's cct, as geodetic point files in d:m:s and
# decimal degrees, the streamed output expected of the test points, and grid
# points far from their central meridian. Run it from its folder; commit what it
# writes.
set -eu
command -v cct >/dev/null || { echo "needs cct (Debian proj-bin)" >&2; exit 1; }

IAG75="+a=6378140 +rf=298.257"
GRS80="+ellps=GRS80"
HELMERT="+proj=helmert +x=-120.5 +y=80.2 +z=60.7 +rx=1.2 +ry=-0.8 +rz=2.1 +s=2.5 +convention=coordinate_frame"
# name latitude longitude height (IAG 1975); two decimals of a degree are whole seconds
CONTROL="P1 34.11 108.52 412.30
P2 34.02 109.31 398.72
P3 34.63 108.77 520.14
P4 34.48 109.12 455.05
P5 34.39 108.41 610.88
P6 34.29 109.40 377.61"
TEST="T1 34.27 108.95 402.00
T2 34.50 109.02 480.50
T3 34.21 108.63 505.25"

# mapped: latitude longitude height on CGCS2000 (GRS80), 12 decimals, a line a point
mapped() {
  awk '{ print $3, $2, $4 }' | cct -d 12 +proj=pipeline +step +proj=cart $IAG75 +step $HELMERT \
    +step +inv +proj=cart $GRS80 | awk '{ print $2, $1, $3 }'
}
# "34:06:36.000000" of decimal degrees, seconds to 6 decimals as the tool writes them
dms='function dms(d,   s, t) { s = d < 0 ? "-" : ""; t = int((d < 0 ? -d : d) * 3600e6 + 0.5)
  return sprintf("%s%d:%02d:%02d.%06d", s, int(t / 3600e6), int(t % 3600e6 / 60e6),
                 int(t % 60e6 / 1e6), t % 1e6) }'

# The control points: the source in d:m:s (two as decimals), the target decimal.
{ echo "# Xi'an 1980 control, IAG 1975: name latitude longitude height"
  echo "$CONTROL" | awk "$dms"' { if (NR > 4) print; else print $1, dms($2), dms($3), $4 }'
} >src_control.txt
echo "$CONTROL" | mapped | paste -d' ' <(echo "$CONTROL" | cut -d' ' -f1) - >des_control.txt

# The test points: T1 and T3 in d:m:s with a remark, T2 decimal, a comment between.
echo "$TEST" | awk "$dms"' NR == 2 { print "# checked twice"; print $1 "," $2 "," $3 "," $4; next }
  { print $1 "," dms($2) "," dms($3) "," $4 ",pillar " NR }' >test_geodetic.txt
# What the tool writes: each line's angles in its own latitude's style, heights %f.
echo "$TEST" | mapped | awk "$dms"' NR == 2 { print "# checked twice"
    printf "T2,%.10f,%.10f,%f\n", $1, $2, $3; next }
  { printf "T%d,%s,%s,%f,pillar %d\n", NR, dms($1), dms($2), $3, NR }' >test_geodetic_expected.txt

# The control points in 3-degree Gauss-Krueger coordinates of zone 36 (central
# meridian 108), x north, y east with the zone in front, both sides.
ZONE36="+proj=tmerc +lon_0=108 +k=1 +x_0=36500000 +axis=neu"
echo "$CONTROL" | awk '{ print $3, $2, $4 }' | cct -d 6 +proj=pipeline +step $ZONE36 $IAG75 |
  awk '{ printf "P%d %s %s %s\n", NR, $1, $2, $3 }' >src_gk.txt
echo "$CONTROL" | awk '{ print $3, $2, $4 }' | cct -d 6 +proj=pipeline +step +proj=cart $IAG75 \
  +step $HELMERT +step +inv +proj=cart $GRS80 +step $ZONE36 $GRS80 |
  awk '{ printf "P%d %s %s %s\n", NR, $1, $2, $3 }' >des_gk.txt

# Test points of zone 36: five 4 to 4.4 degrees east of its meridian, one near it.
printf '34.30 %s 400\n' 108.2 112.0 112.1 112.2 112.3 112.4 |
  awk '{ print $2, $1, $3 }' |
  cct -d 4 +proj=pipeline +step $ZONE36 $IAG75 |
  awk '{ printf "F%d %s %s %s\n", NR, $1, $2, $3 }' >far_gk.txt
