#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The run's files whatever happens around them: a reader that quits, a signal
# mid-stream, standard output named as the output, devices, folders and files a
# rename may not replace, and odd names. Each case: what is run, the status, the
# message, and the files afterwards byte for byte; never a temporary file left.
source "$(dirname "$0")/lib.bash" "$@"

A="0,0,0, 100,0,0, 0,100,0, 0,0,100"
B="10,20,30, 110,20,30, 10,120,30, 10,20,130"

# expect_no_temporary: no staged or kept file of the tool is left here.
expect_no_temporary() {
  local left
  left=$(find . -name '.helmert7-*' | head -3)
  [ -z "$left" ] || fail "left behind: $left"
}

# expect_contains NAME PART: file NAME holds the bytes of file PART somewhere.
expect_contains() {
  perl -0777 -e 'open(my $f, "<", $ARGV[0]) or exit 2; open(my $p, "<", $ARGV[1]) or exit 2;
    local $/; exit(index(<$f>, <$p>) < 0)' "$1" "$2" || fail "$1 does not hold $2"
}

# The parameter report of the plain run, to find again elsewhere.
run_tool --inputsrc "$A" --inputdes "$B" --outfile expected.txt
expect_status 0

if on_windows; then
  # NUL and other devices take the text directly; there is nothing to rename over.
  run_tool --inputsrc "$A" --inputdes "$B" --outfile NUL
  expect_status 0
  expect_text stderr ""
  expect_absent NUL
fi

if posix_only "standard streams, signals, owners and POSIX names"; then
  # Standard output named as the output file: appended to the log it appends to,
  # and through a pipe, never renamed over.
  printf 'log start\n' >log.txt
  "$TOOL" --inputsrc "$A" --inputdes "$B" --outfile /dev/stdout >>log.txt 2>stderr
  STATUS=$?
  expect_status 0
  [ "$(head -n 1 log.txt)" = "log start" ] || fail "the log lost its first line"
  expect_contains log.txt expected.txt
  "$TOOL" --inputsrc "$A" --inputdes "$B" --outfile /dev/stdout 2>stderr | cat >piped.txt
  STATUS=${PIPESTATUS[0]}
  expect_status 0
  expect_contains piped.txt expected.txt

  # A network large enough that its trace overflows a pipe: the reader quits after
  # three lines, the files are written all the same, then the run fails.
  awk 'BEGIN { for (i = 0; i < 3000; i++) {
      x = 1000 * sin(i); y = 1000 * cos(0.7 * i); z = i % 97
      printf "%.6f %.6f %.6f\n", x, y, z > "big-source.xyz"
      printf "%.6f %.6f %.6f\n", x + 10, y + 20, z + 30 > "big-target.xyz" } }'
  head -n 500 big-source.xyz >big-test.xyz
  BIG=(--inputsrc @big-source.xyz --inputdes @big-target.xyz --inputtest @big-test.xyz)
  "$TOOL" "${BIG[@]}" --outfile whole.txt --reportfile whole-report.txt >/dev/null 2>stderr
  STATUS=$?
  expect_status 0
  "$TOOL" "${BIG[@]}" --outfile quit.txt --reportfile quit-report.txt 2>stderr | head -n 3 >/dev/null
  STATUS=${PIPESTATUS[0]}
  expect_status 255
  expect_stderr_line '^helmert7: cannot write the trace to standard output \(closed or full\)$'
  expect_file quit.txt whole.txt
  [ -s quit-report.txt ] || fail "no report after the reader quit"
  expect_no_temporary

  # A signal while test points stream in from a pipe that stays open: the run dies
  # of it, the output file is as it was and the temporary file is gone. Perl starts
  # the tool with each signal's default action (a background job ignores SIGINT).
  mkfifo points.fifo
  for signal in INT TERM HUP; do
    printf 'old output\n' >streamed.txt
    { printf '1 2 3\n4 5 6\n'; exec sleep 60; } >points.fifo &
    writer=$!
    perl -e '$SIG{$_} = "DEFAULT" for qw(INT TERM HUP); exec @ARGV' \
      "$TOOL" --inputsrc "$A" --inputdes "$B" --inputtest @- --outfile streamed.txt \
      <points.fifo >/dev/null 2>stderr &
    tool=$!
    for _ in $(seq 100); do
      [ -n "$(find . -name '.helmert7-*.tmp')" ] && break
      sleep 0.1
    done
    [ -n "$(find . -name '.helmert7-*.tmp')" ] || fail "SIG$signal: the run made no temporary file"
    kill -"$signal" "$tool"
    { wait "$tool"; } 2>/dev/null  # without the shell's note of the job's end
    STATUS=$?
    kill "$writer" 2>/dev/null
    wait "$writer" 2>/dev/null
    expect_status $((128 + $(kill -l "$signal")))
    expect_text streamed.txt $'old output\n'
    expect_no_temporary
  done

  # Names with a backslash: one byte of a POSIX name, also at the end of a long one.
  for name in 'back\slash.txt' "$(printf 'n%.0s' $(seq 240))\\bbbbbbbbbb"; do
    run_tool --inputsrc "$A" --inputdes "$B" --outfile "$name"
    expect_status 0
    expect_file "$name" expected.txt
    rm -f -- "$name"
  done
  expect_no_temporary

  # A path's control bytes are escaped: the failure stays one line.
  run_tool --inputsrc "$A" --inputdes "$B" --outfile $'no\nsuch/out.txt'
  expect_status 255
  expect_stderr_line "^helmert7: cannot write the output file 'no\\\\nsuch/out.txt': No such file or directory\$"

  # A rename refused where a plain write is allowed: a writable file in a folder
  # that nobody (65534) may not write, and a group-writable file of root's that
  # nobody may write through its group. Both are rewritten in place, owner and mode
  # kept. Root may rename anything, so these run as nobody.
  if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    chmod 755 "$SCRATCH"
    mkdir locked shared
    printf 'old text\n' >locked/out.txt
    chown 65534:65534 locked/out.txt && chmod 666 locked/out.txt && chmod 555 locked
    printf 'old text\n' >shared/out.txt
    chown 0:4242 shared/out.txt && chmod 664 shared/out.txt && chmod 777 shared
    for row in 'locked 65534:65534 666' 'shared 0:4242 664'; do
      read -r folder owner mode <<<"$row"
      setpriv --reuid=65534 --regid=65534 --groups=4242 \
        "$TOOL" --inputsrc "$A" --inputdes "$B" --outfile "$folder/out.txt" >/dev/null 2>stderr
      STATUS=$?
      expect_status 0
      expect_file "$folder/out.txt" expected.txt
      [ "$(stat -c '%u:%g %a' "$folder/out.txt")" = "$owner $mode" ] ||
        fail "$folder/out.txt is now $(stat -c '%u:%g %a' "$folder/out.txt")"
      [ "$(ls -A "$folder")" = out.txt ] || fail "$folder holds $(ls -A "$folder")"
    done
    chmod 755 locked
  else
    echo "skipped: the rewrite in place as another user needs root and setpriv"
  fi
fi

finish
