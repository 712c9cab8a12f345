#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# --trace: full is the trace as it has always been; brief gives the counts, the
# parameters and sigma0 under the full trace's labels, and how many test points
# went where, with the same files written. How the option binds, and its refusals.
source "$(dirname "$0")/lib.bash" "$@"

LABEL_PARAMETERS=$'\xC6\xDF\xB2\xCE\xCA\xFD\xCA\xE4\xB3\xF6: '
LABEL_PREDICTION=$'\xC4\xA3\xD0\xCD\xD4\xA4\xB2\xE2\xBD\xE1\xB9\xFB: '
LABEL_SIGMA0=$'\xB5\xA5\xCE\xBB\xC8\xA8\xD6\xD0\xCE\xF3\xB2\xEE: '

# --trace full: the golden trace, with the two words in its echo.
run_tool --inputsrc "$SRC" --inputdes "$DES" --outfile parameters.txt --trace full
expect_status 0
sed '/^parameters\.txt$/a --trace\nfull' "$DATA/example_parameters.stdout" >expected
expect_file stdout expected
expect_output_file parameters.txt "$DATA/example_parameters.txt"

# The pieces of the brief trace, as the full traces show them: the final
# parameters (their label to the empty line after them) and sigma0.
LC_ALL=C sed -n "/^$LABEL_PARAMETERS\$/,\$p" "$DATA/example_parameters.stdout" >parameters.expected
LC_ALL=C grep -a "^$LABEL_SIGMA0" "$DATA/example_prediction.stdout" >sigma0.expected
[ "$(wc -l <parameters.expected)" -eq 11 ] && [ -s sigma0.expected ] || fail "no parameters or sigma0 in the golden traces"

# brief_trace COUNT [PREDICTION]: the brief trace of the example's COUNT common points.
brief_trace() {
  printf 'source_points: %s\ntarget_points: %s\n' "$1" "$1"
  cat parameters.expected sigma0.expected
  [ $# -lt 2 ] || printf '%s%s\n' "$LABEL_PREDICTION" "$2"
}

# A parameter run and a prediction run: no echo of the words, no matrix but the
# parameters, no elapsed time; the same output files as the full trace.
run_tool --trace brief --inputsrc "$SRC" --inputdes "$DES" --outfile parameters.txt
expect_status 0
expect_file stdout <(brief_trace 8)
expect_output_file parameters.txt "$DATA/example_parameters.txt"
expect_text stderr ""
run_tool --inputsrc "$SRC" --inputdes "$DES" --inputtest "$TEST" --outfile prediction.txt --trace brief
expect_status 0
expect_file stdout <(brief_trace 8 "3 points -> prediction.txt")
expect_output_file prediction.txt "$DATA/example_prediction.txt"
expect_text stderr ""

# Named point files: the common points are counted after they are matched by name,
# and the streamed test points are counted as in the full trace.
cp "$EXAMPLES/control_old.csv" "$EXAMPLES/control_new.csv" "$EXAMPLES/points.txt" .
run_tool --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @points.txt \
  --outfile mapped.txt --trace full
expect_status 0
cp mapped.txt mapped.full
run_tool --inputsrc @control_old.csv --inputdes @control_new.csv --inputtest @points.txt \
  --outfile mapped.txt --trace brief
expect_status 0
expect_file stdout <(brief_trace 8 "3 points -> mapped.txt")
expect_file mapped.txt mapped.full

# --trace binds by the rule of every option: with --outfile waiting too, the first
# value goes to --outfile, which comes first in key order.
expect_refused_before_report "^helmert7: --trace takes full or brief, not 'p.txt'$" \
  --inputsrc "$SRC" --inputdes "$DES" --trace --outfile brief p.txt
expect_absent brief
expect_refused_before_report "^helmert7: --trace takes full or brief, not 'BRIEF'$" \
  --inputsrc "$SRC" --inputdes "$DES" --trace BRIEF
expect_refused_before_report '^helmert7: --trace needs full or brief after it$' \
  --inputsrc "$SRC" --inputdes "$DES" --trace
# A refused run with --trace brief writes nothing to standard output.
expect_refused_before_report '^helmert7: no target points: ' --inputsrc "$SRC" --trace brief
expect_text stdout ""

finish
