#!/bin/bash
# SPDX-License-Identifier: MIT
# Makes the fixtures of tests/unit/geodesy with GeographicLib's command-line tools
# (Debian's geographiclib-tools), so that the tests, also under Wine, compare with
# an independent implementation without needing it:
#   geocentric.txt       name lat lon h X Y Z: geodetic points (exact) and CartConvert's X Y Z
#   geocentric_back.txt  the same columns: X Y Z (exact) and CartConvert -r's lat lon h
#   tmerc.txt            name k0 lon0 lat lon easting northing easting' northing':
#                        TransverseMercatorProj's exact projection, then its series
#                        (-s, Krueger to order n^6); no false easting or northing.
#                        Within a few degrees of the central meridian the two differ
#                        by up to 6 nm, more than the series' truncation (below 1e-12 m):
#                        the rounding errors of the exact projection's elliptic functions.
# and, as a second check with PROJ's cct (Debian's proj-bin), a file per point form:
#   forms.txt            form v1 v2 v3 X Y Z: a point's three values in the form and
#                        the geocentric X Y Z that cct's pipeline gives for them
# Points come from a fixed pseudo-random sequence, so the files only change when
# the tools do. Run from anywhere: ./make_fixtures.sh
set -euo pipefail
cd "$(dirname "$0")"
for tool in CartConvert TransverseMercatorProj cct; do
  command -v $tool >/dev/null || { echo "$tool missing: apt-get install geographiclib-tools" >&2; exit 1; }
done

ELLIPSOIDS="wgs84 6378137 298.257223563
krassovsky 6378245 298.3
iag1975 6378140 298.257
cgcs2000 6378137 298.257222101"

# awk with a Park-Miller generator (exact in doubles, the same in every awk).
random_awk() {
  awk -v seed="$1" "$2"'
    function uniform(lo, hi) { seed = (16807 * seed) % 2147483647; return lo + (hi - lo) * seed / 2147483647 }'
}

# Geodetic points: latitudes over -90..90 with the poles and the equator, all
# longitudes, heights from 10 km below to 10,000 km above the ellipsoid.
geodetic_points() {
  random_awk "$1" 'BEGIN {
    split("-90 -89.9999999 -45 0 0.000000001 45 89.9999999 90", lats, " ")
    split("-180 -90 0 90 179.9999999", lons, " ")
    split("-10000 0 10000000", heights, " ")
    if (ENVIRON["SPECIALS"] == 1)
      for (i = 1; i <= 8; i++) for (j = 1; j <= 5; j++) for (k = 1; k <= 3; k++)
        print lats[i], lons[j], heights[k]
    for (n = 0; n < 200; n++) {
      kind = n % 3
      h = kind == 0 ? uniform(-10000, 10000) : kind == 1 ? uniform(-10000, 100000) \
                    : exp(uniform(log(100000), log(10000000)))
      printf "%.9f %.9f %.4f\n", uniform(-90, 90), uniform(-180, 180), h
    }
  }'
}

# Geocentric points in every direction at 0.99 to 2.6 earth radii, and a few
# where the reverse has to take care: on the axis, on the equator, near the centre.
geocentric_points() {
  random_awk "$1" 'BEGIN {
    print "0 0 6356752.314"; print "0 0 -6356752.314"; print "6378137 0 0"; print "-6378137 0 0"
    print "10000 0 0"; print "0 20000 0.001"; print "30000 30000 -0.001"; print "1 1 1"
    print "0 0 0.001"; print "6378137 0 0.000000001"; print "0 -6400000 0"
    for (n = 0; n < 120; n++) {
      z = uniform(-1, 1); a = uniform(0, 6.283185307179586); r = uniform(6314000, 16400000)
      s = sqrt(1 - z * z)
      printf "%.4f %.4f %.4f\n", r * s * cos(a), r * s * sin(a), r * z
    }
  }'
}

# Longitude offsets from the central meridian up to 6 degrees (with the zone
# edges 1.5, 3 and 6), then 6 to 20 degrees; latitudes over -90..90.
grid_points() {
  LON0=$2 random_awk "$1" 'BEGIN {
    lon0 = ENVIRON["LON0"]
    split("-90 -60 0 0.0000001 30 89.9999 90", lats, " ")
    split("0 1.5 -1.5 3 -3 3.5 6 -6 20", offsets, " ")
    if (ENVIRON["SPECIALS"] == 1)
      for (i = 1; i <= 7; i++) for (j = 1; j <= 9; j++) print lats[i], lon0 + offsets[j]
    for (n = 0; n < 80; n++) {
      offset = n < 60 ? uniform(-6, 6) : uniform(6, 20) * (n % 2 ? 1 : -1)
      lon = lon0 + offset; if (lon >= 180) lon -= 360; if (lon < -180) lon += 360
      printf "%.9f %.9f\n", uniform(-90, 90), lon
    }
  }'
}

