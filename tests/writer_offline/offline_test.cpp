// Download and Read Info against the virtual writer: the whole log, the frames, and the record
// as the writer stored it, read back byte for byte.
#include <gtest/gtest.h>

#include <fstream>

#include "workbench/file_actions.h"
#include "writer/offline.h"
#include "writer_fixture.h"

namespace wt {
namespace {

constexpr const char* kBegin = "----Begin----\r\n";
constexpr const char* kEnd = "-----End-----\r\n";
constexpr const char* kWriteCode = "Write Code => Pass !\t [0.000\"]\r\n";
constexpr const char* kWriteInfo = "Write Info => Pass !\t [0.000\"]\r\n";
constexpr const char* kReadInfo = "Read Info => Pass !\t [0.000\"]\r\n";
constexpr int kPart = 51;  // 32 KB, seven option bytes, series 3

class BuiltinIsp : public model::FileDialogs {
  public:
    std::string open;
    std::optional<std::string> OpenProgramFile() override { return open; }
    std::optional<std::uint32_t> SelectArea(std::uint32_t) override { return 0u; }
    std::optional<std::string> SaveBufferFile() override { return std::nullopt; }
    std::optional<std::string> SaveProjectFile() override { return std::nullopt; }
    void CustomSetting(std::uint8_t&, std::string&) override {}
    std::optional<model::IspChoice> InsertIsp() override {
        return model::IspChoice{proj::ISP_SRC_BUILTIN, {}};
    }
};

std::uint32_t LE(const writer::InfoBlock& b, std::size_t at, int width) {
    std::uint32_t v = 0;
    for (int k = 0; k < width; ++k)
        v |= std::uint32_t{b[at + static_cast<std::size_t>(k)]} << (8 * k);
    return v;
}

class Offline : public WriterTest {
  protected:
    // Loads `ap` as the application and inserts the part's built-in ISP code.
    void LoadWithIsp(const std::vector<std::uint8_t>& ap) {
        const std::string path = device->Dir() + "/app.bin";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(ap.data()),
                   static_cast<std::streamsize>(ap.size()));
        BuiltinIsp dialogs;
        dialogs.open = path;
        ASSERT_TRUE(model::LoadFileAtStartup(bench, path, dialogs, questions).passed());
        ASSERT_TRUE(model::InsertIspButton(bench, dialogs).passed());
        ASSERT_GT(bench.info.ispLength, 0);
        ASSERT_EQ(bench.info.layout, proj::LAYOUT_AP_ISP);
        log.Clear();
    }
    std::optional<writer::InfoBlock> Read(writer::InfoReadout* readout = nullptr) {
        std::optional<writer::InfoBlock> got;
        writer::ReadInfoOptions options;
        options.show = [&](const writer::InfoBlock& b, const writer::InfoReadout& r) {
            got = b;
            if (readout) *readout = r;
        };
        log.Clear();
        EXPECT_TRUE(writer::ReadInfo(*writer, options));
        return got;
    }
    std::uint32_t IspStart() const { return bench.CodeSize() - bench.panel.IspSize(); }
};

// The record of a project with the ISP code below the top: every field at its offset, the ISP
// code sent right after the AP bytes, and the chip a stand-alone run programs.
TEST_F(Offline, DownloadStoresTheRecordByteForByte) {
    Start({}, kPart);
    const auto ap = Pattern(0x1000, 3);
    LoadWithIsp(ap);
    auto& info = bench.info;
    info.maxCounter = 500;
    info.serialEnabled = 1;
    info.autoIncrement = 1;
    info.serialAddress = 0x7000;
    std::copy_n("SN-", 3, info.serialString.begin());
    info.serialNumber = 0x100;
    info.autoSteps = 0x1D;
    const std::uint32_t ispStart = IspStart();
    const std::uint32_t ispLength = info.ispLength;
    const auto image = buffer.Bytes();

    ASSERT_TRUE(writer::DownloadOffline(*writer).passed());
    EXPECT_EQ(log.text, std::string(kBegin) + kWriteCode + kWriteInfo + kEnd);
    EXPECT_EQ(Frames(), (std::vector<Frame>{
                            {0, 0, 0, 0, 0}, {2, 2, 0, 0x1000 + ispLength, 0}, {2, 3, 0, 69, 0}}));
    EXPECT_EQ(info.apLength, 0x1000u);

    // The block as the writer holds it, read with a link of the test's own.
    std::optional<vwt::Bytes> raw;
    {
        vwt::Link direct;
        ASSERT_TRUE(direct.connected());
        raw = direct.ReadCommand(3, 2, 0, 512);
    }
    ASSERT_TRUE(raw && raw->size() == 512);
    writer::InfoBlock b{};
    std::copy(raw->begin(), raw->end(), b.begin());
    // The code block: AP bytes, then the ISP code directly.
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 0x1000; ++i) sum += ap[i];
    for (std::size_t i = 0; i < ispLength; ++i) sum += image[ispStart + i];
    std::uint32_t recordSum = 0;
    for (std::size_t i = 2; i < 69; ++i) recordSum += b[i];
    EXPECT_EQ(LE(b, 0, 2), recordSum & 0xFFFF);
    EXPECT_EQ(LE(b, 2, 2), 69u);
    EXPECT_EQ(LE(b, 4, 2), DeviceCode());
    EXPECT_EQ(b[6], proj::LAYOUT_AP_ISP);
    for (std::size_t i = 7; i < 15; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[15], 0x1D);
    EXPECT_EQ(LE(b, 16, 4), 0x1000u);
    EXPECT_EQ(LE(b, 20, 2), sum & 0xFFFF);
    EXPECT_EQ(b[22], info.oscIndex);
    EXPECT_EQ(LE(b, 23, 2), 500u);
    EXPECT_EQ(b[25], 1);
    EXPECT_EQ(b[26], 1);
    EXPECT_EQ(LE(b, 27, 4), 0x7000u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[31]), 12), "SN-         ");
    EXPECT_EQ(LE(b, 43, 4), 0x100u);
    EXPECT_EQ(LE(b, 47, 4), ispStart);
    EXPECT_EQ(LE(b, 51, 4), ispLength);
    EXPECT_EQ(LE(b, 55, 4), 0x1000u);
    EXPECT_EQ(b[59], 7);
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(b[60 + i], info.optionBytes[i]) << i;
    EXPECT_EQ(LE(b, 67, 2), kPart);
    EXPECT_EQ(LE(b, 504, 4), 0u);
    // Read Info's own copy carries the part index at offset 4.
    const auto seen = Read();
    ASSERT_TRUE(seen);
    EXPECT_EQ(LE(*seen, 4, 2), kPart);
    EXPECT_TRUE(std::equal(b.begin() + 6, b.end(), seen->begin() + 6));

    // A chip programmed stand-alone holds the AP bytes at 0 and the ISP code at its start.
    ASSERT_EQ(device->Ctl("run 1").rfind("error", 0), std::string::npos);
    const std::string chipFile = device->Dir() + "/chip.bin";
    ASSERT_EQ(device->Ctl("dump-chip " + chipFile).rfind("error", 0), std::string::npos);
    std::ifstream in(chipFile, std::ios::binary);
    const std::vector<std::uint8_t> chip((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(chip.size(), bench.CodeSize());
    EXPECT_TRUE(std::equal(ap.begin(), ap.end(), chip.begin()));
    EXPECT_TRUE(std::equal(image.begin() + ispStart, image.begin() + ispStart + ispLength,
                           chip.begin() + ispStart));
}

// A whole-space image with the ISP code at the top: apLength becomes the ISP start and stays.
TEST_F(Offline, WholeSpaceImageIsCutAtTheIspStart) {
    Start({}, kPart);
    LoadWithIsp(Pattern(0x8000, 9));
    bench.info.apLength = bench.CodeSize();
    const std::uint32_t ispStart = IspStart();
    const std::uint32_t ispLength = bench.info.ispLength;
    ASSERT_TRUE(writer::DownloadOffline(*writer).passed());
    EXPECT_EQ(bench.info.apLength, ispStart);
    EXPECT_EQ(Frames().at(1), (Frame{2, 2, 0, ispStart + ispLength, 0}));
    const auto block = Read();
    ASSERT_TRUE(block);
    EXPECT_EQ(LE(*block, 16, 4), ispStart);
    EXPECT_EQ(LE(*block, 55, 4), ispStart);
    const auto image = buffer.Bytes();
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < ispStart + ispLength; ++i) sum += image[i];
    EXPECT_EQ(LE(*block, 20, 2), sum & 0xFFFF);
}

