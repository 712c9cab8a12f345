#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The argument echo and how value words bind to options, seen through the texts
# that the prediction report repeats and through the failures of missing texts.
source "$(dirname "$0")/lib.bash" "$@"

A="0,0,0, 100,0,0, 0,100,0, 0,0,100"
B="10,20,30, 110,20,30, 10,120,30, 10,20,130"
P="1,1,1"

# Every word is echoed as it is, percent signs and all, dropped words included.
run_tool "%s%n%d" --outfile r.txt --inputsrc "$A" --inputdes "$B" --inputtest "$P" "100%"
expect_status 0
head -n 10 stdout >echo
expect_text echo "%s%n%d"$'\n--outfile\nr.txt\n--inputsrc\n'"$A"$'\n--inputdes\n'"$B"$'\n--inputtest\n'"$P"$'\n100%\n'
grep -q '^source_points: $' stdout || fail "no trace after the echo"

# Options waiting together: the first value goes to the first in key order
# (--inputdes before --inputsrc), whatever the order on the command line.
run_tool --inputsrc --inputdes "$A" "$B" --inputtest "$P" --outfile r.txt
expect_status 0
grep -qx "src=$B" r.txt || fail "--inputsrc should have taken the second value"
grep -qx "des=$A" r.txt || fail "--inputdes should have taken the first value"

# --outfile and --inputtest waiting together: --inputtest comes first in key order.
run_tool --inputsrc "$A" --inputdes "$B" --outfile --inputtest r.txt "$P"
expect_status 255
expect_stderr_line "^helmert7: cannot read the test points \(--inputtest\): invalid stod argument: value 1 is \"r.txt\"$"

# A value with no option waiting is dropped.
run_tool "$A" --inputsrc "$B" --inputdes "$A" "$P" --outfile r.txt
expect_status 0
grep -qx "test=" r.txt && fail "a dropped word became the test text"
[ "$(head -c 5 r.txt)" = "args=" ] || fail "no test text, so the parameter report was expected"

# An option given again forgets its value.
run_tool --inputsrc "$A" --inputdes "$B" --inputsrc
expect_status 255
expect_stderr_line '^helmert7: no source points'
# ... and waits again: the next value word fills it before --outfile.
run_tool --inputsrc "$A" --inputsrc --inputdes "$B" --outfile r.txt
expect_status 255
expect_stderr_line '^helmert7: cannot read the source points \(--inputsrc\): invalid stod argument: value 1 is "r.txt"$'

# Option names are case-sensitive: --INPUTSRC is a value word with nowhere to go.
run_tool --INPUTSRC "$A" --inputdes "$B"
expect_status 255
expect_stderr_line '^helmert7: no source points'

# The texts are repeated as given, blanks and all; "output=" holds none.
run_tool --inputsrc "$A" --inputdes "$B" --inputtest " 1, 2 ,3 " --outfile r.txt
expect_status 0
grep -qx "test= 1, 2 ,3 " r.txt || fail "the test text was not repeated verbatim"
grep -q '^output=[^ ]*$' r.txt || fail "blanks in output="

finish
