// The time a chip's record adds to its operation with the default SQLite record: a serial
// number taken, then the chip appended with its steps (goal: under 2 ms together), and each
// half alone. The record lives in a fresh folder beside the program, on the disk a build
// uses, not in a temporary folder that may be held in memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "production/store.h"

namespace {

namespace fs = std::filesystem;

class Folder {
  public:
    Folder() {
        std::string pattern =
            (fs::read_symlink("/proc/self/exe").parent_path() / "record-bench-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

production::ChipRecord SampleChip() {
    production::ChipRecord chip = production::NewChip();
    chip.writerName = "hid:/dev/hidraw3";
    chip.writerSerial = "0001A7";
    chip.partName = "CV51D32";
    chip.partIndex = 51;
    chip.projectFile = "/srv/line/product.qrx";
    chip.checksum = 0x1A2B;
    chip.sha256 = std::string(64, 'c');
    chip.sequence = "SN";
    chip.steps = {{"Erase", core::Ending::kPassed, 120},
                  {"Program", core::Ending::kPassed, 900},
                  {"Verify", core::Ending::kPassed, 450}};
    chip.result = core::Ending::kPassed;
    chip.elapsedMs = 1470;
    return chip;
}

// `take` and `append` say which halves each iteration does.
void Record(benchmark::State& state, bool take, bool append) {
    const Folder folder;
    auto store = production::OpenRecord(folder.path() + "/production.db");
    if (!store) {
        state.SkipWithError(store.why.c_str());
        return;
    }
    production::Store& record = **store.value;
    production::ChipRecord chip = SampleChip();
    for (auto _ : state) {
        if (take) {
            const auto number = record.TakeSerial({"SN", 1, 1});
            if (!number) {
                state.SkipWithError(number.why.c_str());
                return;
            }
            chip.serial = *number.value;
        }
        if (append && !record.Append(chip).passed()) {
            state.SkipWithError("the chip was not appended");
            return;
        }
    }
}

void BM_OneChipRecord(benchmark::State& state) {
    Record(state, true, true);
}
void BM_TakeSerial(benchmark::State& state) {
    Record(state, true, false);
}
void BM_AppendWithoutSerial(benchmark::State& state) {
    Record(state, false, true);
}

BENCHMARK(BM_OneChipRecord)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TakeSerial)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_AppendWithoutSerial)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