struct StopCase {
    const char* name;
    bool loaded;
    std::string log;
};

class Stops : public Offline, public ::testing::WithParamInterface<StopCase> {};

// Nothing to download: no connection at all, and only the empty-buffer line.
TEST_P(Stops, NothingIsSent) {
    Start({}, kPart);
    if (GetParam().loaded) Load(Pattern(16, 1));  // bytes, but no AP or ISP length
    EXPECT_TRUE(writer::DownloadOffline(*writer).notStarted());
    EXPECT_EQ(log.text, GetParam().log);
    EXPECT_TRUE(Frames().empty());
    EXPECT_FALSE(writer->busy);
}

INSTANTIATE_TEST_SUITE_P(All, Stops,
                         ::testing::Values(StopCase{"EmptyBuffer", false, "Code Buffer is empty !"},
                                           StopCase{"ZeroLength", true, ""}),
                         [](const auto& p) { return std::string(p.param.name); });

// Lengths from a damaged project: an AP image reaching into the ISP space is cut at the ISP
// start first; a range still beyond the code space is refused with its reason between Begin
// and End, and no Write Code is sent.
TEST_F(Offline, NothingBeyondTheCodeSpaceIsSent) {
    const struct {
        std::uint8_t layout;
        std::uint32_t apLength, ispLength;
        const char* refusal;  // null: the whole 32 KB is sent
    } rows[] = {
        {proj::LAYOUT_AP_ONLY, 0x8000, 0, nullptr},
        {proj::LAYOUT_AP_ONLY, 0x8001, 0, "AP bytes 00000000-00008000 lie"},
        {proj::LAYOUT_AP_ONLY, 0x20000, 0, "AP bytes 00000000-0001FFFF lie"},
        {proj::LAYOUT_AP_ONLY, 0x7000, 0x1001, "ISP code 00007000-00008000 lies"},
        {proj::LAYOUT_AP_ISP, 0x100, 0xFFFF, "ISP code 00008000-00017FFE lies"},
        {proj::LAYOUT_AP_ISP, 0xFFFFFF00u, 0, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.apLength);
        Start({}, kPart);  // 32 KB, ISP Space None: the ISP start is the code size
        Load(Pattern(0x100, 6));
        bench.info.layout = row.layout;
        bench.info.apLength = row.apLength;
        bench.info.ispLength = row.ispLength;
        const core::Outcome outcome = writer::DownloadOffline(*writer);
        EXPECT_EQ(outcome.passed(), row.refusal == nullptr);
        if (row.refusal) {
            EXPECT_EQ(log.text, std::string(kBegin) + "Write Code => Fail !\t [0.000\"]\r\n" +
                                    row.refusal + " beyond the code size 00008000 !\r\n" + kEnd);
            EXPECT_EQ(Frames(), (std::vector<Frame>{{0, 0, 0, 0, 0}}));
        } else {
            EXPECT_EQ(Frames().at(1), (Frame{2, 2, 0, 0x8000, 0}));
        }
        device.reset();
    }
}

