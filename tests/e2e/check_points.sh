#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Check points: --exclude (or the configuration's exclude) leaves named common
# points out of the fit. The trace and the output file are those of a run on the
# other points alone; the report adds a section for the check points, and one that
# misses by more than 3 s is a warning. Names that cannot be checked are refused
# before any file is written.
source "$(dirname "$0")/lib.bash" "$@"

# Eight points 1 to 2 km apart near the Earth's surface; G's target height is 5 cm off.
cat >src.txt <<'POINTS'
A -2261902.100 5022909.500 3204351.300
B -2263000.250 5022100.750 3205210.400
C -2260500.600 5023800.200 3203700.900
D -2262700.800 5023500.100 3203000.550
E -2261100.350 5022300.450 3205400.700
F -2262300.900 5021900.300 3204900.200
G -2261500.150 5023200.850 3203900.650
H -2262100.400 5022600.600 3204500.350
POINTS
# The target file lists the points in another order: they pair by name.
cat >des.txt <<'POINTS'
H -2262082.880 5022736.001 3204598.449
G -2261482.629 5023336.246 3203998.790
A -2261884.576 5023044.900 3204449.396
B -2262982.738 5022236.177 3205308.515
C -2260483.066 5023935.580 3203798.964
D -2262683.293 5023635.504 3203098.645
E -2261082.820 5022435.843 3205498.798
F -2262283.386 5022035.710 3204998.308
POINTS
grep -v '^[DG] ' src.txt >src6.txt
grep -v '^[DG] ' des.txt >des6.txt

run_tool --inputsrc @src6.txt --inputdes @des6.txt --outfile kept.txt --trace brief
expect_status 0
cp stdout kept.stdout

run_tool --inputsrc @src.txt --inputdes @des.txt --outfile checked.txt --reportfile report.txt \
  --exclude "G, D" --trace brief
expect_status 0
expect_file stdout kept.stdout
expect_file checked.txt kept.txt
expect_text stderr "helmert7: warning: check point 'G' misses its target by 0.0564 m, more than 3 times its standard error 0.0061 m
"
output_lines report.txt | sed -n '/^## Check points/,/^$/p' >section.txt
cat >expected.txt <<'SECTION'
## Check points, left out of the fit: d = mapped source minus target (m)
test: |d| <= 3 s, s = sqrt(sX^2 + sY^2 + sZ^2) of d: the mapped point's covariance from the parameters' plus the target point's own, sigma0^2 on each axis
# point dx dy dz sX sY sZ |d| 3s
G 0.0037 -0.0035 -0.0562 0.0035 0.0036 0.0035 0.0564 0.0182 outside
D 0.0066 0.0003 -0.0052 0.0041 0.0052 0.0046 0.0084 0.0242
### in the target's local frame on grs80 (m): north, east, up
# point dn de du
G -0.0461 -0.0019 -0.0325
D -0.0032 -0.0062 -0.0047

SECTION
expect_file section.txt expected.txt
output_lines report.txt | grep -q "^common points: 6$" || fail "the report's summary counts the check points"

# The configuration's key replaces the option's value.
printf 'src = @src.txt\ndes = @des.txt\nexclude = G,D\n' >c.ini
run_tool --inputfile c.ini --exclude A --outfile configured.txt --reportfile configured_report.txt \
  --trace brief
expect_status 0
expect_file configured.txt kept.txt
expect_file configured_report.txt report.txt

# Without --exclude nothing is left out and no section is written.
run_tool --inputsrc @src.txt --inputdes @des.txt --outfile all.txt --reportfile all_report.txt
expect_status 0
! output_lines all_report.txt | grep -q "Check points" || fail "a check point section without --exclude"

A="0,0,0, 100,0,0, 0,100,0, 0,0,100, 50,50,50"
B="10,20,30, 110,20,30, 10,120,30, 10,20,130, 60,70,80"
expect_refused_before_report "^helmert7: --exclude names 'X', which is no common point of 'src.txt' and 'des.txt'$" \
  --inputsrc @src.txt --inputdes @des.txt --exclude A,X
printf 'src = @src.txt\ndes = @des.txt\nexclude = Q\n' >u.ini
expect_refused_before_report "^helmert7: exclude in 'u.ini' names 'Q'" \
  --inputfile u.ini --reportfile r.txt
expect_refused_before_report "^helmert7: --exclude leaves 2 of the 8 common points in the fit: the seven parameters need at least three$" \
  --inputsrc @src.txt --inputdes @des.txt --exclude A,B,C,D,E,F
expect_refused_before_report "^helmert7: --exclude names points, but only point files that both name their points pair them by name" \
  --inputsrc "$A" --inputdes "$B" --exclude 1

finish
