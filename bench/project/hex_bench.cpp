// ParseIntelHex over a 64 KiB image written as 16-byte records (about 180 KB of text), and
// `writer-cli hex2bin` as a whole process against srec_cat and objcopy on the same file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "project/intel_hex.h"

extern char** environ;

namespace {

std::string FullImageText() {
    std::string text = ":020000040000FA\r\n";
    char line[64];
    for (unsigned address = 0; address < 0x10000; address += 16) {
        unsigned sum = 16 + (address >> 8) + (address & 0xFF);
        int n = std::snprintf(line, sizeof line, ":10%04X00", address);
        for (unsigned i = 0; i < 16; ++i) {
            const unsigned b = (address * 7 + i * 13) & 0xFF;
            sum += b;
            n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "%02X", b);
        }
        std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "%02X\r\n",
                      (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\r\n";
}

const std::string& Text() {
    static const std::string text = FullImageText();
    return text;
}

void BM_ParseIntelHex(benchmark::State& state) {
    const std::string& text = Text();
    for (auto _ : state) {
        auto image = proj::ParseIntelHex(text);
        benchmark::DoNotOptimize(image.bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseIntelHex);

struct RunTime {
    double wall = -1;  // microseconds
    double cpu = -1;   // user + system, microseconds
};

// One run of a command; negative times when it could not run or failed.
RunTime RunOnce(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    auto us = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec);
    };
    return {std::chrono::duration<double, std::micro>(end - start).count(),
            us(usage.ru_utime) + us(usage.ru_stime)};
}

// Medians of wall and CPU time over `runs` runs.
RunTime Median(const std::vector<std::string>& argv, int runs) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const RunTime t = RunOnce(argv);
        if (t.wall < 0) return {};
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

void CompareProcesses() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("hex-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string in = (dir / "image.hex").string();
    std::ofstream(in, std::ios::binary) << Text();
    const std::string ours = (dir / "ours.bin").string();
    const std::string srec = (dir / "srec.bin").string();
    const std::string objc = (dir / "objcopy.bin").string();
    constexpr int kRuns = 61;
    const RunTime tOurs = Median({WRITER_CLI_PATH, "hex2bin", in, ours}, kRuns);
    const RunTime tSrec = Median({"srec_cat", in, "-Intel", "-o", srec, "-Binary"}, kRuns);
    const RunTime tObj = Median({"objcopy", "-I", "ihex", "-O", "binary", in, objc}, kRuns);
    std::printf("\nwhole process, %zu bytes of HEX text, medians of %d runs (wall / cpu):\n",
                Text().size(), kRuns);
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("  writer-cli hex2bin  %7.0f / %7.0f us\n", tOurs.wall, tOurs.cpu);
    std::printf("  srec_cat            %7.0f / %7.0f us   writer-cli/srec_cat = %.2f / %.2f\n",
                tSrec.wall, tSrec.cpu, ratio(tOurs.wall, tSrec.wall), ratio(tOurs.cpu, tSrec.cpu));
    std::printf("  objcopy             %7.0f / %7.0f us   writer-cli/objcopy  = %.2f / %.2f\n",
                tObj.wall, tObj.cpu, ratio(tOurs.wall, tObj.wall), ratio(tOurs.cpu, tObj.cpu));
    auto slurp = [](const std::string& p) {
        std::ifstream f(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    };
    std::printf("  outputs identical: srec_cat %s, objcopy %s\n",
                slurp(ours) == slurp(srec) ? "yes" : "NO",
                slurp(ours) == slurp(objc) ? "yes" : "NO");
    fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CompareProcesses();
    return 0;
}