TEST_F(Offline, FailedWriteCodeSendsNoWriteInfo) {
    Start({"--fault", "ack0:2/2@2"}, kPart);
    LoadWithIsp(Pattern(0x1000, 5));
    EXPECT_TRUE(writer::DownloadOffline(*writer).failed());
    EXPECT_EQ(log.text, std::string(kBegin) + "Write Code => Fail !\t [0.000\"]\r\n" + kEnd);
    for (const Frame& f : Frames()) EXPECT_FALSE(f.cmd == 2 && f.sub == 3) << f;
    EXPECT_FALSE(writer->busy);
}

// A Write Info that fails behind a passed Write Code: the writer gets a record that lets it
// program no chip when it takes one, and the log says what the writer holds.
TEST_F(Offline, FailedWriteInfoAfterItsCodeStopsStandaloneRuns) {
    Start({}, kPart);
    LoadWithIsp(Pattern(0x200, 5));
    bench.info.maxCounter = 500;
    const auto failedInfo = [&](const char* fault) {
        device->Ctl(std::string("fault ") + fault);
        log.Clear();
        EXPECT_TRUE(writer::DownloadOffline(*writer).failed());
        device->Ctl("clear-faults");
        return log.text;
    };
    const std::string failed =
        std::string(kBegin) + kWriteCode + "Write Info => Fail !\t [0.000\"]\r\nThe writer holds ";
    EXPECT_EQ(failedInfo("ack0:2/3#1@1"), failed +
                                              "the new code without its record: stand-alone runs "
                                              "are stopped (MaxCounter 0) until the next good "
                                              "download !\r\n" +
                                              kEnd);
    writer::InfoReadout r;
    ASSERT_EQ(device->Ctl("run 2").rfind("error", 0), std::string::npos);
    ASSERT_TRUE(Read(&r));
    EXPECT_EQ(r.maxCounter, "0");
    EXPECT_EQ(r.currentCounter, "0");  // no chip programmed
    EXPECT_EQ(failedInfo("ack0:2/3@1"), failed +
                                            "the new code with the old record: download again "
                                            "before running stand-alone !\r\n" +
                                            kEnd);
}

