#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs that would lose a file or misread their input are refused: one line on
# stderr, status -1 (255), and every file of the scratch folder as it was, byte for
# byte. Each row: the message's pattern, then the words of the run.
source "$(dirname "$0")/lib.bash" "$@"

A="0,0,0, 100,0,0, 0,100,0, 0,0,100"
B="10,20,30, 110,20,30, 10,120,30, 10,20,130"

printf 'src = %s\ndes = %s\n' "$A" "$B" >p.ini
printf 'old output\n' >out.txt
printf 'old report\n' >report.txt

# snapshot: every file here with its bytes, links as links.
snapshot() {
  find . -maxdepth 1 \( -type f -o -type l \) ! -name stdout ! -name stderr ! -name 'snapshot.*' |
    LC_ALL=C sort | while read -r f; do
      if [ -L "$f" ]; then echo "$f -> $(readlink "$f")"; else echo "$f $(cksum <"$f")"; fi
    done
}

# refused PATTERN ARGS...: the run fails with PATTERN and leaves every file alone.
refused() {
  local pattern=$1
  shift
  snapshot >snapshot.before
  run_tool "$@"
  expect_status 255
  expect_stderr_line "$pattern"
  snapshot >snapshot.after
  cmp -s snapshot.before snapshot.after || fail "files changed by: $*"
}

SAME="a run never writes over its own input or one output over another"
refused "^helmert7: the output file 'p.ini' is the configuration file 'p.ini': $SAME" \
  --inputfile p.ini --outfile p.ini
refused "^helmert7: the report file './p.ini' is the configuration file 'p.ini': $SAME" \
  --inputfile p.ini --outfile new.txt --reportfile ./p.ini
refused "^helmert7: the report file 'out.txt' is the output file 'out.txt': $SAME" \
  --inputsrc "$A" --inputdes "$B" --outfile out.txt --reportfile out.txt
if posix_only "links: Wine makes no symbolic links"; then
  ln -s p.ini link.ini
  ln p.ini hard.ini
  refused "^helmert7: the output file 'link.ini' is the configuration file 'p.ini': $SAME" \
    --inputfile p.ini --outfile link.ini
  refused "^helmert7: the report file 'hard.ini' is the configuration file 'p.ini': $SAME" \
    --inputfile p.ini --outfile new.txt --reportfile hard.ini
fi

# Options that no value word reached; an explicit empty word is a value.
refused '^helmert7: --inputtest needs a coordinate text after it$' --inputsrc "$A" --inputdes "$B" --inputtest
refused '^helmert7: --outfile needs the name of the output file after it$' --inputsrc "$A" --inputdes "$B" --outfile
refused '^helmert7: --inputfile needs the name of a configuration file after it$' --inputfile
refused "^helmert7: cannot write the output file '': " --inputsrc "$A" --inputdes "$B" --outfile ""

# A value count that is no multiple of three lost or gained a value.
refused '^helmert7: the test text holds 8 values; a point is three values: one is missing or two are extra$' \
  --inputsrc "$A" --inputdes "$B" --inputtest "1,2,3,4,5,7,8,9" --outfile out.txt
refused '^helmert7: the target text holds 13 values; a point is three values: one is extra or two are missing$' \
  --inputsrc "$A" --inputdes "$B,7" --outfile out.txt
refused '^helmert7: the test text holds 4 values; a point is three values: one is extra or two are missing; separate the values with commas, not blanks$' \
  --inputsrc "$A" --inputdes "$B" --inputtest "1,2,3, 4 5" --outfile out.txt

# Tabs or blanks between numbers, and bytes that look like blanks.
refused '^helmert7: cannot read the source points \(--inputsrc\): invalid stod argument: value 1 is "4157222.543\\t664789.307": only white space may follow the number; separate the values with commas$' \
  --inputsrc $'4157222.543\t664789.307,1' --inputdes "$B" --outfile out.txt
if posix_only "argument bytes above 0x7F do not reach a Windows program unchanged under Wine"; then
  refused '^helmert7: cannot read the source points \(--inputsrc\): invalid stod argument: value 1 is "0\\xC2\\xA0"' \
    --inputsrc $'0\xC2\xA0,0,0, 100,0,0, 0,100,0, 0,0,100' --inputdes "$B" --outfile out.txt
fi

# Points so far apart that the normal matrix overflows are not called collinear.
refused '^helmert7: the normal matrix overflows: the common points lie too far apart for double precision' \
  --inputsrc "0,0,0, 1e160,0,0, 0,1e160,0, 0,0,1e160" --inputdes "1,0,0, 1.1e160,0,0, 0,1e160,0, 0,0,1e160" \
  --outfile out.txt

# A trace that cannot reach standard output fails the run, after the files.
if posix_only "/dev/full is a Linux device"; then
  invoke "$TOOL" --inputsrc "$A" --inputdes "$B" --inputtest "1,2,3" --outfile traced.txt >/dev/full 2>stderr
  STATUS=$?
  expect_status 255
  expect_stderr_line '^helmert7: cannot write the trace to standard output \(closed or full\)$'
  [ -s traced.txt ] || fail "the output file was not written before the trace failed"
fi

# Undefined figures are explained, never printed as NaN or infinity.
run_tool --inputsrc "$A" --inputdes "$B" --inputtest "1e200,0,0" --outfile exact.txt --reportfile exact-report.txt
expect_status 0
output_lines exact-report.txt >exact.lf
grep -Eiq '(^| )-?(nan|inf)( |$)' exact.lf && fail "the report of an exact fit holds NaN or infinity"
grep -qx 'sigma0 is 0: the points fit exactly; no correlations' exact.lf || fail "no reason for the missing correlations"
grep -qx 'sigma0 is 0: the points fit exactly; no standardized residuals' exact.lf || fail "no reason for the missing w"
run_tool --inputsrc "$A" --inputdes "10,20,30, 110,20,30, 10,120,30.01, 10,20,130" \
  --inputtest "1,2,3, 1e200,0,0" --outfile far.txt --reportfile far-report.txt
expect_status 0
output_lines far-report.txt >far.lf
grep -Eiq '(^| )-?(nan|inf)( |$)' far.lf && fail "the report of a far point holds NaN or infinity"
grep -qx 'no standard errors for point 2: too far from the network for its errors to be propagated in double precision' far.lf ||
  fail "no reason for the missing errors"

finish
