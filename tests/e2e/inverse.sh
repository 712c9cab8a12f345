#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The report's inverse transformation: its PROJ strings are those the fixtures
# were made with (tests/data/e2e/inverse/make_fixtures.sh), and cct's mapping of
# the mapped test points through each, kept there, gives back the example's test
# points to 0.1 mm, for both rotation models; the exact inverse has standard errors.
source "$(dirname "$0")/lib.bash" "$@"

FIXTURES=$DATA/inverse
tr ',' '\n' <<<"$TEST" | paste -d' ' - - - >test_points.txt

# within_tenth_mm LABEL FILE: FILE's three points are the test points to 1e-4 m.
within_tenth_mm() {
  local worst
  worst=$(paste test_points.txt "$2" | awk '{
    for (i = 1; i <= 3; i++) { d = $i - $(i + 3); if (d < 0) d = -d; if (d > w) w = d }
    n++ } END { if (n != 3) print "missing"; else printf "%.3g", w }')
  awk -v w="$worst" 'BEGIN { exit !(w != "missing" && w + 0 <= 1e-4) }' ||
    fail "$1: mapped back, the test points differ by $worst m"
}

# same_strings GIVEN EXPECTED: the same PROJ strings, each number within 1e-12 of
# its own size: the Windows build's libm rounds the angles' last bits otherwise.
same_strings() {
  local skeleton='s/-?\d+(\.\d+)?(e[-+]\d+)?/<n>/g'
  [ "$(perl -pe "$skeleton" "$1")" = "$(perl -pe "$skeleton" "$2")" ] || return 1
  paste -d'\n' <(grep -oE -- '-?[0-9]+(\.[0-9]+)?(e[-+][0-9]+)?' "$1") \
    <(grep -oE -- '-?[0-9]+(\.[0-9]+)?(e[-+][0-9]+)?' "$2") | paste - - | awk '{
      d = $1 - $2; if (d < 0) d = -d; s = $2 < 0 ? -$2 : $2
      if (d > 1e-12 * s + 1e-300) bad = 1 } END { exit bad }'
}

for model in small exact; do
  run_tool --inputsrc "$SRC" --inputdes "$DES" --inputtest "$TEST" --rotation "$model" \
    --outfile "$model.txt" --reportfile "$model.report"
  expect_status 0
  output_lines "$model.report" | sed -n '/^## Inverse transformation/,/^$/p' |
    grep '^+proj=' >"$model.strings"
  same_strings "$model.strings" "$FIXTURES/$model.strings" ||
    fail "$model: the inverse PROJ strings differ from $FIXTURES/$model.strings: $(cat "$model.strings")"
  count=$(wc -l <"$FIXTURES/$model.strings")
  [ "$count" -eq $([ "$model" = exact ] && echo 3 || echo 1) ] ||
    fail "$model: $count inverse PROJ strings"
  for n in $(seq "$count"); do within_tenth_mm "$model string $n" "$FIXTURES/$model.$n.cct"; done
done
# The exact inverse's parameters have standard errors; for a datum shift (turns of
# seconds, scale of ppm) they are the forward parameters' to well within 1%.
errors_after() {
  output_lines exact.report | sed -n "/^$1/,/^###/p" | sed -n 's/.*(standard error \([^ ]*\) .*/\1/p'
}
forward_errors=$(errors_after '### coordinate-frame convention$' | head -7)
inverse_errors=$(errors_after "### origin-based parameters, coordinate-frame convention: R'" | head -7)
[ "$(wc -l <<<"$inverse_errors")" -eq 7 ] || fail "the exact inverse has no standard errors"
paste <(echo "$forward_errors") <(echo "$inverse_errors") | awk '{
  d = $1 - $2; if (d < 0) d = -d; if (!($2 > 0) || d > 0.01 * $1) bad = 1 } END { exit bad }' ||
  fail "the exact inverse's standard errors $inverse_errors against the forward $forward_errors"
grep -q -- '+proj=affine ' small.strings || fail "the small model's inverse is not an affine"
grep -q -- '+convention=position_vector +exact' exact.strings ||
  fail "the exact model's inverse lacks the position-vector helmert"

finish
