#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A cct pipeline around the centred model (shift by -avesrc, helmert, shift by
# avetar), applied to the parameters and centroids that
# the tool reports, maps the example's test points to the tool's predictions within
# 1e-6 m: an independent check of the model, its convention and the mapping.
source "$(dirname "$0")/lib.bash" "$@"

command -v cct >/dev/null || { fail "cct (Debian proj-bin) is not installed"; finish; }

run_tool --inputsrc "$SRC" --inputdes "$DES" --outfile parameters.txt
expect_status 0
IFS=, read -r AX AY AZ < <(output_lines parameters.txt | sed -n 's/^avesrc=//p')
IFS=, read -r BX BY BZ < <(output_lines parameters.txt | sed -n 's/^avetar=//p')
# The final Args of the trace: the seven lines after the header and "[7 1 1 1]".
read -r TX TY TZ EX EY EZ M < <(LC_ALL=C awk -v header=$'\xC6\xDF\xB2\xCE\xCA\xFD\xCA\xE4\xB3\xF6: ' \
  '$0 == header { at = NR } at && NR >= at + 3 && NR <= at + 9 { printf "%s ", $1 } END { print "" }' stdout)
[ -n "$M" ] || fail "final parameters not found in the trace"

run_tool --inputsrc "$SRC" --inputdes "$DES" --inputtest "$TEST" --outfile prediction.txt
expect_status 0
output_lines prediction.txt | sed -n 's/^output=//p' | tr ',' '\n' | paste -d' ' - - - >tool.txt

ARCSEC=206264.80624709636
rx=$(awk -v v="$EX" -v a=$ARCSEC 'BEGIN { printf "%.15g", v * a }')
ry=$(awk -v v="$EY" -v a=$ARCSEC 'BEGIN { printf "%.15g", v * a }')
rz=$(awk -v v="$EZ" -v a=$ARCSEC 'BEGIN { printf "%.15g", v * a }')
ppm=$(awk -v v="$M" 'BEGIN { printf "%.15g", v * 1e6 }')
negated() { awk -v v="$1" 'BEGIN { printf "%.6f", -v }'; }

tr ',' '\n' <<<"$TEST" | paste -d' ' - - - |
  cct -d 7 +proj=pipeline \
    +step +proj=affine +xoff="$(negated "$AX")" +yoff="$(negated "$AY")" +zoff="$(negated "$AZ")" \
    +step +proj=helmert +x="$TX" +y="$TY" +z="$TZ" +rx="$rx" +ry="$ry" +rz="$rz" +s="$ppm" \
          +convention=coordinate_frame +approx \
    +step +proj=affine +xoff="$BX" +yoff="$BY" +zoff="$BZ" >cct.txt ||
  fail "cct failed"

[ "$(wc -l <tool.txt)" -eq 3 ] || fail "expected 3 predicted points"
expect_same_points "pipeline around the centred model" tool.txt cct.txt

finish
