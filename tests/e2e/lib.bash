# SPDX-License-Identifier: MIT
# Shared by the end-to-end scripts: run the built tool in a scratch directory and
# compare what a user sees, byte for byte.
# Usage in a script: source "$(dirname "$0")/lib.bash" "$@"

set -u
TOOL=$1
TESTS=$2
# The Windows build runs under an emulator (Wine): its third argument.
EMULATOR=${3:-}
DATA=$TESTS/data/e2e
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 1
FAILURES=0

# The bundled example's texts.
EXAMPLES=$TESTS/../examples
SRC=$(cat "$EXAMPLES/source.txt")
DES=$(cat "$EXAMPLES/target.txt")
TEST=$(cat "$EXAMPLES/test.txt")

# on_windows: true when the tool is the Windows build.
on_windows() { [ -n "$EMULATOR" ]; }

# The name of the executable in a folder of its own: helmert7 or helmert7.exe.
EXE_NAME=helmert7
on_windows && EXE_NAME=helmert7.exe

# invoke PROGRAM ARGS...: runs a copy of the tool as this platform runs it.
invoke() {
  if on_windows; then "$EMULATOR" "$@"; else "$@"; fi
}

# to_lf FILE: CR LF line ends, as Windows text mode writes them, back into LF.
to_lf() {
  perl -pi -e 's/\r\n/\n/g' "$1"
}

# run_tool ARGS...: runs the tool here; sets STATUS and fills stdout, stderr,
# with the console's CR LF line ends turned back into LF on Windows.
run_tool() {
  invoke "$TOOL" "$@" >stdout 2>stderr
  STATUS=$?
  console_to_lf
}

# console_to_lf: after a run on Windows, stdout and stderr with LF line ends.
console_to_lf() {
  if on_windows; then
    to_lf stdout
    to_lf stderr
  fi
}

fail() {
  echo "FAIL: $*"
  FAILURES=$((FAILURES + 1))
}

# expect_status N: the status a POSIX shell sees (-1 reads as 255).
expect_status() {
  [ "$STATUS" -eq "$1" ] || fail "exit status $STATUS, expected $1"
}

# expect_file NAME EXPECTED: file NAME holds exactly the bytes of file EXPECTED.
expect_file() {
  if ! cmp -s "$1" "$2"; then
    fail "$1 differs from $2"
    diff <(od -c "$2") <(od -c "$1") | head -20
  fi
}

# expect_output_file NAME EXPECTED: the tool's output file NAME holds the bytes
# of EXPECTED; on Windows every line of NAME must end in CR LF, compared as LF.
expect_output_file() {
  if on_windows; then
    perl -0777 -ne 'exit 1 if /(?<!\r)\n/' "$1" || fail "$1 has a line that does not end in CR LF"
    cp "$1" "$1.lf" && to_lf "$1.lf"
    expect_file "$1.lf" "$2"
  else
    expect_file "$1" "$2"
  fi
}

# output_lines NAME: the tool's output file NAME with LF line ends, for grep.
output_lines() {
  if on_windows; then perl -pe 's/\r\n/\n/g' "$1"; else cat "$1"; fi
}

# expect_text NAME TEXT: file NAME holds exactly TEXT.
expect_text() {
  expect_file "$1" <(printf '%s' "$2")
}

# expect_stderr_line PATTERN: stderr is one line that matches the extended regex.
expect_stderr_line() {
  local lines
  lines=$(wc -l <stderr)
  [ "$lines" -eq 1 ] || fail "stderr has $lines lines, expected 1: $(cat stderr)"
  grep -Eq -- "$1" stderr || fail "stderr '$(cat stderr)' does not match '$1'"
}

# expect_absent NAME: the run left no file NAME.
expect_absent() {
  [ ! -e "$1" ] || fail "$1 exists"
}

# expect_refused_before_report PATTERN ARGS...: the run with --outfile report.txt
# and ARGS fails before its report with PATTERN on stderr and leaves no report.txt.
expect_refused_before_report() {
  local pattern=$1
  shift
  rm -f report.txt
  run_tool --outfile report.txt "$@"
  expect_status 255
  expect_stderr_line "$pattern"
  expect_absent report.txt
}

# expect_same_points LABEL TOOL_FILE CCT_FILE: two files of three points, "x y z"
# a line, agree to 1e-6 m.
expect_same_points() {
  local worst
  worst=$(paste "$2" "$3" | awk '{
    for (i = 1; i <= 3; i++) { d = $i - $(i + 3); if (d < 0) d = -d; if (d > w) w = d }
    n++ } END { if (n != 3) print "missing"; else printf "%.3g", w }')
  awk -v w="$worst" 'BEGIN { exit !(w != "missing" && w + 0 <= 1e-6) }' ||
    fail "$1: tool and cct differ by $worst m"
  echo "$1: largest difference from cct $worst m"
}

# posix_only WHAT: true off Windows; on Windows says which check is skipped and why.
posix_only() {
  on_windows || return 0
  echo "skipped on Windows: $1"
  return 1
}

finish() {
  if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
