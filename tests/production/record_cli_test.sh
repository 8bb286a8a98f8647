#!/usr/bin/env bash
# writer-cli record over a record production_recorder fills: the listing as text, JSON and CSV
# with a hostile writer name, the filters, the counts per day and writer, and the refusals.
[ -n "${WRITER_TEST_HOME:-}" ] || exec bash "$(dirname "$0")/../support/in_fresh_home.sh" bash "$0" "$@"
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
db=$work/line.db
evil=$'=HYPERLINK("x"),\n\e[31m'
record() { "$bin/production_recorder" "$db" "$@" --station st >/dev/null; }
record 3 --time 2024-05-01T08:00:00.000Z --writer w1 --fail-every 3
record 1 --time 2024-05-02T10:00:00.000Z --writer "$evil" --writer-serial $'SN\n7'
record 1 --time 2024-05-02T11:00:00.000Z --writer w1 --no-serial
list() { "$bin/writer-cli" record list --record "$db" "$@"; }

steps='Program passed 0.700 s, Verify passed 0.300 s'
expected="1  2024-05-01T08:00:00.000Z  st  w1  CV51D32  1 (LINE)  passed  1.000 s  $steps
2  2024-05-01T08:00:00.000Z  st  w1  CV51D32  2 (LINE)  passed  1.000 s  $steps
3  2024-05-01T08:00:00.000Z  st  w1  CV51D32  3 (LINE)  failed  1.000 s  Program passed 0.700 s, Verify failed 0.300 s
4  2024-05-02T10:00:00.000Z  st  =HYPERLINK(\"x\"),??[31m  CV51D32  4 (LINE)  passed  1.000 s  $steps
5  2024-05-02T11:00:00.000Z  st  w1  CV51D32  -  passed  1.000 s  $steps"
[ "$(list)" = "$expected" ] || fail "text listing: $(list)"

ids() {
  local want=$1; shift
  got=$(list "$@" | cut -d' ' -f1 | tr '\n' ' ')
  [ "$got" = "$want" ] || fail "list $*: '$got'"
}
ids "4 5 " --since 2024-05-02
ids "5 " --since 2024-05-02T10:00:00.001Z
ids "2 " --serial 2
ids "3 " --serial 0x3 --writer w1
ids "4 " --writer $'SN\n7'
ids "" --writer nobody

list --json | python3 -c '
import json, sys
chips = json.load(sys.stdin)
assert [c["serial"] for c in chips] == [1, 2, 3, 4, None], chips
assert chips[3]["writer"] == "=HYPERLINK(\"x\"),\n\x1b[31m" and chips[3]["writerSerial"] == "SN\n7"
assert chips[2]["steps"][1] == {"name": "Verify", "result": "failed", "elapsedMs": 300}
' || fail "JSON listing: $(list --json)"

list --csv | python3 -c '
import csv, sys
rows = list(csv.reader(sys.stdin))
assert len(rows) == 6 and rows[0][3] == "writer" and rows[0][11] == "serial", rows
assert rows[4][3] == "'"'"'=HYPERLINK(\"x\"),\n\x1b[31m" and rows[4][4] == "SN\n7", rows[4]
assert rows[5][11] == "" and rows[3][12] == "failed", rows
' || fail "CSV listing: $(list --csv)"

expected='day         writer                   chips  passed  failed   yield
2024-05-01  w1                           3       2       1   66.7%
2024-05-02  =HYPERLINK("x"),??[31m       1       1       0  100.0%
2024-05-02  w1                           1       1       0  100.0%
total                                    5       4       1   80.0%'
got=$("$bin/writer-cli" record stats --record "$db")
[ "$got" = "$expected" ] || fail "stats: $got"

# Bad arguments: status 2; a record that cannot be read: status 1 with the reason.
for args in "" "list --json --csv" "list --since yesterday" "list --serial x" "stats --serial 1" \
            "list --record mysql://h/db"; do
  set +e; "$bin/writer-cli" record $args >/dev/null 2>&1; status=$?; set -e
  [ "$status" = 2 ] || fail "record $args: $status"
done
echo "not a database, but long enough to be read as a database's header" >"$work/notes.txt"
set +e; err=$("$bin/writer-cli" record list --record "$work/notes.txt" 2>&1); status=$?; set -e
[ "$status" = 1 ] && grep -q "file is not a database" <<<"$err" || fail "not a database: $status $err"
[ -z "$("$bin/writer-cli" record list --record none)" ] || fail "none lists something"
echo "record CLI: all passed"
