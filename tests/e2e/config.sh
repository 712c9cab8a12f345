#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Coordinate texts from a configuration file named by --inputfile: found in the
# working directory or beside the executable, taking precedence over the command
# line, read from the empty section only; and the failures around it.
source "$(dirname "$0")/lib.bash" "$@"

A="0,0,0, 100,0,0, 0,100,0, 0,0,100"
B="10,20,30, 110,20,30, 10,120,30, 10,20,130"
C="5,5,5, 105,5,5, 5,105,5, 5,5,105"

# The same report as from the command line, from a file with a comment, CRLF line
# ends, keys in other cases and blanks around the values.
run_tool --inputsrc "$A" --inputdes "$B" --outfile expected.txt
expect_status 0
on_windows && to_lf expected.txt
printf '; points of the site survey\r\nSRC =  %s  \r\n\r\nDes=%s\r\n' "$A" "$B" >site.ini
run_tool --inputfile site.ini --outfile report.txt
expect_status 0
expect_text stderr ""
expect_output_file report.txt expected.txt

# SUB (0x1A) ends a line as its last byte, not the file, on every platform:
# Windows text mode would stop reading at it.
printf '# survey\x1a\nsrc=%s\ndes=%s\n' "$A" "$B" >sub.ini
run_tool --inputfile sub.ini --outfile report.txt
expect_status 0
expect_output_file report.txt expected.txt

# The file wins over the command line; a key it lacks leaves the command line's.
printf 'src=%s\ndes=%s\ntest=\n' "$A" "$B" >points.ini
run_tool --inputsrc "$C" --inputfile points.ini --inputtest "1,2,3" --outfile report.txt
expect_status 0
output_lines report.txt | grep -qx "src=$A" || fail "the configuration's src did not win"
output_lines report.txt | grep -qx "test=1,2,3" || fail "the command line's test text was not used"

# Beside the executable: a relative name not found here is looked up there.
mkdir bin elsewhere
cp "$TOOL" "bin/$EXE_NAME"
printf 'src=%s\ndes=%s\n' "$A" "$B" >bin/beside.ini
(cd elsewhere && invoke "$SCRATCH/bin/$EXE_NAME" --inputfile beside.ini --outfile report.txt >../stdout 2>../stderr)
STATUS=$?
expect_status 0
expect_output_file elsewhere/report.txt expected.txt

# Keys under a named section are not seen.
printf '[points]\nsrc=%s\ndes=%s\n' "$A" "$B" >named.ini
run_tool --inputfile named.ini --outfile report.txt
expect_status 255
expect_stderr_line '^helmert7: no source points'

# A bad number names the key and the file it came from.
printf 'src=1,2,x\ndes=%s\n' "$B" >bad.ini
run_tool --inputfile bad.ini
expect_status 255
expect_stderr_line "^helmert7: cannot read the source points \(src in 'bad.ini'\): invalid stod argument: value 3 is \"x\"$"

# Form feed, SUB and NUL are bytes of their line, never a line end: in a key the
# run reads they are refused with that key and line named; a comment holding one
# stays a comment whole. Each row: the file's bytes (printf format), then the
# message's pattern, or "" for a run that gives the report of $A and $B.
BYTE_ROWS=(
  "test = 1,1,1\f 2,2,2, 3,3,3\nsrc=$A\ndes=$B\n"
  "^helmert7: bytes.ini:1: a form feed inside a line \(key test\); a value is numbers, commas and blanks on one line: remove the byte$"
  "src=$A\ndes=$B\ntest = 1,1,1\f 2,2,2, 3,3,3\n"
  "^helmert7: bytes.ini:3: a form feed inside a line \(key test\)"
  "src=$A\ndes=$B\nTEST = 1,1,1\x1a 2,2,2, 3,3,3\n"
  "^helmert7: bytes.ini:3: a SUB byte inside a line \(key TEST\)"
  "src=$A\ndes=$B\ntest = 1,1,1\0 2,2,2, 3,3,3\n"
  "^helmert7: bytes.ini:3: a NUL byte inside a line \(key test\)"
  "src=$A\ndes=$B\f\n"
  "^helmert7: bytes.ini:2: a form feed inside a line \(key des\)"
  "# site survey\0src = 9,9,9\nsrc=$A\ndes=$B\n"
  ""
  "note = page\f\nsrc=$A\ndes=$B\n"
  ""
)
for ((i = 0; i < ${#BYTE_ROWS[@]}; i += 2)); do
  printf "${BYTE_ROWS[i]}" >bytes.ini
  pattern=${BYTE_ROWS[i + 1]}
  if [ -n "$pattern" ]; then
    expect_refused_before_report "$pattern" --inputfile bytes.ini
  else
    run_tool --inputfile bytes.ini --outfile report.txt
    expect_status 0
    expect_text stderr ""
    expect_output_file report.txt expected.txt
  fi
done

# A file found nowhere: both paths named, only the echo on stdout.
rm -f report.txt
run_tool --inputfile nowhere.ini --outfile report.txt
expect_status 255
expect_stderr_line "^helmert7: configuration file 'nowhere.ini' not found \(tried 'nowhere.ini' and '.*[/\\]nowhere.ini'\)$"
expect_text stdout $'--inputfile\nnowhere.ini\n--outfile\nreport.txt\n'
expect_absent report.txt

# A directory is no configuration file; neither is a missing name.
mkdir folder.ini
run_tool --inputfile folder.ini --inputsrc "$A" --inputdes "$B"
expect_status 255
expect_stderr_line "^helmert7: configuration file 'folder.ini' is a directory, not a file$"
run_tool --inputsrc "$A" --inputdes "$B" --inputfile
expect_status 255
expect_stderr_line '^helmert7: --inputfile needs the name of a configuration file after it$'

finish
