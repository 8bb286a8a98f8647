#!/usr/bin/env bash
# writer-cli offline end to end: a download read back through 'offline info' before and after
# stand-alone runs, the refusals of values beyond the dialog's limits (nothing sent), and the
# empty-buffer line.
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

"$bin/vwriter" --socket "$work/s" --strict --trace "$work/trace" --part 51 &
vw_pid=$!
for _ in $(seq 100); do [ -S "$work/s.ctl" ] && break; sleep 0.05; done
[ -S "$work/s.ctl" ] || fail "vwriter did not start"
export TUNNIX_DEVICE="vwriter:$work/s"
normalise() { sed -E 's/\[[0-9]+\.[0-9]{3}"\]/[0.000"]/'; }
head -c 4096 /dev/zero | tr '\0' '\1' > "$work/code.bin"

out=$("$bin/writer-cli" offline download --part 51 --load "$work/code.bin" --max-counter 100 \
      --serial-enable 1 --auto-increment 1 --serial-string AB --serial-number 1A \
      --serial-address 7FF0)
expected=$(printf 'Load file ... => OK !\n----Begin----\nWrite Code => Pass !\t [0.000"]\nWrite Info => Pass !\t [0.000"]\n-----End-----')
[ "$(normalise <<<"$out")" = "$expected" ] || fail "download log: $out"

"$bin/vwriter" ctl --socket "$work/s" run 3 >/dev/null || fail "ctl run"
out=$("$bin/writer-cli" offline info)
# 4096 bytes of 0x01 sum to 0x1000.
for line in 'PartNo.: CV51D32' 'Filesize: 00001000' 'Checksum: 1000' 'MaxCounter: 100' \
            'String: AB          ' 'Number: 0000001A+' 'Start Address: 00007FF0' \
            'End Address: 00007FFF' 'Current Counter: 3' 'Current Serial Num: 0000001C'; do
  grep -qxF "$line" <<<"$out" || fail "info lacks '$line': $out"
done
grep -q '^Read Info => Pass !' <<<"$out" || fail "info log: $out"
[ "$(grep -c '^  \[[ x]\] ' <<<"$out")" = 24 ] || fail "option rows: $out"

json=$("$bin/writer-cli" offline info --json 2>/dev/null)
python3 - "$json" <<'PY' || fail "json: $json"
import json, sys
d = json.loads(sys.argv[1])
assert d["Current Counter"] == "3" and d["Number"] == "0000001A+", d
assert len(d["options"]) == 24 and d["options"][0]["name"] == "LOCK", d
PY

# Bytes that are not UTF-8 text (here 0xFF, an overlong form, a surrogate) show as escapes in
# both outputs, which stay valid UTF-8; so does a backslash.
"$bin/writer-cli" offline download --part 51 --load "$work/code.bin" --serial-enable 1 \
  --serial-string $'A\xff\xc0\xaf\xed\xa0\x80\\' >/dev/null || fail "download of an 8-bit string"
"$bin/writer-cli" offline info --json 2>/dev/null | python3 -c '
import json, sys
d = json.loads(sys.stdin.buffer.read().decode("utf-8"))
assert d["String"] == r"A\xFF\xC0\xAF\xED\xA0\x80\\" + "    ", d["String"]' || fail "8-bit string in JSON"
"$bin/writer-cli" offline info 2>/dev/null | grep -xF 'String: A\xFF\xC0\xAF\xED\xA0\x80\\    ' >/dev/null ||
  fail "8-bit string in text"

# A Write Info that fails behind a passed Write Code: exit 1 and what the writer holds.
"$bin/vwriter" ctl --socket "$work/s" fault 'ack0:2/3#1@1' >/dev/null || fail "ctl fault"
status=0; "$bin/writer-cli" offline download --part 51 --load "$work/code.bin" >/dev/null \
  2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -q "stand-alone runs are stopped" "$work/err" || fail "write info: $status"

# Values beyond the dialog's limits: status 2, and the writer sees no frame at all.
frames=$(grep -c '"kind":"frame"' "$work/trace")
for args in "--max-counter 65536" "--max-counter -1" "--serial-address 7FF1" \
            "--serial-string 0123456789ABC" "--serial-string 中文中文x" "--serial-enable 2" \
            "--auto 0x100" "--serial-number 1x" "--osc two" "--max-counter 0x10"; do
  status=0; "$bin/writer-cli" offline download --part 51 --load "$work/code.bin" $args \
    >/dev/null 2>"$work/err" || status=$?
  [ "$status" = 2 ] || fail "'$args' exit $status"
  [ -s "$work/err" ] || fail "'$args' said nothing"
done
[ "$(grep -c '"kind":"frame"' "$work/trace")" = "$frames" ] || fail "a refused download sent frames"

# An empty buffer: its line, no line break of its own, exit 1.
status=0; out=$("$bin/writer-cli" offline download --part 51) || status=$?
[ "$status" = 1 ] && [ "$out" = "Code Buffer is empty !" ] || fail "empty buffer: $status '$out'"
echo PASS
