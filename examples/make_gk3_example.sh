#!/bin/bash
# SPDX-License-Identifier: MIT
# Makes the Gauss-Krueger example with PROJ's cct (Debian's proj-bin): nine points
# around Xi'an, in Xi'an 1980 3-degree zone 36 (IAG 1975) and, through a known
# seven-parameter transformation between the geocentric systems, in CGCS2000 zone
# 36; six are control, three are points to map. Coordinates rounded to the mm.
set -euo pipefail
cd "$(dirname "$0")"
IAG75="+a=6378140 +rf=298.257"
GRS80="+ellps=GRS80"
ZONE36="+proj=tmerc +lon_0=108 +k=1 +x_0=36500000 +axis=neu"
HELMERT="+proj=helmert +x=-120.5 +y=80.2 +z=60.7 +rx=1.2 +ry=-0.8 +rz=2.1 +s=2.5"
GEODETIC="108.52 34.11 412.30
109.31 34.02 398.72
108.77 34.63 520.14
109.12 34.48 455.05
108.41 34.39 610.88
109.40 34.29 377.61
108.95 34.27 402.00
109.02 34.50 480.50
108.63 34.21 505.25"
xian=$(cct -d 3 +proj=pipeline +step $ZONE36 $IAG75 <<<"$GEODETIC")
cgcs=$(cct -d 3 +proj=pipeline +step +proj=cart $IAG75 \
  +step $HELMERT +convention=coordinate_frame +step +inv +proj=cart $GRS80 \
  +step $ZONE36 $GRS80 <<<"$GEODETIC")
named() { awk '{ printf "K%d %s %s %s\n", NR, $1, $2, $3 }'; }
{ echo "# Xi'an 1980 3-degree Gauss-Krueger zone 36 (IAG 1975): name x(north) y(east) h"
  head -n 6 <<<"$xian" | named; } >control_xian80_gk3.txt
{ echo "# CGCS2000 3-degree Gauss-Krueger zone 36: name x(north) y(east) h"
  head -n 6 <<<"$cgcs" | named; } >control_cgcs2000_gk3.txt
{ echo "# Xi'an 1980 points to map: name x y h code"
  tail -n 3 <<<"$xian" | awk '{ split("pillar bolt mark", code, " ")
    printf "T%d %s %s %s %s\n", NR, $1, $2, $3, code[NR] }'; } >points_xian80_gk3.txt
