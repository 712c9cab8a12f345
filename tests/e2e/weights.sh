#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A priori standard deviations: --srcsigma and --dessigma or the configuration's
# srcsigma and dessigma weigh the fit; equal weights on the target give the
# unweighted parameters; sigmas that cannot weigh are refused before any file is
# written.
source "$(dirname "$0")/lib.bash" "$@"

A="0,0,0, 100,0,0, 0,100,0, 0,0,100, 50,50,50"
B="10,20,30.004, 110.002,20,30, 10,120,30.001, 10,20.003,130, 60,70,80"
args_line() { output_lines "$1" | grep '^args='; }

run_tool --inputsrc "$A" --inputdes "$B" --outfile plain.txt
expect_status 0

# The same standard deviation for every target coordinate: the same parameters.
run_tool --inputsrc "$A" --inputdes "$B" --dessigma 0.003 --outfile equal.txt
expect_status 0
[ "$(args_line equal.txt)" = "$(args_line plain.txt)" ] ||
  fail "equal target weights changed the parameters: $(args_line equal.txt)"

# Unequal weights on both sides move them; the configuration gives the same run.
run_tool --inputsrc "$A" --inputdes "$B" --srcsigma 0.001,0.001,0.02 --dessigma 0.02,0.001,0.001 \
  --outfile both.txt
expect_status 0
expect_text stderr ""
[ "$(args_line both.txt)" != "$(args_line plain.txt)" ] || fail "weights on both sides changed nothing"
printf 'src=%s\ndes=%s\nsrcsigma=0.001,0.001,0.02\ndessigma = 0.02,0.001,0.001\n' "$A" "$B" >w.ini
run_tool --inputfile w.ini --outfile configured.txt
expect_status 0
[ "$(args_line configured.txt)" = "$(args_line both.txt)" ] ||
  fail "the configuration's sigmas gave $(args_line configured.txt)"

# The report gains the weighted section; a blunder of 4 cm in Z of the sixth
# point, against millimetres, is named on the console (with any neighbour that its
# smearing lifts over the critical value).
C="0,0,0, 100,0,0, 0,100,0, 0,0,100, 50,50,50, 20,80,10, 90,10,60"
D="10,20,30.004, 110.002,20,30, 10,120,30.001, 10,20.003,130, 60,70,80, 30,100,40.04, 100,30,90.002"
run_tool --inputsrc "$C" --inputdes "$D" --dessigma 0.003 --outfile w.txt --reportfile wr.txt
expect_status 0
to_lf wr.txt  # a report is a text file: CR LF on Windows
grep -q '^## Weighted adjustment: a priori standard deviations, variance factor 1' wr.txt ||
  fail "the report has no weighted section"
grep -q '^global test: .*: failed: the standard deviations are too optimistic, or a point holds a gross error$' wr.txt ||
  fail "the global test should fail with the blunder"
grep -Eq '^helmert7: warning: points? ([0-9]+, )*6(, [0-9]+)* may hold gross errors?' stderr ||
  fail "the console does not name point 6: $(cat stderr)"

# The whole weighted report, errors in both systems, as the golden file has it.
run_tool --inputsrc "$C" --inputdes "$D" --dessigma 0.003 --srcsigma 0.002 --outfile both.txt \
  --reportfile both-report.txt
expect_status 0
expect_output_file both-report.txt "$DATA/weighted_report.txt"

# Refusals, each naming where the value came from.
while IFS='|' read -r pattern option value; do
  expect_refused_before_report "^helmert7: $pattern" --inputsrc "$A" --inputdes "$B" "$option" "$value"
done <<'TABLE'
--dessigma: a standard deviation must be positive and finite, not '0'$|--dessigma|0
--dessigma: a standard deviation must be positive and finite, not '0.01,-0.01,0.01'$|--dessigma|0.01,-0.01,0.01
--dessigma: a standard deviation must be positive and finite, not 'inf'$|--dessigma|inf
--dessigma takes one standard deviation or three, comma-separated, in metres \(0.005 or 0.003,0.003,0.008\), not '1e999'$|--dessigma|1e999
--dessigma takes one standard deviation or three, comma-separated, in metres \(0.005 or 0.003,0.003,0.008\), not '0.01,0.02'$|--dessigma|0.01,0.02
--srcsigma takes one standard deviation or three|--srcsigma|fine
the source points' standard deviations \(--srcsigma\) need the target points' too|--srcsigma|0.01
TABLE
printf 'src=%s\ndes=%s\ndessigma=-1\n' "$A" "$B" >bad.ini
expect_refused_before_report "^helmert7: dessigma in 'bad.ini': a standard deviation must be positive" \
  --inputfile bad.ini

finish
