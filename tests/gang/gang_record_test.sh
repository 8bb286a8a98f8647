#!/usr/bin/env bash
# Gang runs that give chips serial numbers and record them.
#   sqlite      a gang of eight killed with SIGKILL mid-run: the record opens cleanly, every
#               chip a writer finished is in it, and no number taken before the kill comes again
#   postgresql  two stations sharing one PostgreSQL record (a cluster started here) take 2,000
#               numbers between them: none twice, and every one on a chip, failed chips included
# Skipped (77) while writer-cli op has no --record, or without a PostgreSQL server.
[ -n "${WRITER_TEST_HOME:-}" ] || exec bash "$(dirname "$0")/../support/in_fresh_home.sh" bash "$0" "$@"
set -euo pipefail
bin=$1
mode=$2
here=$(cd "$(dirname "$0")" && pwd)
help=$("$bin/writer-cli" op --help)
grep -q -- "--record" <<<"$help" || { echo "writer-cli op has no --record: skipped"; exit 77; }
work=$(mktemp -d)
pg=
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -z "$pg" ] || bash "$here/../production/pg_cluster.sh" stop "$pg" || true
  rm -rf "$work" ${pg:+"$pg"}
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
run=$XDG_RUNTIME_DIR
writers() {  # COUNT FIRST ARGS...: virtual writers LINE-FIRST.. on part 45
  local count=$1 first=$2 i
  shift 2
  for ((i = first; i < first + count; i++)); do
    "$bin/vwriter" --socket "$run/vwriter-$i.sock" --serial "LINE-$i" --part 45 "$@" &
    pids+=($!)
  done
  for ((i = first; i < first + count; i++)); do
    for _ in $(seq 100); do [ -S "$run/vwriter-$i.sock.ctl" ] && continue 2; sleep 0.05; done
    fail "vwriter $i did not start"
  done
}
head -c 16384 /dev/urandom >"$work/code.bin"
serials=(--serial 0xF000 --serial-string LINE)

if [ "$mode" = sqlite ]; then
  db=$work/line.db
  writers 8 1 --usb-timing
  gang() { "$bin/writer-cli" gang --part 45 --load "$work/code.bin" "${serials[@]}" --record "$db" program; }
  gang >"$work/first" || fail "first run: $(cat "$work/first")"
  # The second run is killed while its writers program (16 KiB take about half a second).
  gang >"$work/killed" 2>/dev/null &
  victim=$!
  sleep 0.4
  kill -9 "$victim"
  wait "$victim" 2>/dev/null || true
  sleep 0.3  # its operations end with it
  python3 - "$db" "$work/first" "$work/killed" >"$work/taken" <<'PY' || fail "after the kill: $(cat "$work/taken")"
import re, sqlite3, sys
db = sqlite3.connect(sys.argv[1])
assert db.execute("PRAGMA integrity_check").fetchone()[0] == "ok"
recorded = {n: r for n, r in db.execute("SELECT serial, result FROM chips")}
finished = set()
for log in sys.argv[2:]:
    finished |= {int(n) for n in re.findall(r"^LINE-\d+: Serial number: (\d+)$", open(log).read(), re.M)}
assert len(finished) >= 8, finished
missing = finished - set(recorded)
assert not missing, "finished chips not in the record: %s" % missing
for n, in db.execute("SELECT number FROM serial_taken"):
    print(n)
PY
  gang >"$work/after" || fail "run after the kill: $(cat "$work/after")"
  python3 - "$work/taken" "$work/after" <<'PY' || fail "numbers again"
import re, sys
taken = {int(n) for n in open(sys.argv[1]).read().split()}
new = [int(n) for n in re.findall(r"^LINE-\d+: Serial number: (\d+)$", open(sys.argv[2]).read(), re.M)]
assert len(new) == 8 and not taken & set(new), (sorted(taken), new)
PY
  "$bin/writer-cli" record list --record "$db" >/dev/null || fail "the record does not open"
  echo "gang record (SQLite): all passed"
  exit 0
fi

[ "$mode" = postgresql ] || fail "mode $mode"
bash "$here/../production/pg_cluster.sh" installed || { echo "no PostgreSQL server: skipped"; exit 77; }
pg=$(mktemp -d /tmp/writer-pg-XXXXXX)
bash "$here/../production/pg_cluster.sh" start "$pg" || fail "the cluster did not start"
url="postgresql://writer@/postgres?host=$pg"
# Two stations of four writers; one writer of each refuses every program: 500 failed chips.
writers 8 1
for i in 4 8; do "$bin/vwriter" ctl --socket "$run/vwriter-$i.sock" fault status0:2/0 >/dev/null; done
station() {  # FIRST: gangs over LINE-FIRST..+3 until 1,000 chips have been through them
  local first=$1 names="LINE-$1,LINE-$(($1 + 1)),LINE-$(($1 + 2)),LINE-$(($1 + 3))"
  for _ in $(seq 250); do
    "$bin/writer-cli" gang --writers "$names" --part 45 --load "$work/code.bin" "${serials[@]}" \
      --record "$url" program >>"$work/station-$first" 2>&1 || true
  done
}
station 1 & a=$!
station 5 & b=$!
wait "$a" "$b"
"$bin/writer-cli" record list --record "$url" --json | python3 -c '
import json, sys
chips = json.load(sys.stdin)
serials = sorted(c["serial"] for c in chips)
assert serials == list(range(1, 2001)), (len(serials), serials[:5], serials[-5:])
failed = sum(c["result"] == "failed" for c in chips)
assert failed == 500, failed
' || fail "the shared record: $(tail -n 20 "$work/station-1")"
echo "gang record (PostgreSQL): all passed"
