#!/bin/bash
# SPDX-License-Identifier: MIT
# Makes the fixtures of tests/e2e/inverse.sh with the built tool and PROJ's cct
# (Debian's proj-bin), so that the test, also under Wine, checks the report's
# inverse transformation against cct without needing it. For each rotation model
# (small, exact), on the bundled example:
#   MODEL.strings   the PROJ strings of the report's inverse section, one a line
#   MODEL.N.cct     cct's mapping of the tool's mapped test points through string N
# Run after a change of the report's inverse section: ./make_fixtures.sh path/to/helmert7
set -euo pipefail
TOOL=$(realpath "$1")
cd "$(dirname "$0")"
command -v cct >/dev/null || { echo "cct missing: apt-get install proj-bin" >&2; exit 1; }
EXAMPLES=../../../../examples

for model in small exact; do
  scratch=$(mktemp -d)
  "$TOOL" --inputsrc "$(cat $EXAMPLES/source.txt)" --inputdes "$(cat $EXAMPLES/target.txt)" \
    --inputtest "$(cat $EXAMPLES/test.txt)" --rotation "$model" --outfile "$scratch/out.txt" \
    --reportfile "$scratch/report.txt" >/dev/null
  sed -n '/^## Inverse transformation/,/^$/p' "$scratch/report.txt" | grep '^+proj=' >"$model.strings"
  sed -n 's/^output=//p' "$scratch/out.txt" | tr ',' '\n' | paste -d' ' - - - >"$scratch/mapped.txt"
  n=0
  while read -r string; do
    n=$((n + 1))
    # shellcheck disable=SC2086 # the string's words are cct's arguments
    cct -d 10 $string <"$scratch/mapped.txt" | awk '{ print $1, $2, $3 }' >"$model.$n.cct"
  done <"$model.strings"
  rm -rf "$scratch"
done
wc -l ./*.strings ./*.cct
