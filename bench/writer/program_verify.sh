#!/usr/bin/env bash
# Program then Verify of 64 KiB through writer-cli against the virtual writer, whole process,
# without pacing and with full-speed HID pacing; the paced time as a ratio of the floor that
# the report count allows (63 payload bytes a report, one report a millisecond each way, each
# chunk acknowledgement a report of its own).
#   bench/writer/program_verify.sh [BIN_DIR]    (default build/bench/bin, else build/dev/bin)
set -euo pipefail
cd "$(dirname "$0")/../.."
bin=${1:-build/bench/bin}
[ -x "$bin/writer-cli" ] || bin=build/dev/bin
work=$(mktemp -d)
vw_pid=
trap '[ -n "$vw_pid" ] && kill "$vw_pid" 2>/dev/null; rm -rf "$work"' EXIT

part=45  # 64 KiB of code space, all of it loadable
head -c 65536 /dev/urandom >"$work/code.bin"
export TUNNIX_DEVICE="vwriter:$work/s"

start() {
  [ -n "$vw_pid" ] && { kill "$vw_pid"; wait "$vw_pid" 2>/dev/null || true; }
  rm -f "$work/s" "$work/s.ctl"
  "$bin/vwriter" --socket "$work/s" --part "$part" "$@" &
  vw_pid=$!
  for _ in $(seq 100); do [ -S "$work/s.ctl" ] && return; sleep 0.05; done
  echo "vwriter did not start" >&2; exit 1
}

# Best of three runs, in milliseconds.
best_ms() {
  local best=0 t0 t1 ms
  for _ in 1 2 3; do
    t0=$(date +%s%N)
    "$bin/writer-cli" op --part "$part" --load "$work/code.bin" auto 0x0C >"$work/log"
    t1=$(date +%s%N)
    grep -q "^Verify => Pass" "$work/log" || { cat "$work/log" >&2; exit 1; }
    ms=$(( (t1 - t0) / 1000000 ))
    if [ "$best" = 0 ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

chunks=$((65536 / 128))
per_chunk=$(( (128 + 62) / 63 ))
# Firmware reply, Check ID, the two commands (frame + status each), the written chunks with
# their acknowledgements, the read chunks.
floor=$(( 2 + 2 + 2 + chunks * (per_chunk + 1) + 2 + chunks * per_chunk ))

start
plain=$(best_ms)
start --usb-timing
paced=$(best_ms)
echo "Program + Verify of 64 KiB, whole writer-cli process ($bin):"
echo "  without pacing: ${plain} ms (goal under 150 ms)"
awk -v p="$paced" -v f="$floor" 'BEGIN {
  printf "  with pacing:    %d ms; floor from the report count %d ms; ratio %.3f (goal within 5%%)\n", p, f, p / f }'
