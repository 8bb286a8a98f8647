// One 128-byte chunk and its acknowledgement, and a 64 KiB write plus read-back, through
// libtunnix.so to vwriter without USB pacing; and a paced 64 KiB dump against the time its
// HID reports need.
#include <benchmark/benchmark.h>

#include "catalogue/part_database.h"
#include "harness.h"

using namespace vwt;

namespace {

constexpr std::uint32_t kOfflineCodeBytes = 1u << 20;  // 8192 chunks a data phase

void ChunkRoundTrip(benchmark::State& state) {
    VWriter dev;
    Link link;
    if (!link.connected()) {
        state.SkipWithError("no virtual writer");
        return;
    }
    const Bytes chunk = Pattern(128, 1);
    std::uint32_t left = 0;
    for (auto _ : state) {
        if (left == 0) {
            link.Command(2, 2, 0, kOfflineCodeBytes);
            left = kOfflineCodeBytes / 128;
        }
        link.Send(chunk);
        if (link.Status() != 1) {
            state.SkipWithError("chunk not acknowledged");
            break;
        }
        --left;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 128);
}
BENCHMARK(ChunkRoundTrip)->Unit(benchmark::kMicrosecond);

int PartWith64K() {
    for (int index : cat::AllPartIndices()) {
        if (cat::Part(index).CodeSize() >= 0x10000) return index;
    }
    return 0;
}

void Write64KAndReadBack(benchmark::State& state) {
    const int part = PartWith64K();
    if (part == 0) {
        state.SkipWithError("no 64 KiB part in the catalogue");
        return;
    }
    VWriter dev({"--part", std::to_string(part)});
    Link link;
    const Bytes data(0x10000, 0x00);  // programs over anything without an erase
    for (auto _ : state) {
        if (!link.WriteCommand(2, 0, 0, data) || link.ReadCommand(3, 0, 0, 0x10000) != data) {
            state.SkipWithError("transfer failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * 0x10000);
}
BENCHMARK(Write64KAndReadBack)->Unit(benchmark::kMillisecond);

// --usb-timing: the frame, the status byte and 512 pieces of 3 reports, one a millisecond.
// "vs_reports" is the measured time over that floor; 1.00 is exact, the goal is within 5 %.
void PacedDump64K(benchmark::State& state) {
    const int part = PartWith64K();
    if (part == 0) {
        state.SkipWithError("no 64 KiB part in the catalogue");
        return;
    }
    VWriter dev({"--usb-timing", "--part", std::to_string(part)});
    Link writer;
    const double floorMs = 1 + 1 + 512 * 3;
    double totalMs = 0;
    for (auto _ : state) {
        const long long start = NowMs();
        if (writer.ReadCommand(3, 0, 0, 0x10000) != Bytes(0x10000, 0xFF)) {
            state.SkipWithError("dump failed");
            break;
        }
        totalMs += static_cast<double>(MillisecondsSince(start));
    }
    state.counters["vs_reports"] = totalMs / static_cast<double>(state.iterations()) / floorMs;
}
BENCHMARK(PacedDump64K)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
