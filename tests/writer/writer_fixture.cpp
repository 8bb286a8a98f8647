#include "writer_fixture.h"

#include <ostream>
#include <string_view>

#include "catalogue/part_database.h"

namespace wt {

std::ostream& operator<<(std::ostream& out, const Frame& f) {
    return out << f.cmd << "/" << f.sub << " p1=0x" << std::hex << f.p1 << " p2=0x" << f.p2
               << " p3=0x" << f.p3 << std::dec;
}

namespace {

std::uint32_t Field(const std::string& line, std::string_view name) {
    const std::string key = "\"" + std::string(name) + "\":";
    const auto at = line.find(key);
    if (at == std::string::npos) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(std::stoul(line.substr(at + key.size())));
}

}  // namespace

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
