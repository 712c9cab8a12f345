#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# --direction: inverse maps the forward run's mapped test points back into the
# source system, giving the example's test points to 1e-6 m, for both rotation
# models; forward is the run without the option, byte for byte; refusals.
source "$(dirname "$0")/lib.bash" "$@"

tr ',' '\n' <<<"$TEST" | paste -d' ' - - - >test_points.txt
for model in small exact; do
  run_tool --inputsrc "$SRC" --inputdes "$DES" --inputtest "$TEST" --rotation "$model" \
    --outfile forward.txt
  expect_status 0
  mapped=$(output_lines forward.txt | sed -n 's/^output=//p')
  run_tool --inputsrc "$SRC" --inputdes "$DES" --inputtest "$mapped" --rotation "$model" \
    --direction inverse --outfile back.txt
  expect_status 0
  expect_text stderr ""
  output_lines back.txt | sed -n 's/^output=//p' | tr ',' '\n' | paste -d' ' - - - >back_points.txt
  expect_same_points "$model mapped back" test_points.txt back_points.txt
  cp stdout back.stdout
  run_tool --inputsrc "$SRC" --inputdes "$DES" --inputtest "$TEST" --rotation "$model" \
    --direction forward --outfile explicit.txt
  expect_status 0
  expect_file explicit.txt forward.txt
done

# Refused, each with one line and no output file.
while IFS='|' read -r words message; do
  read -r -a args <<<"$words"
  run_tool --inputsrc "$SRC" --inputdes "$DES" --inputtest "$TEST" "${args[@]}" --outfile refused.txt
  expect_status 255
  expect_stderr_line "^helmert7: $message\$"
  expect_absent refused.txt
done <<'CASES'
--direction back|--direction takes forward or inverse, not 'back'
--direction Inverse|--direction takes forward or inverse, not 'Inverse'
CASES

finish
