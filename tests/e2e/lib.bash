# SPDX-License-Identifier: MIT
# Shared by the end-to-end scripts: run the built tool in a scratch directory and
# compare what a user sees, byte for byte.
# Usage in a script: source "$(dirname "$0")/lib.bash" "$@"

set -u
TOOL=$1
TESTS=$2
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

# run_tool ARGS...: runs the tool here; sets STATUS and fills stdout, stderr.
run_tool() {
  "$TOOL" "$@" >stdout 2>stderr
  STATUS=$?
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

finish() {
  if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
