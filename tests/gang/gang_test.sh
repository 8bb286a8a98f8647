#!/usr/bin/env bash
# writer-cli writers and gang end to end over eight virtual writers: the listing, a name that
# matches nothing, live lines and the summary on a terminal, a writer that disappears mid-run
# failing alone, one log file a writer, and writers on USB (the hidapi double) by serial string.
[ -n "${WRITER_TEST_HOME:-}" ] || exec bash "$(dirname "$0")/../support/in_fresh_home.sh" bash "$0" "$@"
set -euo pipefail
bin=$1
hid_double=$2
work=$(mktemp -d)
declare -A pid
cleanup() {
  for p in "${pid[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
run=$XDG_RUNTIME_DIR
start() {  # NAME SOCKET ARGS...
  local name=$1 socket=$2
  shift 2
  "$bin/vwriter" --socket "$socket" --strict "$@" &
  pid[$name]=$!
}
started() { for _ in $(seq 100); do [ -S "$1.ctl" ] && return; sleep 0.05; done; fail "no vwriter at $1"; }
for i in $(seq 8); do start "$i" "$run/vwriter-$i.sock" --serial "LINE-$i" --part 45 --usb-timing; done
for i in $(seq 8); do started "$run/vwriter-$i.sock"; done
head -c 16384 /dev/urandom >"$work/16k.bin"
head -c 65536 /dev/urandom >"$work/64k.bin"

"$bin/writer-cli" writers --json | python3 -c '
import json, os, sys
writers = json.load(sys.stdin)
run = os.environ["XDG_RUNTIME_DIR"]
assert [w["serial"] for w in writers] == ["LINE-%d" % i for i in range(1, 9)], writers
for i, w in enumerate(writers, 1):
    assert w["kind"] == "virtual" and w["device"] == "vwriter:%s/vwriter-%d.sock" % (run, i), w
    assert len(w["firmware"]) == 6 and not w["loader"], w
' || fail "writers --json"

# A name that matches no writer: nothing runs, and the message lists what is attached.
status=0; "$bin/writer-cli" gang --writers LINE-1,LINE-9 --part 45 check-id >"$work/out" 2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -q "'LINE-9' names no attached writer" "$work/err" &&
  grep -q "vwriter-8.sock  LINE-8  (virtual)" "$work/err" && [ ! -s "$work/out" ] || fail "unknown name: $status"

# On a terminal: a live line a writer (name, step, percent) while they work, then every log
# line after its writer's name and the summary.
status=0
python3 "$(dirname "$0")/../support/on_pty.py" "$bin/writer-cli" gang --part 45 \
  --load "$work/16k.bin" auto 0x0C >"$work/pty" || status=$?
[ "$status" = 0 ] || fail "pty run: exit $status $(cat "$work/pty")"
python3 - "$work/pty" <<'PY' || fail "pty run: $(cat "$work/pty")"
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
for i in range(1, 9):
    assert re.search(r"LINE-%d +(Program|Verify) +\d+%%" % i, text), "no live line for %d" % i
    assert re.search(r"LINE-%d: Verify => Pass !" % i, text), "no log line for %d" % i
    assert re.search(r"LINE-%d +- +passed +\d+\.\d s" % i, text), "no summary row for %d" % i
assert "\x1b[8A" in text and "8 of 8 writers passed" in text
PY

# Writer 3 is pulled out during Program: it fails alone, the others finish, and the command to
# run again names it only.
"$bin/writer-cli" gang --part 45 --load "$work/64k.bin" program >"$work/out" 2>"$work/err" &
gang=$!
sleep 0.8
kill -9 "${pid[3]}"
wait "${pid[3]}" 2>/dev/null || true
unset 'pid[3]'
status=0; wait "$gang" || status=$?
[ "$status" = 1 ] || fail "a writer gone: exit $status"
grep -q "^LINE-3 .* failed " "$work/out" && [ "$(grep -c ' passed ' "$work/out")" = 7 ] &&
  grep -q "^7 of 8 writers passed$" "$work/out" || fail "a writer gone: $(cat "$work/out")"
expected="Run again on the failed writers: writer-cli gang --writers LINE-3 --part 45 --load $work/64k.bin program"
[ "$(tail -n1 "$work/out")" = "$expected" ] || fail "rerun: $(tail -n1 "$work/out")"

# --log-dir: one file a writer, nothing of the logs on standard output.
"$bin/writer-cli" gang --writers LINE-1,$run/vwriter-2.sock --log-dir "$work" --part 45 check-id >"$work/out" ||
  fail "log-dir: $(cat "$work/out")"
grep -q "^Check ID => Pass !" "$work/LINE-1.log" && grep -q "^Check ID => Pass !" "$work/_"*"_vwriter-2_sock.log" &&
  ! grep -q "Check ID" "$work/out" || fail "log files: $(ls "$work")"
# A log file that cannot be written (here it lands on a full device) fails the command, named.
mkdir "$work/full" && ln -s /dev/full "$work/full/LINE-1.log"
status=0; "$bin/writer-cli" gang --writers LINE-1 --log-dir "$work/full" --part 45 check-id \
  >/dev/null 2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -q "^writer-cli: LINE-1: its log file was not written whole$" "$work/err" ||
  fail "full log: $status $(cat "$work/err")"

# Writers on USB, by serial string: each reaches its own (part 45's Check ID passes on B only).
start a "$work/a.sock" --serial USB-A --part 47  # the same family, another device
start b "$work/b.sock" --serial USB-B --part 45
started "$work/a.sock"; started "$work/b.sock"
export LD_PRELOAD=$hid_double HIDAPI_DOUBLE_DEVICES=$work/a.sock:$work/b.sock
listing=$("$bin/writer-cli" writers)
grep -q "^$work/b.sock  *USB-B  *usb  *03 04 " <<<"$listing" || fail "USB listing: $listing"
"$bin/writer-cli" gang --writers USB-B,LINE-4 --part 45 check-id >"$work/out" || fail "USB-B: $(cat "$work/out")"
status=0; "$bin/writer-cli" gang --writers USB-A --part 45 check-id >"$work/out" || status=$?
[ "$status" = 1 ] && grep -q "^USB-A: Check ID => Fail !" "$work/out" || fail "USB-A: $status $(cat "$work/out")"
echo "gang: all passed"
