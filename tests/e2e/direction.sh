#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# --direction: inverse maps the forward run's mapped test points back into the
# source system, giving the example's test points to 1e-6 m, for both rotation
# models; forward is the run without the option, byte for byte; with coordinate
# forms the test points are in the target's form and come back in the source's,
# from texts and streamed point files alike; the configuration key; refusals.
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

# expect_same_file_points LABEL GOT WANTED PLANE HEIGHT: two point files agree
# line by line, the first two values (d:m:s angles read as degrees) within PLANE,
# the third within HEIGHT, each angle in the same style (d:m:s or decimal), every
# other field byte for byte.
expect_same_file_points() {
  local differences
  differences=$(awk -F '[ ,]+' -v plane="$4" -v height="$5" '
    function value(field, parts) {
      if (split(field, parts, ":") != 3) return field + 0
      return parts[1] + (parts[1] ~ /^-/ ? -1 : 1) * (parts[2] / 60 + parts[3] / 3600)
    }
    function differs(got, wanted, tolerance, d) {
      if (got !~ /^-?[0-9][0-9:.]*$/) return got != wanted
      if ((index(got, ":") > 0) != (index(wanted, ":") > 0)) return 1
      d = value(got) - value(wanted)
      return d > tolerance || -d > tolerance
    }
    NR == FNR { wanted[FNR] = $0; next }
    {
      n = split(wanted[FNR], other, /[ ,]+/)
      bad = n != NF
      for (i = 1; i <= NF && !bad; i++)
        bad = differs($i, other[i], i == 4 ? height : i > 1 && i < 4 ? plane : 0)
      if (bad) print "line " FNR ": " $0 " against " wanted[FNR]
    }
    END { if (FNR != length(wanted)) print "line count" }' "$3" "$2")
  [ -z "$differences" ] || fail "$1: $differences"
}

# The standard errors of a point mapped back are those of the mapping back: with
# a target in millimetres and a source in metres they are a thousandth of the
# forward errors of the same point, in length.
awk 'BEGIN { srand(7); for (i = 0; i < 8; i++) {
  x = 900 * rand(); y = 900 * rand(); z = 90 * rand()
  source = source sprintf("%s%.3f,%.3f,%.3f", i ? "," : "", x, y, z)
  target = target sprintf("%s%.1f,%.1f,%.1f", i ? "," : "", 1000 * x + 10 + 60 * (rand() - 0.5),
                          1000 * y - 20 + 60 * (rand() - 0.5), 1000 * z + 30 + 60 * (rand() - 0.5)) }
  print source > "mm_source"; print target > "mm_target" }'
MM=(--inputsrc "$(cat mm_source)" --inputdes "$(cat mm_target)" --trace brief)
run_tool "${MM[@]}" --inputtest 150,-300,80 --outfile mm_forward.txt --reportfile mm_forward.report
expect_status 0
run_tool "${MM[@]}" --inputtest "$(output_lines mm_forward.txt | sed -n 's/^output=//p')" \
  --direction inverse --outfile mm_back.txt --reportfile mm_back.report
expect_status 0
error_length() {
  to_lf "$1"
  awk '/^## Predicted points/ { getline; getline; print sqrt($5 * $5 + $6 * $6 + $7 * $7) }' "$1"
}
awk -v forward="$(error_length mm_forward.report)" -v back="$(error_length mm_back.report)" \
  'BEGIN { ratio = forward / back; exit !(back > 0 && ratio > 980 && ratio < 1020) }' ||
  fail "errors mapped back $(error_length mm_back.report), forward $(error_length mm_forward.report)"

# Forms: each side's form is swapped for the test points, texts and point files.
cp "$DATA"/forms/*.txt .
GRID=(--inputsrc @src_gk.txt --inputdes @des_gk.txt --srccoords gk3:iag1975
  --descoords gk3:cgcs2000 --trace brief)
run_tool "${GRID[@]}" --inputtest @src_gk.txt --outfile grid_forward.txt
expect_status 0
run_tool "${GRID[@]}" --inputtest @grid_forward.txt --outfile grid_back.txt --direction inverse \
  --reportfile grid_back.report
expect_status 0
expect_text stderr ""
to_lf grid_back.report
grep -qx '## Predicted points mapped back from the target into the source system' grid_back.report ||
  fail "the report does not say that the streamed points were mapped back"
to_lf grid_back.txt
expect_same_file_points "grid point file mapped back" grid_back.txt src_gk.txt 2e-6 2e-6

GEODETIC=(--inputsrc @src_control.txt --inputdes @des_control.txt
  --srccoords geodetic:iag1975 --descoords geodetic:cgcs2000 --trace brief)
run_tool "${GEODETIC[@]}" --inputtest @test_geodetic_expected.txt --outfile geodetic_back.txt \
  --direction inverse
expect_status 0
to_lf geodetic_back.txt
# Each line keeps its latitude's style.
expect_same_file_points "d:m:s point file mapped back" geodetic_back.txt test_geodetic.txt 1e-9 2e-6

# Geodetic source, grid target: grid test points as a text come back as decimal
# degrees in the source's form, from the configuration key too.
MIXED=(--inputsrc @src_control.txt --inputdes @des_gk.txt --srccoords geodetic:iag1975
  --descoords gk3:cgcs2000)
grep -v '^#' des_gk.txt | awk '{ printf "%s%s,%s,%s", (NR > 1 ? "," : ""), $2, $3, $4 }' >grid_text
run_tool "${MIXED[@]}" --inputtest "$(cat grid_text)" --direction inverse --outfile mixed.txt \
  --reportfile mixed.report
expect_status 0
to_lf mixed.report
grep -qx '## Predicted points mapped back from the target into the source system (m) and their standard errors (m)' \
  mixed.report || fail "the report does not say that the points were mapped back"
output_lines mixed.txt | sed -n 's/^output=//p' | tr ',' '\n' | paste -d' ' - - - |
  awk '{ print "P" NR, $0 }' >mixed_points.txt
grep -v '^#' src_control.txt | awk '{
  for (i = 2; i <= 3; i++) { n = split($i, p, ":"); $i = sprintf("%.10f", p[1] + p[2] / 60 + p[3] / 3600) }
  print $1, $2, $3, sprintf("%f", $4) }' >src_decimal.txt
expect_same_file_points "grid text mapped back into geodetic" mixed_points.txt src_decimal.txt \
  1e-9 2e-6
printf 'direction=inverse\n' >inverse.ini
run_tool "${MIXED[@]}" --inputtest "$(cat grid_text)" --inputfile inverse.ini --outfile keyed.txt
expect_status 0
[ "$(output_lines keyed.txt | sed -n 's/^output=//p')" = \
  "$(output_lines mixed.txt | sed -n 's/^output=//p')" ] || fail "direction=inverse in a configuration file"
printf 'direction=back\n' >back.ini
run_tool "${MIXED[@]}" --inputtest "$(cat grid_text)" --inputfile back.ini --outfile refused.txt
expect_status 255
expect_stderr_line "^helmert7: direction in 'back.ini' takes forward or inverse, not 'back'\$"
expect_absent refused.txt

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
