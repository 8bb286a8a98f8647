#!/usr/bin/env bash
# Program then Verify of 64 KiB on eight virtual writers at once with full-speed HID pacing,
# through writer-cli gang: the wall time as a ratio of one writer alone, measured in the same
# run (goal: 1.15 or less). Best of three each. Each writer is a vwriter process and each
# operation a writer-cli process: on a machine with fewer cores than writers the ratio also
# shows how far the cores, not the USB pace, set the time.
#   bench/writer/gang.sh [BIN_DIR]    (default build/bench/bin, else build/dev/bin)
set -euo pipefail
cd "$(dirname "$0")/../.."
bin=${1:-build/bench/bin}
[ -x "$bin/writer-cli" ] || bin=build/dev/bin
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/run HOME=$work
mkdir -m 700 "$XDG_RUNTIME_DIR"

part=45  # 64 KiB of code space, all of it loadable
head -c 65536 /dev/urandom >"$work/code.bin"
for i in $(seq 8); do
  "$bin/vwriter" --socket "$XDG_RUNTIME_DIR/vwriter-$i.sock" --serial "BENCH-$i" --part "$part" \
    --usb-timing &
  pids+=($!)
done
for i in $(seq 8); do
  for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/vwriter-$i.sock.ctl" ] && break; sleep 0.05; done
done

# Best of three gang runs over WRITERS, in milliseconds.
best_ms() {
  local best=0 t0 t1 ms
  for _ in 1 2 3; do
    t0=$(date +%s%N)
    "$bin/writer-cli" gang --writers "$1" --part "$part" --load "$work/code.bin" auto 0x0C \
      >"$work/log" || { cat "$work/log" >&2; exit 1; }
    t1=$(date +%s%N)
    ms=$(( (t1 - t0) / 1000000 ))
    if [ "$best" = 0 ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

one=$(best_ms BENCH-1)
eight=$(best_ms BENCH-1,BENCH-2,BENCH-3,BENCH-4,BENCH-5,BENCH-6,BENCH-7,BENCH-8)
echo "Program + Verify of 64 KiB at full-speed HID pace through writer-cli gang ($bin, $(nproc) cores):"
echo "  one writer:    ${one} ms"
awk -v o="$one" -v e="$eight" 'BEGIN {
  printf "  eight writers: %d ms; ratio %.3f (goal 1.15 or less)\n", e, e / o }'
