#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Grid points streamed in several chunks, which two threads map: every line comes
# out as the same point mapped in a file of its own, the far points are described
# in file order, and the first failure in file order is the one reported.
source "$(dirname "$0")/lib.bash" "$@"

cp "$DATA"/forms/*.txt .
FORMS=(--inputsrc @src_gk.txt --inputdes @des_gk.txt --srccoords gk3:iag1975 --descoords gk3:cgcs2000)
# 10,000 points in zone 36, "G<i> x y h code" (three chunks of points).
awk 'BEGIN { for (i = 1; i <= 10000; i++)
  printf "G%d %.3f %.3f %.3f c%d\n", i, 3790000 + 90000 * sin(0.37 * i),
    36500000 + 110000 * cos(0.71 * i), 500 + 200 * sin(1.13 * i), i % 7 }' >grid.txt
# with_line FILE N TEXT: FILE with its line N replaced by TEXT.
with_line() { awk -v n="$2" -v t="$3" 'NR == n { print t; next } { print }' "$1"; }
far() { sed -n "$1p" far_gk.txt; }

# Far points on lines 9000, 3, 5000 and 7000: the first three in file order named.
with_line grid.txt 9000 "$(far 5)" | with_line - 3 "$(far 4)" | with_line - 5000 "$(far 2)" |
  with_line - 7000 "$(far 3)" >far.txt
run_tool "${FORMS[@]}" --inputtest @far.txt --outfile mapped.txt
expect_status 0
zone37='degrees from 108; it belongs in 3-degree zone 37'
expect_stderr_line "^helmert7: warning: 4 test points lie more than 3.5 degrees of longitude from the central meridian of gk3:iag1975, where the zone's distortion grows: far.txt:3 'F4' \(4.20 $zone37\), far.txt:5000 'F2' \(4.00 $zone37\), far.txt:7000 'F3' \(4.10 $zone37\) and 1 more$"
grep -aq " 10000 points -> mapped.txt$" stdout || fail "no count of 10000 points"

# The first and the last 3,000 lines (one chunk each) mapped on their own.
head -n 3000 far.txt >head.txt
tail -n 3000 far.txt >tail.txt
run_tool "${FORMS[@]}" --inputtest @head.txt --outfile mapped_head.txt
run_tool "${FORMS[@]}" --inputtest @tail.txt --outfile mapped_tail.txt
cmp -s <(output_lines mapped.txt | head -n 3000) <(output_lines mapped_head.txt) ||
  fail "the first 3,000 lines differ from the same points mapped alone"
cmp -s <(output_lines mapped.txt | tail -n 3000) <(output_lines mapped_tail.txt) ||
  fail "the last 3,000 lines differ from the same points mapped alone"

# Points without their zone on lines 6000 and 9500, and a bad number in a chunk
# before or after them (in the same chunk a line that cannot be read comes first,
# as it is read before the chunk is mapped): the first in file order fails the
# run, which leaves no output.
no_zone() { echo "Z$1 3790000.000 500000.000 500.000 c"; }
with_line grid.txt 6000 "$(no_zone 6000)" | with_line - 9500 "$(no_zone 9500)" >zones.txt
with_line zones.txt 9000 "B 3790000.000 36500000.000 x c" >zones_then_bad.txt
with_line zones.txt 2000 "B 3790000.000 36500000.000 x c" >bad_then_zones.txt
while IFS='|' read -r pattern file; do
  expect_refused_before_report "$pattern" "${FORMS[@]}" --inputtest "@$file"
done <<'CASES'
^helmert7: zones.txt:6000: the test point 6000 'Z6000': easting 500000\.000000 has no zone number in front|zones.txt
^helmert7: zones_then_bad.txt:6000: the test point 6000 'Z6000': easting 500000\.000000 has no zone number in front|zones_then_bad.txt
^helmert7: bad_then_zones.txt:2000: 'x' is not a number \(z\)$|bad_then_zones.txt
CASES

finish
