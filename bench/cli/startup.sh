#!/usr/bin/env bash
# writer-cli as a whole process beside its peers, as paired ratios measured in one run:
#   hex2bin of a 64 KiB HEX file   against  objcopy -I ihex -O binary on the same file
#   parts --json                   against  a bare program that links Qt Core and prints a line
# Each pair runs alternately RUNS times (default 20); the figure is the median of the ratios.
#   bench/cli/startup.sh [BIN_DIR] [RUNS]    (default build/bench/bin, else build/dev/bin)
set -euo pipefail
cd "$(dirname "$0")/../.."
bin=${1:-build/bench/bin}
[ -x "$bin/writer-cli" ] || bin=build/dev/bin
runs=${2:-20}
[ -x "$bin/bare_qt_core" ] || { echo "build the bench preset first (bare_qt_core)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 65536 /dev/urandom >"$work/code.bin"
objcopy -I binary -O ihex "$work/code.bin" "$work/code.hex"

python3 - "$bin" "$work" "$runs" <<'PY'
import statistics, subprocess, sys, time
bin, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])

def seconds(cmd):
    t0 = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - t0

def pair(name, ours, peer):
    ratios, a, b = [], [], []
    for i in range(runs + 2):
        first, second = (ours, peer) if i % 2 == 0 else (peer, ours)
        t1, t2 = seconds(first), seconds(second)
        x, y = (t1, t2) if first is ours else (t2, t1)
        if i >= 2:  # two warm-up pairs
            a.append(x); b.append(y); ratios.append(x / y)
    print(f"{name}: {statistics.median(ratios):.2f}  "
          f"(medians {statistics.median(a) * 1e3:.1f} ms against {statistics.median(b) * 1e3:.1f} ms, {runs} pairs)")

pair("hex2bin / objcopy", [f"{bin}/writer-cli", "hex2bin", f"{work}/code.hex", f"{work}/ours.bin"],
     ["objcopy", "-I", "ihex", "-O", "binary", f"{work}/code.hex", f"{work}/peer.bin"])
pair("parts --json / bare Qt Core", [f"{bin}/writer-cli", "parts", "--json"], [f"{bin}/bare_qt_core"])
subprocess.run(["cmp", f"{work}/ours.bin", f"{work}/peer.bin"], check=True)
PY
