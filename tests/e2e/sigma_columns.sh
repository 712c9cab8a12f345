#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Standard deviations as point-file columns: a target file whose sigma column
# repeats --dessigma's value writes the same output and report; per-point values
# and a source file's columns weigh; bad columns are refused with FILE:LINE before
# any file is written, and so is a side given both ways.
source "$(dirname "$0")/lib.bash" "$@"

printf 'name x y z\nA 0 0 0\nB 100 0 0\nC 0 100 0\nD 0 0 100\nE 50 50 50\nF 20 80 10\n' >src.txt
printf 'name x y z\nA 10 20 30.004\nB 110.002 20 30\nC 10 120 30.001\nD 10 20.003 130\nE 60 70 80\nF 30 100 40.002\n' >des.txt
# The target again with a sigma column and a remark after it, in CR LF lines.
awk 'NR == 1 { print $0 " sigma remark\r"; next } { print $0 " 0.003 pillar\r" }' des.txt >des_sigma.txt

run_tool --inputsrc @src.txt --inputdes @des.txt --dessigma 0.003 --outfile opt.txt --reportfile opt_r.txt
expect_status 0
run_tool --inputsrc @src.txt --inputdes @des_sigma.txt --outfile col.txt --reportfile col_r.txt
expect_status 0
expect_text stderr ""
cmp -s opt.txt col.txt || fail "the sigma column and --dessigma gave different outputs"
cmp -s opt_r.txt col_r.txt || fail "the sigma column and --dessigma gave different reports"
grep -q '^## Weighted adjustment' col_r.txt || fail "the report has no weighted section"

# Unequal values per point move the parameters; the source's columns weigh too.
awk 'NR == 1 { print $0 " sx sy sz"; next } { s = NR == 3 ? 0.05 : 0.002; print $0, s, s, s }' des.txt >des_xyz.txt
run_tool --inputsrc @src.txt --inputdes @des_xyz.txt --outfile unequal.txt
expect_status 0
[ "$(head -1 unequal.txt)" != "$(head -1 opt.txt)" ] || fail "unequal column values changed nothing"
# (Equal values on both sides would leave them as they are: unequal ones here.)
awk 'NR == 1 { print $0 ",SIGMA"; next } { print $0 "," (NR == 5 ? 0.04 : 0.002) }' src.txt |
  tr ' ' ',' >src_sigma.csv
run_tool --inputsrc @src_sigma.csv --inputdes @des_sigma.txt --outfile both.txt
expect_status 0
[ "$(head -1 both.txt)" != "$(head -1 col.txt)" ] || fail "the source's columns changed nothing"

# Refusals: each with its file and line, or the sides' origins, and no file written.
printf 'name x y z sigma\nA 0 0 0 0.01\nB 100 0 0 0\n' >zero.txt
printf 'name x y z sigma\nA 0 0 0 0.01\nB 100 0 0\n' >missing.txt
printf 'name x y z sx sy\nA 0 0 0 1 1\n' >partial.txt
printf 'name x y z sn se su\nA 10 20 30.004 1 1 1\nB 110.002 20 30 1 1 1\nC 10 120 30.001 1 1 1\n' >local.txt
while IFS='|' read -r pattern file option value; do
  expect_refused_before_report "^helmert7: $pattern" --inputsrc @src.txt --inputdes "@$file" \
    ${option:+"$option" "$value"}
done <<'TABLE'
zero.txt:3: '0' is no standard deviation \(sigma\): it must be a positive, finite number of metres$|zero.txt||
missing.txt:3: no standard deviation in the column 'sigma' \(the header on line 1\): give one for every point of the file$|missing.txt||
partial.txt:1: the header names sx sy but not sz: standard deviations along axes come three together$|partial.txt||
the target point file 'des_sigma.txt' gives standard deviations in its columns sigma, and --dessigma gives them too: give a side's once$|des_sigma.txt|--dessigma|0.003
the target point file 'local.txt' gives standard deviations in its columns sn, se, su, along north, east and up, but its points are geocentric x, y, z|local.txt||
TABLE

finish