: > geocentric.txt; : > geocentric_back.txt; : > tmerc.txt
seed=1
while read -r name a rf; do
  specials=$([ "$name" = wgs84 ] && echo 1 || echo 0)
  seed=$((seed + 7919))
  points=$(SPECIALS=$specials geodetic_points $seed)
  paste -d' ' <(echo "$points") <(echo "$points" | CartConvert -e "$a" "1/$rf" -p 9) |
    sed "s/^/$name /" >> geocentric.txt
  seed=$((seed + 7919))
  points=$(geocentric_points $seed)
  paste -d' ' <(echo "$points" | CartConvert -r -e "$a" "1/$rf" -p 9) <(echo "$points") |
    sed "s/^/$name /" >> geocentric_back.txt
  for lon0 in 117 -75 177 3; do
    k0=$([ "$lon0" = -75 ] && echo 0.9996 || echo 1)
    specials=$([ "$name" = wgs84 ] && [ "$lon0" = 117 ] && echo 1 || echo 0)
    seed=$((seed + 7919))
    points=$(SPECIALS=$specials grid_points $seed "$lon0")
    project() { TransverseMercatorProj "$@" -e "$a" "1/$rf" -k "$k0" -l "$lon0" -p 9 | cut -d' ' -f1,2; }
    paste -d' ' <(echo "$points") <(echo "$points" | project) <(echo "$points" | project -s) |
      sed "s/^/$name $k0 $lon0 /" >> tmerc.txt
  done
done <<< "$ELLIPSOIDS"

# Grid points (zone numbers in front of the eastings where the form has them)
# spread 300 km either side of the central meridian, 0 to 8,000 km from the equator.
grid_values() {
  PREFIX=$2 SOUTH=$3 random_awk "$1" 'BEGIN {
    prefix = ENVIRON["PREFIX"]; south = ENVIRON["SOUTH"] == 1
    for (n = 0; n < 60; n++) {
      across = prefix + 500000 + uniform(-300000, 300000)
      along = south ? 10000000 - uniform(0, 8000000) : uniform(0, 8000000)
      printf "%.4f %.4f %.4f\n", along, across, uniform(-100, 3000)
    }
  }'
}

# form, ellipsoid of PROJ, zone prefix, south, pipeline from the values to geographic.
FORMS="gk3:iag1975|+a=6378140 +rf=298.257|39000000|0|+proj=tmerc +lon_0=117 +k=1 +x_0=39500000 +axis=neu
gk6:krassovsky|+ellps=krass|20000000|0|+proj=tmerc +lon_0=117 +k=1 +x_0=20500000 +axis=neu
gk:cgcs2000:114|+ellps=GRS80|0|0|+proj=tmerc +lon_0=114 +k=1 +x_0=500000 +axis=neu
utm:50N:wgs84|+ellps=WGS84|0|0|+proj=utm +zone=50 +axis=neu
utm:33S:wgs84|+ellps=WGS84|0|1|+proj=utm +zone=33 +south +axis=neu"
: > forms.txt
while IFS='|' read -r form ellipsoid prefix south projection; do
  seed=$((seed + 7919))
  grid=$(grid_values $seed "$prefix" "$south")
  points=$grid  # UTM's values are easting, northing: the grid's swapped
  [ "${form%%:*}" = utm ] && points=$(echo "$grid" | awk '{ print $2, $1, $3 }')
  paste -d' ' <(echo "$points") \
    <(echo "$grid" | cct -d 9 +proj=pipeline +step +inv $projection $ellipsoid \
      +step +proj=cart $ellipsoid | awk '{ print $1, $2, $3 }') | sed "s/^/$form /" >> forms.txt
done <<< "$FORMS"
# Every line whole: a tool that failed inside a pipe above leaves short lines.
awk '(FILENAME == "tmerc.txt" ? 9 : 7) != NF { print FILENAME ":" FNR ": short line" > "/dev/stderr"; bad = 1 } END { exit bad }' \
  geocentric.txt geocentric_back.txt tmerc.txt forms.txt
wc -lc geocentric.txt geocentric_back.txt tmerc.txt forms.txt
