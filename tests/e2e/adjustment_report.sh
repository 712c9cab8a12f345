#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# --reportfile on the bundled example: the report byte for byte for a prediction
# and a parameter run, the usual outputs unchanged beside it, the report's three PROJ
# strings reproducing the tool's predictions through PROJ's cct to 1e-6 m, and the
# report file following the rules of the output file on failure.
source "$(dirname "$0")/lib.bash" "$@"

command -v cct >/dev/null || { fail "cct (Debian proj-bin) is not installed"; finish; }

run_tool --inputsrc "$SRC" --inputdes "$DES" --inputtest "$TEST" --outfile prediction.txt \
  --reportfile report.txt
expect_status 0
expect_text stderr ""
expect_output_file prediction.txt "$DATA/example_prediction.txt"
expect_output_file report.txt "$DATA/example_report_prediction.txt"
output_lines report.txt >report.lf

run_tool --inputsrc "$SRC" --inputdes "$DES" --outfile parameters.txt --reportfile p-report.txt
expect_status 0
expect_text stderr ""
expect_output_file parameters.txt "$DATA/example_parameters.txt"
expect_output_file p-report.txt "$DATA/example_report_parameters.txt"

output_lines prediction.txt | sed -n 's/^output=//p' | tr ',' '\n' | paste -d' ' - - - >tool.txt
strings=0
while read -r -a pipeline; do
  strings=$((strings + 1))
  tr ',' '\n' <<<"$TEST" | paste -d' ' - - - | cct -d 7 "${pipeline[@]}" >cct.txt ||
    fail "cct refused ${pipeline[*]}"
  expect_same_points "${pipeline[0]}" tool.txt cct.txt
done < <(sed '/^## Inverse transformation/,/^$/d' report.lf | grep '^+proj=')
[ "$strings" -eq 3 ] || fail "expected three PROJ strings, found $strings"

# A report that cannot be written fails the run, and then no file is written: the
# output file is put in place only with the report.
run_tool --inputsrc "$SRC" --inputdes "$DES" --outfile unwritten.txt --reportfile missing/r.txt
expect_status 255
expect_stderr_line "^helmert7: cannot write the report file 'missing/r.txt': No such file or directory$"
expect_absent unwritten.txt

# A run that fails before its report creates no report file; a report needs a name.
run_tool --inputsrc "1,2,x" --inputdes "$DES" --outfile p.txt --reportfile early.txt
expect_status 255
expect_absent early.txt
run_tool --inputsrc "$SRC" --inputdes "$DES" --reportfile
expect_status 255
expect_stderr_line '^helmert7: --reportfile needs the name of the report file after it$'

finish
