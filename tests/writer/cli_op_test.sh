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

# Bad arguments: exit 2 with the usage text.
for args in "--part 1" "--part 1 dump" "--part 1 auto 0x100" "--part x check-id" \
            "--part 1 --upgrade maybe check-id" "--part 1 frobnicate"; do
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
