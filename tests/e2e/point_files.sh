#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Point files end to end: the surveyor's job of examples/ in one command (names
# matched in any order, test points streamed with their names and codes), the same
# network inline and from files giving the same bytes, standard input, files named
# in a configuration file, and the refusals with FILE:LINE.
source "$(dirname "$0")/lib.bash" "$@"

# The example's texts as files of bare x y z lines.
tr ',' '\n' <<<"$SRC" | paste -d' ' - - - >source.xyz
tr ',' '\n' <<<"$DES" | paste -d' ' - - - >target.xyz
tr ',' '\n' <<<"$TEST" | paste -d' ' - - - >test.xyz

# The same network inline and from files: the same trace, output file and report.
run_tool --inputsrc "$SRC" --inputdes "$DES" --outfile out.txt --reportfile report.txt
mv stdout inline.stdout && mv out.txt inline.txt && mv report.txt inline-report.txt
run_tool --inputsrc @source.xyz --inputdes @target.xyz --outfile out.txt --reportfile report.txt
expect_status 0
expect_text stderr ""
sed 's/^@source.xyz$/'"$SRC"'/; s/^@target.xyz$/'"$DES"'/' stdout >files.stdout
expect_file files.stdout inline.stdout
expect_file out.txt inline.txt
expect_file report.txt inline-report.txt

# The job: named control points in two CSV files, the target file in another order,
# and named points to map with codes.
cp "$EXAMPLES/control_old.csv" "$EXAMPLES/control_new.csv" "$EXAMPLES/points.txt" .
printf 'P9,1,2,3\n' >>control_new.csv
run_tool --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @points.txt \
  --outfile mapped.txt --reportfile job-report.txt
expect_status 0
expect_text stderr "helmert7: warning: 1 target point has no source point: P9"$'\n'
sed -n 's/^output=//p' "$DATA/example_prediction.txt" | tr ',' '\n' | paste -d' ' - - - >expected.xyz
{
  echo '# points to map: name x y z code'
  paste -d' ' <(printf 'T1\nT2\nT3\n') expected.xyz <(printf 'pillar\nbolt\nmark\n')
} >expected.txt
expect_output_file mapped.txt expected.txt
LC_ALL=C grep -aq $'^\xC4\xA3\xD0\xCD\xD4\xA4\xB2\xE2\xBD\xE1\xB9\xFB: 3 points -> mapped.txt$' stdout ||
  fail "the console does not give the count and the path"
output_lines job-report.txt >job.lf
grep -q '^P8 0.0022 0.0020 -0.0033 0.89 0.87 -1.34$' job.lf || fail "the residual rows do not carry the names"
grep -qx "3 points mapped into the output file 'mapped.txt'" job.lf || fail "the report does not count the mapped points"
grep -qx 'warning: 1 target point has no source point: P9' job.lf || fail "the report does not list the warning"

# Test points from standard input.
invoke "$TOOL" --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @- \
  --outfile piped.txt <points.txt >/dev/null 2>stderr
STATUS=$?
expect_status 0
expect_output_file piped.txt expected.txt

# A configuration file names point files from its own folder.
mkdir site
cp control_old.csv control_new.csv site/
printf 'src = @control_old.csv\ndes = @control_new.csv\n' >site/job.ini
run_tool --inputfile site/job.ini --outfile from-ini.txt
expect_status 0
run_tool --inputsrc @control_old.csv --inputdes @control_new.csv --outfile direct.txt
expect_file from-ini.txt direct.txt

# Refusals: one line with file and line, and no output file at all, nor a
# temporary one, when a test point fails after others were written.
printf 'name,x,y,z\nP1,1,2,3\nP2,4,5\n' >bad.csv
expect_refused_before_report '^helmert7: bad.csv:3: expected name x y z, found 3 fields$' \
  --inputsrc @bad.csv --inputdes @control_new.csv
{ cat points.txt; printf 'T4 1 2 x\n'; } >late.txt
expect_refused_before_report '^helmert7: late.txt:5: .x. is not a number \(z\)$' \
  --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @late.txt
[ -z "$(find . -name '.helmert7-*')" ] || fail "a temporary file was left"
printf 'P1 1 2 3\nP2 4 5 6\nQ1 7 8 9\n' >few.txt
expect_refused_before_report "^helmert7: 2 names are common to 'control_old.csv' and 'few.txt': the seven parameters need at least three common points$" \
  --inputsrc @control_old.csv --inputdes @few.txt
expect_refused_before_report "^helmert7: the output file 'points.txt' is the test point file 'points.txt': " \
  --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @points.txt --outfile points.txt
expect_refused_before_report "^helmert7: cannot read the source point file 'missing.csv': No such file or directory$" \
  --inputsrc @missing.csv --inputdes @control_new.csv

finish
