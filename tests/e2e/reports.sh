#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Both reports on the bundled example, byte for byte: the console trace (with the
# elapsed seconds masked) and the output file.
source "$(dirname "$0")/lib.bash" "$@"

run_tool --inputsrc "$SRC" --inputdes "$DES" --outfile parameters.txt
expect_status 0
expect_file stdout "$DATA/example_parameters.stdout"
expect_output_file parameters.txt "$DATA/example_parameters.txt"
expect_text stderr ""

# The elapsed time is the one line that differs between runs.
run_tool --inputsrc "$SRC" --inputdes "$DES" --inputtest "$TEST" --outfile prediction.txt
expect_status 0
elapsed=$'^\xCF\xFB\xBA\xC4\xCA\xB1\xBC\xE4: '
LC_ALL=C grep -aEq "$elapsed"'[0-9.e+-]+ s$' stdout || fail "no elapsed-time line"
LC_ALL=C sed -E "s/($elapsed)[0-9.e+-]+ s\$/\\1ELAPSED s/" stdout >trace
expect_file trace "$DATA/example_prediction.stdout"
expect_output_file prediction.txt "$DATA/example_prediction.txt"
expect_text stderr ""

# Without --outfile the report goes to out.txt beside the executable; a copy of
# the tool in a scratch folder keeps the build folder clean.
mkdir bin && cp "$TOOL" "bin/$EXE_NAME"
invoke "$SCRATCH/bin/$EXE_NAME" --inputsrc "$SRC" --inputdes "$DES" >/dev/null 2>&1 ||
  fail "default output path run failed"
expect_output_file bin/out.txt "$DATA/example_parameters.txt"

finish