// Counter and serial progress before and after stand-alone runs, with auto increment.
TEST_F(Offline, ReadoutFollowsStandaloneRuns) {
    Start({}, kPart);
    LoadWithIsp(Pattern(0x800, 2));
    auto& info = bench.info;
    info.maxCounter = 10;
    info.serialEnabled = 1;
    info.autoIncrement = 1;
    info.serialAddress = 0x7FF0;
    std::copy_n("AB", 2, info.serialString.begin());
    info.serialNumber = 0x1A;
    ASSERT_TRUE(writer::DownloadOffline(*writer).passed());

    writer::InfoReadout r;
    ASSERT_TRUE(Read(&r));
    EXPECT_EQ(log.text, std::string(kBegin) + kReadInfo + kEnd);
    EXPECT_EQ(r.partNo, "CV51D32");
    EXPECT_EQ(r.filesize, "00000800");
    EXPECT_EQ(r.maxCounter, "10");
    EXPECT_EQ(r.string, "AB          ");
    EXPECT_EQ(r.number, "0000001A+");
    EXPECT_EQ(r.startAddress, "00007FF0");
    EXPECT_EQ(r.endAddress, "00007FFF");
    EXPECT_EQ(r.currentCounter, "0");
    EXPECT_EQ(r.currentSerialNum, "0000001A");
    EXPECT_EQ(r.ispSpace, bench.panel.isp.Text(bench.panel.isp.Selected()));

    ASSERT_EQ(device->Ctl("run 3").rfind("error", 0), std::string::npos);
    ASSERT_TRUE(Read(&r));
    EXPECT_EQ(r.currentCounter, "3");
    EXPECT_EQ(r.currentSerialNum, "0000001C");  // progress 3 from 0x1A
    // The counter stops at MaxCounter.
    ASSERT_EQ(device->Ctl("run 20").rfind("error", 0), std::string::npos);
    ASSERT_TRUE(Read(&r));
    EXPECT_EQ(r.currentCounter, "10");
}

// A Read Info that fails on its status byte or a short read shows no Information dialog, and the
// window stays on its part although the block names another.
TEST_F(Offline, AFailedReadInfoShowsNothingAndSwitchesNoPart) {
    for (const char* fault : {"fault status0:3/2", "fault shortread:3/2@3"}) {
        Start({}, kPart);
        LoadWithIsp(Pattern(0x100, 4));
        ASSERT_TRUE(writer::DownloadOffline(*writer).passed());
        ASSERT_TRUE(bench.SelectPartByIndex(1));
        device->Ctl(fault);
        log.Clear();
        writer::ReadInfoOptions options;
        options.show = [](const writer::InfoBlock&, const writer::InfoReadout&) { FAIL(); };
        EXPECT_FALSE(writer::ReadInfo(*writer, options));
        EXPECT_EQ(log.text, std::string(kBegin) + "Read Info => Fail !\t [0.000\"]\r\n" + kEnd);
        EXPECT_EQ(bench.currentPart, 1) << fault;
        device.reset();
    }
}

TEST_F(Offline, SerialFieldsStayEmptyWhenDisabled) {
    Start({}, kPart);
    LoadWithIsp(Pattern(0x100, 4));
    bench.info.maxCounter = 7;
    bench.info.serialNumber = 0x55;
    ASSERT_TRUE(writer::DownloadOffline(*writer).passed());
    writer::InfoReadout r;
    ASSERT_TRUE(Read(&r));
    EXPECT_EQ(r.maxCounter, "7");
    EXPECT_EQ(r.currentCounter, "0");
    for (const std::string* s :
         {&r.string, &r.number, &r.startAddress, &r.endAddress, &r.currentSerialNum}) {
        EXPECT_EQ(*s, "");
    }
}

// A block made for a part of another series: the window switches both lists (series 5 is not at
// list position 5, series 4 being listed last) and the log still reads as before the switch.
TEST_F(Offline, BlockOfAnotherSeriesSwitchesBothListsAndKeepsTheLog) {
    constexpr int kOther = 286;  // series 5
    Start({}, kOther);
    Load(Pattern(0x400, 8));
    bench.info.apLength = 0x400;
    ASSERT_TRUE(writer::DownloadOffline(*writer).passed());

    ASSERT_TRUE(bench.SelectPartByIndex(1));
    Load(Pattern(0x10, 1));
    writer::InfoReadout r;
    ASSERT_TRUE(Read(&r));
    EXPECT_EQ(bench.currentPart, kOther);
    EXPECT_EQ(bench.series.ValueOfSelection(), 5);
    EXPECT_EQ(bench.parts.ValueOfSelection(), kOther);
    EXPECT_TRUE(bench.IsBufferEmpty());  // a part change empties the buffer
    EXPECT_EQ(log.text, std::string(kBegin) + kReadInfo + kEnd);
    EXPECT_EQ(r.partNo, "CV52E32");
    EXPECT_EQ(r.filesize, "00000400");
    EXPECT_FALSE(r.options[0].name.empty());
}

}  // namespace
}  // namespace wt
