#!/usr/bin/env bash
# writer-cli op end to end: the log on standard output, exit statuses, the dump file, a refused
# upgrade, and a missing transport library.
[ -n "${WRITER_TEST_HOME:-}" ] || exec bash "$(dirname "$0")/../support/in_fresh_home.sh" bash "$0" "$@"
set -euo pipefail
bin=$1
work=$(mktemp -d)
vw_pid=
cleanup() {
  [ -n "$vw_pid" ] && kill "$vw_pid" 2>/dev/null && wait "$vw_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

start_vwriter() {
  [ -n "$vw_pid" ] && kill "$vw_pid" 2>/dev/null && wait "$vw_pid" 2>/dev/null || true
  rm -f "$work/s" "$work/s.ctl"
  "$bin/vwriter" --socket "$work/s" --strict --trace "$work/trace" "$@" &
  vw_pid=$!
  for _ in $(seq 100); do [ -S "$work/s.ctl" ] && return; sleep 0.05; done
  fail "vwriter did not start"
}
export TUNNIX_DEVICE="vwriter:$work/s"
start_vwriter --part 1
head -c 1000 /dev/urandom > "$work/code.bin"

# Auto with the part's steps from a loaded file: every line, in order.
out=$("$bin/writer-cli" op --part 1 --load "$work/code.bin" auto 0x0E)
expected=$(printf 'Load file ... => OK !\n----Begin----\nCheck ID => Pass !\t\t [0.000"]\nBlank Check => Pass !\t [0.000"]\nProgram => Pass !\t\t [0.000"]\nVerify => Pass !\t\t [0.000"]\n-----End-----')
normalise() { sed -E 's/\[[0-9]+\.[0-9]{3}"\]/[0.000"]/'; }
[ "$(normalise <<<"$out")" = "$expected" ] || fail "auto log: $out"

# The chip read back into a file, exactly the code size, the code at its start.
"$bin/writer-cli" op --part 1 dump "$work/chip.bin" >/dev/null || fail "dump"
[ "$(stat -c %s "$work/chip.bin")" = 4096 ] || fail "dump size"
cmp -n 1000 "$work/code.bin" "$work/chip.bin" || fail "dump content"

# A failing step: exit 1, no file from a failed dump.
"$bin/vwriter" ctl --socket "$work/s" fault status0:3/0 >/dev/null
status=0; "$bin/writer-cli" op --part 1 dump "$work/none.bin" >/dev/null || status=$?
[ "$status" = 1 ] || fail "failed dump exit $status"
[ ! -e "$work/none.bin" ] || fail "a failed dump wrote a file"
ctl() { "$bin/vwriter" ctl --socket "$work/s" "$@" >/dev/null; }
ctl clear-faults

# On a terminal the bar goes to standard error while a transfer moves and is erased before each
# log line: replayed as a screen shows it, every label is there and no bar is left.
python3 "$(dirname "$0")/../support/on_pty.py" "$bin/writer-cli" op --part 1 \
  --load "$work/code.bin" program >"$work/pty" || fail "terminal: exit status $?"
screen=$(python3 - "$work/pty" <<'EOF'
import sys
raw = open(sys.argv[1], "rb").read()
print("bar drawn" if b"[#" in raw else "no bar")
line, col = [], 0
for ch in raw.decode():
    if ch == "\r":
        col = 0
    elif ch == "\n":
        print("".join(line).rstrip())
        line, col = [], 0
    else:
        line[col:col + 1] = [ch]
        col += 1
EOF
)
expected=$(printf 'bar drawn\nLoad file ... => OK !\n----Begin----\nCheck ID => Pass !\t\t [0.000"]\nProgram => Pass !\t\t [0.000"]\n-----End-----')
[ "$(normalise <<<"$screen")" = "$expected" ] || fail "terminal: $screen"

# A step the window's batch carries on from still fails the command.
ctl fault status0:1/1
status=0; "$bin/writer-cli" op --part 1 --load "$work/code.bin" erase >/dev/null || status=$?
[ "$status" = 1 ] || fail "failed erase exit $status"
ctl clear-faults
# Program asked for with nothing to program: the skip line, a word on standard error, exit 1.
status=0; out=$("$bin/writer-cli" op --part 1 program 2>"$work/err") || status=$?
[ "$status" = 1 ] && grep -q "skips PROGRAM" <<<"$out" && grep -q "nothing was programmed" "$work/err" ||
  fail "empty program: $status $out"

# The option bytes read come after the log; --json gives the whole result as one object.
"$bin/writer-cli" op --part 1 --option LOCK=on write-option >/dev/null || fail "write-option"
out=$("$bin/writer-cli" op --part 1 read-option) || fail "read-option"
[ "$(tail -n1 <<<"$out")" = "Option bytes: BE FF" ] || fail "read-option: $out"
out=$("$bin/writer-cli" op --part 1 --json read-option) || fail "read-option --json"
[[ "$out" == '{"operation":"read-option","opened":true,"steps":[{"step":"check-id","result":"passed"'*'{"step":"read-option","result":"passed"'*'"option_bytes":[190,255],"log":["----Begin----",'*'"exit_status":0}' ]] ||
  fail "json: $out"

# Serial numbers from the record: the field at its address in the standard layout, the next
# number on the next chip, a failed chip's number kept as failed, every op in the record.
sql() { python3 -c 'import sqlite3, sys; c = sqlite3.connect(sys.argv[1]); c.execute(sys.argv[2]); c.commit()' \
        "$XDG_DATA_HOME/cv51-writer/production.db" "$1"; }
serial() { "$bin/writer-cli" op --part 1 --load "$work/code.bin" --serial F00 --serial-string LINE "$@"; }
field() { "$bin/writer-cli" op --part 1 dump "$work/chip.bin" >/dev/null && od -An -tx1 -j 3840 -N 16 "$work/chip.bin" | tr -d ' \n'; }
out=$(serial --serial-start 7 auto 0x0D) || fail "serial program"
[ "$(tail -n1 <<<"$out")" = "Serial number: 7" ] || fail "serial line: $out"
[ "$(field)" = 4c494e45202020202020202000000007 ] || fail "field 7: $(field)"
out=$(serial --json auto 0x0D) || fail "second serial"
[[ "$out" == *'"serial":8,"exit_status":0}' ]] || fail "second number: $out"
[ "$(field)" = 4c494e45202020202020202000000008 ] || fail "field 8: $(field)"
ctl fault status0:2/0
status=0; serial auto 0x0D >/dev/null 2>&1 || status=$?
ctl clear-faults
[ "$status" = 1 ] || fail "failed serial chip exit $status"
[ "$(serial auto 0x0D | tail -n1)" = "Serial number: 10" ] || fail "number after a failed chip"
list=$("$bin/writer-cli" record list)
grep -q "  9 (LINE)  failed  " <<<"$list" && grep -q "  10 (LINE)  passed  .*Check ID passed .*, Program passed " <<<"$list" ||
  fail "record: $list"

# Refused before anything is sent: past the code space, over the image, an operation that does
# not program, no record to keep numbers in. --record none keeps nothing.
frames=$(grep -c '"kind":"frame"' "$work/trace")
chips=$("$bin/writer-cli" record list | wc -l)
for args in "--serial FF8 program" "--serial 10 program" "--serial F00 check-id" \
            "--serial F00 --record none program" "--serial F00 --serial-format bare --serial-string X program"; do
  status=0; "$bin/writer-cli" op --part 1 --load "$work/code.bin" $args >/dev/null 2>"$work/err" || status=$?
  [ "$status" = 2 ] && grep -q "^usage: writer-cli op" "$work/err" || fail "'$args' exit $status"
done
[ "$(grep -c '"kind":"frame"' "$work/trace")" = "$frames" ] || fail "a refused serial sent frames"
"$bin/writer-cli" op --part 1 --record none check-id >/dev/null || fail "--record none"
[ "$("$bin/writer-cli" record list | wc -l)" = "$chips" ] || fail "--record none wrote a chip"

# A record that refuses the chip: the command fails and says so; the chip stays programmed.
sql "CREATE TRIGGER full BEFORE INSERT ON chips BEGIN SELECT RAISE(ABORT, 'disk full'); END"
status=0; out=$(serial auto 0x0D 2>"$work/err") || status=$?
[ "$status" = 1 ] && grep -q "the chip's record was not written to .*disk full" "$work/err" ||
  fail "unwritten record: $status $(cat "$work/err")"
sql "DROP TRIGGER full"
[ "$(field)" = 4c494e4520202020202020200000000b ] || fail "chip after an unwritten record: $(field)"

# Options go before the operation; a dump's file must be writable before the chip is read.
status=0; "$bin/writer-cli" op --part 1 check-id --json >/dev/null 2>"$work/err" || status=$?
[ "$status" = 2 ] && grep -q "options go before the operation: '--json'" "$work/err" || fail "late option"
dumps=$(grep -c '"cmd":3,"sub":0' "$work/trace")
status=0; "$bin/writer-cli" op --part 1 dump "$work/no/such.bin" >/dev/null 2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -q "cannot write" "$work/err" || fail "unwritable dump: $status"
[ "$(grep -c '"cmd":3,"sub":0' "$work/trace")" = "$dumps" ] || fail "the chip was read for nothing"

# The last line ends in a newline, even a reason line the window leaves open.
"$bin/writer-cli" op --part 1 --isp "$work/missing.hex" check-id >"$work/out" 2>/dev/null || true
[ "$(tail -c1 "$work/out" | od -An -c | tr -d ' ')" = '\n' ] || fail "last line: $(cat "$work/out")"

# An operation past its deadline ends as failed, with its own line.
ctl fault delay:3/0=3000
SECONDS=0; status=0; out=$("$bin/writer-cli" op --part 1 --deadline 1 blank-check) || status=$?
[ "$status" = 1 ] && [ "$SECONDS" -lt 3 ] && grep -q "^Operation deadline passed !$" <<<"$out" ||
  fail "deadline: $status ${SECONDS}s $out"
ctl clear-faults

# A TUNNIX_DEVICE that is none of its forms fails, naming them.
status=0; TUNNIX_DEVICE=vwritr:x "$bin/writer-cli" op --part 1 check-id >/dev/null 2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -q "'vwritr:x' is not understood; use 'hid'" "$work/err" || fail "typo: $status"
TUNNIX_DEVICE=vwritr:x "$bin/writer-cli" op --writer "vwriter:$work/s" --part 1 check-id >/dev/null ||
  fail "--writer over TUNNIX_DEVICE"
# A writer by its socket, as 'writer-cli writers' names it; a name no writer has fails, listing them.
TUNNIX_DEVICE=vwritr:x "$bin/writer-cli" op --writer "$work/s" --part 1 check-id >/dev/null ||
  fail "--writer by socket"
status=0; "$bin/writer-cli" op --writer NOSUCH --part 1 check-id >/dev/null 2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -q "^writer-cli: 'NOSUCH' names no attached writer" "$work/err" ||
  fail "--writer NOSUCH: $status $(cat "$work/err")"

# Bad arguments: exit 2 with the usage text.
for args in "--part 1" "--part 1 dump" "--part 1 auto 0x100" "--part x check-id" \
            "--part 1 --upgrade maybe check-id" "--part 1 frobnicate" "--part 1 --osc two check-id" \
            "--part 1 --load-at 1G x.bin check-id" "--part 1 --record ftp://h/db check-id"; do
  status=0; "$bin/writer-cli" op $args >/dev/null 2>"$work/err" || status=$?
  [ "$status" = 2 ] || fail "'$args' exit $status"
  grep -q "^usage: writer-cli op" "$work/err" || fail "'$args' gave no usage"
done

# An old writer firmware: refused without a terminal (nothing written), upgraded with yes.
start_vwriter --part 1 --firmware old
status=0; out=$("$bin/writer-cli" op --part 1 check-id </dev/null 2>"$work/err") || status=$?
[ "$status" = 1 ] && [ -z "$out" ] || fail "refused upgrade: $status '$out'"
out=$("$bin/writer-cli" op --part 1 --upgrade yes check-id 2>/dev/null) || fail "upgrade yes"
grep -q "^Upgrade Writer => Pass !" <<<"$out" || fail "upgrade line: $out"
grep -q "^Check ID => Pass !" <<<"$out" || fail "operation after the upgrade: $out"

# No writer at all: exit 1 and a word on standard error.
kill "$vw_pid"; wait "$vw_pid" 2>/dev/null || true; vw_pid=
status=0; "$bin/writer-cli" op --part 1 check-id >/dev/null 2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -q "no writer answered" "$work/err" || fail "no writer: $status"

# Without libtunnix.so beside the program: the load box on standard error, exit 1.
mkdir "$work/alone"
cp "$bin/writer-cli" "$bin/libplatform.so" "$work/alone/"
status=0; "$work/alone/writer-cli" op --part 1 check-id >/dev/null 2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -q "Warning: Load TUNNIX.DLL fail !" "$work/err" || fail "missing library"

echo "writer-cli op: all passed"
