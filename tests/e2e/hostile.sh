#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Hostile input end to end: values the number grammar accepts but the adjustment
# must refuse, degenerate geometry, odd bytes, and output paths that cannot be
# written completely. Each failure is one line on stderr and status -1 (255); a
# failure before the report never creates the output file.
source "$(dirname "$0")/lib.bash" "$@"

A="0,0,0, 100,0,0, 0,100,0, 0,0,100"
B="10,20,30, 110,20,30, 10,120,30, 10,20,130"

expect_refused() { expect_refused_before_report "$@"; }

# Infinity and NaN parse as numbers; the adjustment refuses them by name.
expect_refused '^helmert7: target point 2 has a NaN or infinite coordinate' \
  --inputsrc "$A" --inputdes "10,20,30, -INF,20,30, 10,120,30, 10,20,130"
expect_refused '^helmert7: source point 4 has a NaN or infinite coordinate' \
  --inputsrc "0,0,0, 100,0,0, 0,100,0, 0,0,NaN" --inputdes "$B"

# Finite values whose centroid overflows.
expect_refused '^helmert7: the centroid of the source points overflows: the coordinates are too large$' \
  --inputsrc "1.7e308,0,0, 1.7e308,1,0, 1.7e308,0,1, 1.7e308,1,1" --inputdes "$B"

# Nearly collinear: within 1 cm of a line over 15 km is refused (reciprocal
# condition number about 5e-13), within 10 cm is accepted (about 5e-11).
expect_refused 'rank-deficient \(reciprocal condition number [0-9.e-]+, below 1e-12\): the common points are collinear' \
  --inputsrc "0,0,0, 1000,2000,3000, 2000,4000,6000.01, 3000,5999.99,9000, 4000,8000,12000" \
  --inputdes "0,0,0, 1000,2000,3000, 2000,4000,6000.01, 3000,5999.99,9000, 4000,8000,12000"
run_tool --outfile report.txt \
  --inputsrc "0,0,0, 1000,2000,3000, 2000,4000,6000.1, 3000,5999.9,9000, 4000,8000,12000" \
  --inputdes "0,0,0, 1000,2000,3000, 2000,4000,6000.1, 3000,5999.9,9000, 4000,8000,12000"
expect_status 0

# Bytes above 0x7F: echoed as they are, and quoted as they are in the message.
# A Windows program gets its words in the ANSI code page, and Wine here (no GBK
# locale) turns such bytes into '?' before main.
if posix_only "argument bytes above 0x7F do not reach a Windows program unchanged under Wine"; then
  expect_refused $'^helmert7: cannot read the source points \\(--inputsrc\\): invalid stod argument: value 3 is "\xB0\xE6"' \
    --inputsrc $'1,2,\xB0\xE6' --inputdes "$B"
  expect_refused $'^helmert7: the word \'\xC4\xE3\xBA\xC3\' is no option\'s value' \
    $'\xC4\xE3\xBA\xC3' --inputsrc "$A" --inputdes "$B"
  expect_text stdout $'--outfile\nreport.txt\n\xC4\xE3\xBA\xC3\n--inputsrc\n'"$A"$'\n--inputdes\n'"$B"$'\n'
fi
# Control bytes in a quoted text are escaped, so the message stays one line.
expect_refused '^helmert7: cannot read the source points \(--inputsrc\): invalid stod argument: value 2 is "\\nx"$' \
  --inputsrc $'1,\nx' --inputdes "$B"

# Output paths that cannot be written completely: the console lines still appear,
# then the run fails naming the path and the system's reason.
expect_unwritable() {
  local path=$1 reason=$2
  run_tool --inputsrc "$A" --inputdes "$B" --outfile "$path"
  expect_status 255
  expect_stderr_line "^helmert7: cannot write the output file '$path': $reason\$"
  LC_ALL=C grep -aq $'^\xC6\xDF\xB2\xCE\xCA\xFD\xCA\xE4\xB3\xF6: $' stdout ||
    fail "the trace stopped before the parameters"
}
mkdir folder
if on_windows; then
  expect_unwritable folder 'Permission denied'  # the C runtime's word for a directory there
else
  expect_unwritable folder 'Is a directory'
fi
if posix_only "/dev/full, a file-size limit and a vanished working directory are POSIX set-ups"; then
  expect_unwritable /dev/full 'No space left on device'

  # A file-size limit of 1 KiB stands in for a disk that fills up mid-write (root
  # ignores permissions, but not this); the signal it raises is ignored as a shell
  # would. Forty test points make a report of several KiB.
  MANY=$(for i in $(seq 40); do printf '%d.5,%d.25,%d.125,' "$i" "$i" "$i"; done)
  (
    trap '' XFSZ
    ulimit -f 1
    exec "$TOOL" --inputsrc "$A" --inputdes "$B" --inputtest "$MANY" --outfile limited.txt \
      >/dev/null 2>stderr
  )
  STATUS=$?
  expect_status 255
  expect_stderr_line "^helmert7: cannot write the output file 'limited.txt': File too large$"

  # The working directory vanishes before the run writes into it.
  mkdir gone
  (
    cd gone && rmdir ../gone &&
      "$TOOL" --inputsrc "$A" --inputdes "$B" --outfile out.txt >../stdout 2>../stderr
    echo $? >../status
  )
  STATUS=$(cat status)
  expect_status 255
  expect_stderr_line "^helmert7: cannot write the output file 'out.txt': No such file or directory$"
fi

finish
