#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fits that are plainly wrong are refused, not reported: points paired by position
# that are not the same points. Every input is opened before the trace starts, and
# streamed test points get the spread of their standard errors in the report.
source "$(dirname "$0")/lib.bash" "$@"

cp "$EXAMPLES/control_old.csv" "$EXAMPLES/control_new.csv" "$EXAMPLES/points.txt" .
# The target file without its names, in its own order: paired by position.
cut -d, -f2- control_new.csv | tail -n +2 >unnamed.csv
expect_refused_before_report "^helmert7: the source and target points do not belong together: sigma0 is .*% of the network's extent .* they were paired by position \(the i-th source point with the i-th target point\)" \
  --inputsrc @control_old.csv --inputdes @unnamed.csv
# Named on both sides they pair by name and fit.
run_tool --inputsrc @control_old.csv --inputdes @control_new.csv --outfile named.txt
expect_status 0

# Mapping the control points themselves, a usual check, reads one file twice: no
# hazard, so no refusal; an output that names an input still is one.
run_tool --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @control_old.csv \
  --outfile self.txt
expect_status 0
expect_refused_before_report "^helmert7: the output file 'control_old.csv' is the source point file 'control_old.csv': " \
  --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @control_old.csv \
  --outfile control_old.csv

# A missing test point file is named before any matrix of the trace.
run_tool --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @missing.txt \
  --outfile never.txt
expect_status 255
expect_stderr_line "^helmert7: cannot read the test point file 'missing.txt': No such file or directory$"
grep -q 'source_points' stdout && fail "the trace began before the test point file was opened"
expect_absent never.txt

# Streamed test points: the largest, median and smallest standard error, and where.
run_tool --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @points.txt \
  --outfile mapped.txt --reportfile report.txt
expect_status 0
output_lines report.txt >report.lf
grep -Eq '^3-D standard errors sqrt\(sX\^2 \+ sY\^2 \+ sZ\^2\) of the mapped points: largest [0-9.]+ \(point [123] of the file, named T[123]\), median [0-9.]+, smallest [0-9.]+$' report.lf ||
  fail "no spread of the streamed points' errors: $(grep -A2 '^## Predicted' report.lf)"

finish
