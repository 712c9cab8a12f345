#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The argument echo and how value words bind to options, seen through the texts
# that the prediction report repeats and through the failures of missing texts.
source "$(dirname "$0")/lib.bash" "$@"

A="0,0,0, 100,0,0, 0,100,0, 0,0,100"
B="10,20,30, 110,20,30, 10,120,30, 10,20,130"
P="1,1,1"

# Every word is echoed as it is, percent signs and all, before anything is refused.
run_tool --outfile r.txt --inputsrc "$A" --inputdes "$B" --inputtest "$P" "100%s%n"
expect_status 255
expect_text stdout $'--outfile\nr.txt\n--inputsrc\n'"$A"$'\n--inputdes\n'"$B"$'\n--inputtest\n'"$P"$'\n100%s%n\n'
expect_stderr_line "^helmert7: the word '100%s%n' is no option's value"

# Options waiting together: the first value goes to the first in key order
# (--inputdes before --inputsrc), whatever the order on the command line.
run_tool --inputsrc --inputdes "$A" "$B" --inputtest "$P" --outfile r.txt
expect_status 0
output_lines r.txt | grep -qx "src=$B" || fail "--inputsrc should have taken the second value"
output_lines r.txt | grep -qx "des=$A" || fail "--inputdes should have taken the first value"

# --outfile and --inputtest waiting together: --inputtest comes first in key order.
run_tool --inputsrc "$A" --inputdes "$B" --outfile --inputtest r.txt "$P"
expect_status 255
expect_stderr_line "^helmert7: cannot read the test points \(--inputtest\): invalid stod argument: value 1 is \"r.txt\"$"

# Typos and stray words are refused after the complete echo, with no output file:
# unknown options (with the nearest name when one or two edits away, letter case
# aside), and value words that no option takes, such as the rest of a text whose
# blanks were not quoted.
expect_refused_words() {
  expect_refused_before_report "$@"
  shift
  [ "$(wc -l <stdout)" -eq $(($# + 2)) ] || fail "the echo of '$*' is not complete"
}
LISTED='; the options are --inputsrc, --inputdes, --inputtest, --inputfile, --outfile, --reportfile, --rotation, --direction, --srccoords, --descoords, --srcsigma, --dessigma, --exclude and --trace$'
expect_refused_words "^helmert7: unknown option '--out'$LISTED" \
  --inputsrc "$A" --inputdes "$B" --out o.txt
expect_refused_words "^helmert7: unknown option '--inputtset' \(did you mean --inputtest\?\)$LISTED" \
  --inputsrc "$A" --inputdes "$B" --inputtset "$P"
expect_refused_words "^helmert7: unknown option '--INPUTSRC' \(did you mean --inputsrc\?\)$LISTED" \
  --INPUTSRC "$A" --inputdes "$B"
expect_refused_words "^helmert7: unknown option '--inputsrc=1,2,3' \(did you mean --inputsrc\?\)" \
  --inputsrc=1,2,3 --inputdes "$B"
# shellcheck disable=SC2086 # split on purpose, as an unquoted text would be
expect_refused_words "^helmert7: the word '100,0,0,' is no option's value: every option before it already has one; a coordinate text that holds blanks must be quoted" \
  --inputsrc $A --inputdes "$B"
expect_refused_words "^helmert7: the word '$P' is no option's value" "$P" --inputsrc "$A" --inputdes "$B"

# An option given again forgets its value, and one that no word reaches is refused.
run_tool --inputsrc "$A" --inputdes "$B" --inputsrc
expect_status 255
expect_stderr_line '^helmert7: --inputsrc needs a coordinate text after it$'
# ... and waits again: the next value word fills it before --outfile.
run_tool --inputsrc "$A" --inputsrc --inputdes "$B" --outfile r.txt "$A"
expect_status 255
expect_stderr_line '^helmert7: cannot read the source points \(--inputsrc\): invalid stod argument: value 1 is "r.txt"$'

# The texts are repeated as given, blanks and all; "output=" holds none.
run_tool --inputsrc "$A" --inputdes "$B" --inputtest " 1, 2 ,3 " --outfile r.txt
expect_status 0
output_lines r.txt | grep -qx "test= 1, 2 ,3 " || fail "the test text was not repeated verbatim"
output_lines r.txt | grep -q '^output=[^ ]*$' || fail "blanks in output="

# --help, -h and --version answer alone: no echo, no file, status 0, wherever
# they stand among other words.
for words in "--help" "-h" "--inputsrc $A --help --inputdes" "--bogus -h" "--version" "x --version --outfile"; do
  # shellcheck disable=SC2086 # the words are split on purpose
  run_tool $words
  expect_status 0
  expect_text stderr ""
  expect_absent out.txt
  case "$words" in
    *-h*)
      head -n 1 stdout | grep -q '^Usage: helmert7 ' || fail "'$words' gave no usage text"
      for option in --inputsrc --inputdes --inputtest --inputfile --outfile --reportfile --rotation --trace --version "Exit status"; do
        grep -q -- "$option" stdout || fail "the usage text does not mention $option"
      done
      ;;
    *) grep -Eqx 'helmert7 [0-9]+\.[0-9]+\.[0-9]+' stdout && [ "$(wc -l <stdout)" -eq 1 ] ||
      fail "'$words' gave '$(cat stdout)', not one version line" ;;
  esac
done

finish
