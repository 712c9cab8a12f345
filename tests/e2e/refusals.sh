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

# snapshot: every file here with its bytes, links as links; one cksum for all files.
snapshot() {
  {
    find . -maxdepth 1 -type l -printf '%p -> %l\n'
    find . -maxdepth 1 -type f ! -name stdout ! -name stderr ! -name 'snapshot.*' -exec cksum {} +
  } | LC_ALL=C sort
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
  # A link to a file not made yet names that file.
  ln -s rpt.txt dangling.txt
  refused "^helmert7: the report file 'rpt.txt' is the output file 'dangling.txt': $SAME" \
    --inputsrc "$A" --inputdes "$B" --outfile dangling.txt --reportfile rpt.txt
fi
# Standard input is the file the test points are read from.
if posix_only "a file given to Wine as standard input has no file identity there"; then
  printf '1 2 3\n' >stdin.xyz
  refused "^helmert7: the output file 'stdin.xyz' is the file standard input reads the test points from \(@-\)" \
    --inputsrc "$A" --inputdes "$B" --inputtest @- --outfile stdin.xyz <stdin.xyz
fi
if on_windows; then
  # Neither exists yet; Windows names ignore letter case.
  refused "^helmert7: the report file 'OUT-NEW.TXT' is the output file 'out-new.txt': $SAME" \
    --inputsrc "$A" --inputdes "$B" --outfile out-new.txt --reportfile OUT-NEW.TXT
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

# Configuration inputs are read once and whole: a line that the loader cannot take
# as it stands, for a key that gives a text, is refused with its file and line.
printf 'des = %s\nsrc = %s\n' "$B" "$(printf '1,%.0s' $(seq 16400))" >long.ini
refused '^helmert7: long.ini:2: a key or value too long to hold \(key src\); .*\(src = @points.csv\)$' \
  --inputfile long.ini --outfile out.txt
printf 'des = %s\nsrc = %s\n' "$B" "$(printf '1,%.0s' $(seq 17000))" >longer.ini
refused "^helmert7: longer.ini:2: a line longer than the loader's limit \(key src\)" \
  --inputfile longer.ini --outfile out.txt
printf 'src = %s\ndes = 10,20,30, 110,20,30, 10,120,30, 10,20,1\0003\n' "$A" >zero-byte.ini
refused '^helmert7: zero-byte.ini:2: a NUL byte inside a line \(key des\)' --inputfile zero-byte.ini --outfile out.txt
printf 'src = %s\ndes = 10,20,30, 110,20,30, 10,120,30, 10,20,13\r0\n' "$A" >cr.ini
refused "^helmert7: cr.ini:3: a line without '=' after des: a value must stand on one line" \
  --inputfile cr.ini --outfile out.txt
printf 'src = %s\ndes = %s\ntest = 1,2,3,\n4,5,6\n' "$A" "$B" >continued.ini
refused "^helmert7: continued.ini:4: a line without '=' after test" --inputfile continued.ini --outfile out.txt
if posix_only "/dev/zero is a POSIX device"; then
  refused "^helmert7: cannot read configuration file '/dev/zero': not a regular file or a pipe$" \
    --inputfile /dev/zero --outfile out.txt
fi

# ... and read right: a byte-order mark, CR-only line ends, a pipe read once.
printf '\xEF\xBB\xBFsrc = %s\rdes = %s\r' "$A" "$B" >bom.ini
run_tool --inputfile bom.ini --outfile bom.txt
expect_status 0
output_lines bom.txt | grep -q '^residual=' || fail "the byte-order mark or the CR line ends hid a key"
if posix_only "process substitution gives a pipe only on POSIX"; then
  invoke "$TOOL" --inputfile <(printf 'src = %s\ndes = %s\n' "$A" "$B") --outfile piped.txt >/dev/null 2>stderr
  STATUS=$?
  expect_status 0
  cmp -s piped.txt bom.txt || fail "a configuration read from a pipe gave another report"
fi

# A write that fails part-way leaves the old output file whole and no temporary
# file; the size limit is an error, not a signal that kills the run.
if posix_only "file-size limits are POSIX"; then
  MANY=$(for i in $(seq 40); do printf '%d.5,%d.25,%d.125,' "$i" "$i" "$i"; done)
  snapshot >snapshot.before
  (
    ulimit -f 1
    exec "$TOOL" --inputsrc "$A" --inputdes "$B" --inputtest "$MANY" --outfile out.txt >/dev/null 2>stderr
  )
  STATUS=$?
  expect_status 255
  expect_stderr_line "^helmert7: cannot write the output file 'out.txt': File too large$"
  snapshot >snapshot.after
  cmp -s snapshot.before snapshot.after || fail "a failed write changed the folder"

  # A report with two names is rewritten in place, before any rename: when it does
  # not fit, the output file was not replaced either.
  printf 'old report\n' >two-names.txt
  ln two-names.txt other-name.txt
  snapshot >snapshot.before
  (
    ulimit -f 4
    exec "$TOOL" --inputsrc "$A" --inputdes "$B" --inputtest "$MANY" --outfile out.txt \
      --reportfile two-names.txt >/dev/null 2>stderr
  )
  STATUS=$?
  expect_status 255
  expect_stderr_line "^helmert7: cannot write the report file 'two-names.txt': File too large$"
  snapshot >snapshot.after
  cmp -s snapshot.before snapshot.after || fail "a failed in-place rewrite changed the folder"
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
