#include "writer_fixture.h"

#include <algorithm>
#include <ostream>
#include <sstream>
#include <string_view>

#include "catalogue/part_database.h"

namespace wt {

std::ostream& operator<<(std::ostream& out, const Frame& f) {
    return out << f.cmd << "/" << f.sub << " p1=0x" << std::hex << f.p1 << " p2=0x" << f.p2
               << " p3=0x" << f.p3 << std::dec;
}

namespace {

// Tabs and line ends shown as escapes, so a difference in them can be seen.
std::string Visible(std::string_view line) {
    std::string out;
    for (const char c : line) {
        out += c == '\t' ? "\\t" : c == '\r' ? "\\r" : std::string(1, c);
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? end : end + 1 - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

template <typename T>
::testing::AssertionResult FirstDifference(const char* what, const std::vector<T>& expected,
                                           const std::vector<T>& actual,
                                           std::string (*show)(const T&)) {
    for (std::size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        const bool both = i < expected.size() && i < actual.size();
        if (both && expected[i] == actual[i]) continue;
        return ::testing::AssertionFailure()
               << what << " " << i + 1
               << " differs\n  expected: " << (i < expected.size() ? show(expected[i]) : "(none)")
               << "\n  actual:   " << (i < actual.size() ? show(actual[i]) : "(none)");
    }
    return ::testing::AssertionSuccess();
}

std::uint32_t Field(const std::string& line, std::string_view name) {
    const std::string key = "\"" + std::string(name) + "\":";
    const auto at = line.find(key);
    if (at == std::string::npos) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(std::stoul(line.substr(at + key.size())));
}

}  // namespace

::testing::AssertionResult SameLog(const std::string& expected, const std::string& actual) {
    return FirstDifference<std::string>("log line", Lines(expected), Lines(actual),
                                        [](const std::string& l) { return Visible(l); });
}

::testing::AssertionResult SameFrames(const std::vector<Frame>& expected,
                                      const std::vector<Frame>& actual) {
    return FirstDifference<Frame>("frame", expected, actual, [](const Frame& f) {
        std::ostringstream out;
        out << f;
        return out.str();
    });
}

std::vector<Frame> WriterTest::AfterFirmwareCheck(std::vector<Frame> frames) const {
    for (Frame& f : frames) {
        if (f.p1 == kDc) f.p1 = DeviceCode();
    }
    frames.insert(frames.begin(), Frame{0, 0, 0, 0, 0});
    return frames;
}

void WriterTest::Start(std::vector<std::string> args, int part) {
    args.insert(args.begin(), {"--part", std::to_string(part)});
    device = std::make_unique<vwt::VWriter>(args);
    ASSERT_TRUE(device->Start());
    bench.Attach(&buffer, &log);
    buffer.onChange = [this] { bench.OnBufferChanged(); };
    bench.FillSeriesList();
    ASSERT_TRUE(bench.SelectPartByIndex(part));
    link = std::make_unique<writer::WriterLink>(host);
    ASSERT_TRUE(link->Load(questions));
    writer = std::make_unique<writer::Writer>(bench, *link, host, log, questions);
    writer->ticks = [] { return 1000u; };
    log.Clear();
    log.clears = 0;
}

std::vector<Frame> WriterTest::Frames() const {
    std::vector<Frame> frames;
    for (const std::string& line : device->TraceLines("frame")) {
        if (line.find("\"dir\":\"in\"") == std::string::npos) continue;
        frames.push_back({static_cast<int>(Field(line, "cmd")),
                          static_cast<int>(Field(line, "sub")), Field(line, "p1"),
                          Field(line, "p2"), Field(line, "p3")});
    }
    return frames;
}

int WriterTest::Connections() const {
    int n = 0;
    for (const std::string& line : device->TraceLines("event")) {
        if (line.find("\"connection open\"") != std::string::npos &&
            line.find("\"channel\":\"writer\"") != std::string::npos) {
            ++n;
        }
    }
    return n;
}

std::uint32_t WriterTest::DeviceCode() const {
    return cat::Part(bench.currentPart).DeviceCode();
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 131 + seed) ^ (i >> 8));
    return bytes;
}

}  // namespace wt
