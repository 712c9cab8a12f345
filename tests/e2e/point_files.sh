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

# Every line ends as it stood: CR LF stays CR LF, and a last line without a line
# end gets none; LF lines are written in text mode, CR LF on Windows. A remark with
# commas after a point's z leaves the line a point.
perl -pe 's/\n/\r\n/' points.txt >crlf.txt
perl -pe 's/\n/\r\n/' expected.txt >expected-crlf.txt
perl -0pe 's/\n\z//' points.txt >no-end.txt
perl -0pe 's/\n\z//' expected.txt >expected-no-end.txt
sed 's/pillar/left,of,gate/' points.txt >remark.txt
sed 's/pillar/left,of,gate/' expected.txt >expected-remark.txt
for name in crlf no-end remark; do
  run_tool --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @$name.txt \
    --outfile mapped-$name.txt
  expect_status 0
done
expect_file mapped-crlf.txt expected-crlf.txt
expect_output_file mapped-no-end.txt expected-no-end.txt
expect_output_file mapped-remark.txt expected-remark.txt

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

# What is no file of points is named for what it is; memory stays bounded.
mkdir folder.csv
expect_refused_before_report "^helmert7: cannot read the source point file 'folder.csv': it is a directory, not a file of points$" \
  --inputsrc @folder.csv --inputdes @control_new.csv
: >empty.csv
expect_refused_before_report "^helmert7: empty.csv: the file holds no points$" \
  --inputsrc @control_old.csv --inputdes @empty.csv
printf '0,0,0,\n1,1,1,\n' >zeros.csv
expect_refused_before_report "^helmert7: zeros.csv:1: the z field is empty: the line ends in ','$" \
  --inputsrc @zeros.csv --inputdes @control_new.csv
perl -e 'print "A 1 2 3\nB 4 5 6 ", "x" x (1 << 20), "\n"' >long.txt
expect_refused_before_report "^helmert7: long.txt:2: the line is 1 MiB long or longer; a point line is short: is this a point file\?$" \
  --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @long.txt
if posix_only "/dev/zero is a POSIX device"; then
  expect_refused_before_report "^helmert7: cannot read the target point file '/dev/zero': it is a device, not a file of points$" \
    --inputsrc @control_old.csv --inputdes @/dev/zero
  invoke "$TOOL" --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @- \
    --outfile zero.txt </dev/zero >/dev/null 2>stderr
  STATUS=$?
  expect_status 255
  expect_stderr_line '^helmert7: standard input:1: the line is 1 MiB long or longer'
  expect_absent zero.txt
fi
if on_windows; then
  expect_refused_before_report "^helmert7: cannot read the target point file 'NUL': it is a device, not a file of points$" \
    --inputsrc @control_old.csv --inputdes @NUL
fi

finish
