#!/usr/bin/env bash
# writer-cli resource and parts: what scripts and production lines read from the catalogue.
[ -n "${WRITER_TEST_HOME:-}" ] || exec bash "$(dirname "$0")/../support/in_fresh_home.sh" bash "$0" "$@"
set -euo pipefail
CLI=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$CLI" resource list > "$tmp/list"
for id in 1 2 3 256 257 4097; do
  grep -q "^$id " "$tmp/list" || fail "resource $id not listed"
done
[ "$(awk '$1 >= 4096' "$tmp/list" | wc -l)" -eq 80 ] || fail "expected 80 part records"
grep -q '^2 images ' "$tmp/list" || fail "resource 2 is not the image library"

# Every dump has the listed size and ends with its table terminator.
while read -r id kind size; do
  "$CLI" resource dump "$id" > "$tmp/r"
  [ "$(stat -c %s "$tmp/r")" -eq "$size" ] || fail "dump $id: size differs from the list"
  if [ "$kind" = text ]; then
    [ "$(tail -c 1 "$tmp/r" | od -An -tx1 | tr -d ' ')" = 00 ] || fail "dump $id: no NUL"
    continue
  fi
  [ "$(tail -c 2 "$tmp/r" | od -An -tx1 | tr -d ' ')" = ffff ] || fail "dump $id: no terminator"
done < "$tmp/list"
"$CLI" resource dump 0x0100 > "$tmp/r" && [ "$(stat -c %s "$tmp/r")" -gt 0 ] \
  || fail "hexadecimal id not accepted"

# A missing resource: status 1, a message on standard error, nothing on standard output.
set +e
"$CLI" resource dump 4094 > "$tmp/out" 2> "$tmp/err"
status=$?
set -e
[ $status -eq 1 ] || fail "missing resource gave status $status"
[ -s "$tmp/err" ] && [ ! -s "$tmp/out" ] || fail "missing resource: wrong streams"

# parts --json: valid JSON, 80 parts, series 4 listed last, each part followed by its sibling.
"$CLI" parts --json > "$tmp/parts.json"
python3 - "$tmp/parts.json" <<'PY' || fail "parts --json"
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
series = doc["series"]
assert series[-1]["number"] == 4, "series 4 is not last"
numbers = [s["number"] for s in series[:-1]]
assert numbers == sorted(numbers), "series out of order"
parts = [p["index"] for s in series for p in s["parts"]]
assert len(parts) == 80 and len(set(parts)) == 80, "not 80 distinct parts"
for s in series:
    idx = [p["index"] for p in s["parts"]]
    for i, p in enumerate(idx):
        sib = p + 128 if p < 128 else p + 2048 if 256 <= p < 2048 else None
        if sib in idx:
            assert idx[i + 1] == sib, f"part {p} not followed by its sibling {sib}"
PY
"$CLI" parts --lang 1 > "$tmp/parts.zh"
grep -q '系列' "$tmp/parts.zh" || fail "parts --lang 1 shows no Chinese series names"
# A language that is not 0 or 1, or no number at all, is refused with the usage text.
for lang in 99999999999 abc 2 -1 ''; do
    set +e
    "$CLI" parts --lang "$lang" > /dev/null 2> "$tmp/err"
    rc=$?
    set -e
    [ "$rc" = 2 ] || fail "parts --lang '$lang' exits $rc, not 2"
    grep -q usage "$tmp/err" || fail "parts --lang '$lang' shows no usage"
done
echo "cli catalogue: all checks passed"
