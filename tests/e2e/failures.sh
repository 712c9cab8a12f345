#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every failure exit: status -1 (255), one line on stderr naming the cause and the
# input, the echo only on stdout when the run fails before the points, and the output
# file never created nor touched.
source "$(dirname "$0")/lib.bash" "$@"

GOOD_SRC="0,0,0, 100,0,0, 0,100,0, 0,0,100"
GOOD_DES="10,20,30, 110,20,30, 10,120,30, 10,20,130"

# expect_refused PATTERN ARGS...: the run fails before the report with PATTERN on
# stderr and leaves a pre-existing output file byte for byte.
expect_refused() {
  local pattern=$1
  shift
  printf 'old report\r\n' >report.txt
  run_tool --outfile report.txt "$@"
  expect_status 255
  expect_stderr_line "$pattern"
  expect_text report.txt $'old report\r\n'
}

# No arguments: nothing printed on stdout.
run_tool
expect_status 255
expect_text stdout ""
expect_stderr_line '^helmert7: no source points: give them as --inputsrc'

expect_refused '^helmert7: no source points' --inputdes "$GOOD_DES"
expect_text stdout $'--outfile\nreport.txt\n--inputdes\n'"$GOOD_DES"$'\n'
expect_refused '^helmert7: no target points: give them as --inputdes' --inputsrc "$GOOD_SRC"

expect_refused '^helmert7: cannot read the source points \(--inputsrc\): invalid stod argument: value 3 is "abc"$' \
  --inputsrc "1,2,abc" --inputdes "$GOOD_DES"
expect_refused '^helmert7: cannot read the target points \(--inputdes\): invalid stod argument: value 2 is ""$' \
  --inputsrc "$GOOD_SRC" --inputdes "1,,2"
expect_refused '^helmert7: cannot read the test points \(--inputtest\): stod argument out of range: value 1 is "1e999"$' \
  --inputsrc "$GOOD_SRC" --inputdes "$GOOD_DES" --inputtest "1e999,0,0"

expect_refused '^helmert7: the source text gives 4 points but the target text gives 3 points; every source point needs its target point$' \
  --inputsrc "$GOOD_SRC" --inputdes "10,20,30, 110,20,30, 10,120,30"
expect_refused '^helmert7: 2 common points are too few' \
  --inputsrc "0,0,0,1,1,1" --inputdes "0,0,0,1,1,1"
expect_refused '^helmert7: 0 common points are too few.*the source text gives 0 values and the target text 0 values$' \
  --inputsrc "   " --inputdes "  "
# Blank-separated values run together into one number.
expect_refused '^helmert7: 0 common points are too few.*the source text gives 1 value and the target text 1 value; separate the values with commas, not blanks$' \
  --inputsrc "0 0 0 100 0 0 0 100 0 0 0 100" --inputdes "10 20 30 110 20 30 10 120 30 10 20 130"
expect_refused '^helmert7: the source text gives 0 points but the target text gives 4 points; every source point needs its target point; separate the values with commas, not blanks$' \
  --inputsrc "0 0 0 100 0 0 0 100 0 0 0 100" --inputdes "$GOOD_DES"
# One point per line without a comma at the line ends.
expect_refused '^helmert7: cannot read the source points \(--inputsrc\): invalid stod argument: value 3 is "0\\n100": separate the values with commas, also at the end of a line$' \
  --inputsrc $'0,0,0\n100,0,0\n0,100,0\n0,0,100' --inputdes "$GOOD_DES"

# Degenerate geometry and non-finite values are refused by the adjustment, after the
# trace of the points.
expect_refused 'collinear' --inputsrc "0,0,0, 1,1,1, 2,2,2, 3,3,3" --inputdes "0,0,0, 1,1,1, 2,2,2, 3,3,3"
grep -q '^source_points: $' stdout || fail "the points were not printed before the refusal"
expect_refused 'coincident' --inputsrc "5,5,5, 5,5,5, 5,5,5" --inputdes "1,2,3, 1,2,3, 1,2,3"
expect_refused 'source point 1 has a NaN or infinite coordinate' --inputsrc "nan,0,0, 100,0,0, 0,100,0, 0,0,100" --inputdes "$GOOD_DES"
expect_refused 'point 1 maps to a non-finite coordinate' --inputsrc "$GOOD_SRC" --inputdes "$GOOD_DES" --inputtest "inf,0,0"

# At 1e9 m the corrections jitter at the rounding floor, far above 1e-10: the
# adjustment stops when they no longer shrink, instead of running 500 iterations.
run_tool --outfile huge.txt --inputsrc "0,0,0, 1e9,0,0, 0,1e9,0, 0,0,1e9, 1e9,1e9,1e9" \
  --inputdes "0,0,1, 1e9,0,2, 0,1e9,0, 3,0,1e9, 1e9,1e9,1e9"
expect_status 0
[ "$(grep -c '^Args$' stdout)" -le 10 ] || fail "the huge network took $(grep -c '^Args$' stdout) iterations"

# An output file that cannot be written fails after the console lines.
run_tool --inputsrc "$GOOD_SRC" --inputdes "$GOOD_DES" --inputtest "1,2,3" --outfile missing/report.txt
expect_status 255
expect_stderr_line "^helmert7: cannot write the output file 'missing/report.txt': No such file or directory$"
grep -aq $'^\xCF\xFB\xBA\xC4\xCA\xB1\xBC\xE4: .* s$' stdout || fail "the elapsed-time line is missing"
expect_absent missing

# An explicit empty output path names no file.
run_tool --inputsrc "$GOOD_SRC" --inputdes "$GOOD_DES" --outfile ""
expect_status 255
expect_stderr_line "^helmert7: cannot write the output file '': No such file or directory$"

finish
