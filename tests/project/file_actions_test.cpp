// The file buttons driven through the workbench, as the window and writer-cli drive them.
#include "workbench/file_actions.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "catalogue/part_database.h"
#include "project/file_io.h"
#include "project/program_image.h"
#include "workbench/vector_code_buffer.h"

using namespace proj;
using namespace model;
namespace fs = std::filesystem;

namespace {

enum { kLoadOk, kLoadFail, kLoadTooLarge };

struct RecordingLog : core::MessageSink {
    std::string text;
    void Clear() override { text.clear(); }
    void Append(std::string_view t) override { text += t; }
};

struct ScriptedQuestions : core::Questions {
    bool answer = true;
    std::vector<std::string> shown;
    void Inform(std::string_view caption, std::string_view text) override {
        shown.push_back(std::string(caption) + "|" + std::string(text));
    }
    bool AskOkCancel(std::string_view, std::string_view text) override {
        shown.emplace_back(text);
        return true;
    }
    bool AskYesNo(std::string_view, std::string_view text) override {
        shown.emplace_back(text);
        return answer;
    }
};

struct ScriptedDialogs : FileDialogs {
    std::optional<std::string> open, saveBuffer, saveProject;
    std::optional<std::uint32_t> area = 0;
    std::optional<IspChoice> isp;
    int customCalls = 0;
    std::uint8_t shownId = 0;
    std::string shownText;
    std::uint8_t newId = 0;
    std::string newText;
    std::optional<std::string> OpenProgramFile() override { return open; }
    std::optional<std::uint32_t> SelectArea(std::uint32_t) override { return area; }
    std::optional<std::string> SaveBufferFile() override { return saveBuffer; }
    std::optional<std::string> SaveProjectFile() override { return saveProject; }
    void CustomSetting(std::uint8_t& id, std::string& text) override {
        ++customCalls;
        shownId = id;
        shownText = text;
        id = newId;
        text = newText;
    }
    std::optional<IspChoice> InsertIsp() override { return isp; }
};

// A part of the catalogue with the wanted properties, or -1.
template <typename Pred>
int FindPart(Pred pred) {
    for (int i : cat::AllPartIndices()) {
        if (cat::Part(i).Exists() && pred(cat::Part(i))) return i;
    }
    return -1;
}

class FileActions : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("project-actions-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        bench.Attach(&buffer, &log);
        buffer.onChange = [this] { bench.OnBufferChanged(); };
        bench.FillSeriesList();
    }
    void TearDown() override { fs::remove_all(dir); }

    void Select(int part) { ASSERT_TRUE(bench.SelectPartByIndex(part)) << part; }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string WriteText(const std::string& name, const std::string& text) {
        return Write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    // Loaded, failed, or too large for the part.
    int Load(const std::string& path, std::optional<std::uint32_t> area = 0) {
        dialogs.area = area;
        const core::Outcome loaded = LoadFileAtStartup(bench, path, dialogs, questions);
        if (loaded.passed()) return kLoadOk;
        return loaded.why() == kWhyTooLarge ? kLoadTooLarge : kLoadFail;
    }
    std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed = 1) {
        std::vector<std::uint8_t> v(n);
        for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
        return v;
    }

    fs::path dir;
    model::VectorCodeBuffer buffer;
    RecordingLog log;
    ScriptedQuestions questions;
    ScriptedDialogs dialogs;
    model::Workbench bench;
};

}  // namespace

TEST_F(FileActions, LoadsMergeAndReportTheirResult) {
    Select(cat::AllPartIndices().front());
    EXPECT_EQ(Load(Write("a.bin", {1, 2, 3, 4})), kLoadOk);
    EXPECT_EQ(log.text, "Load file ... => OK !\r\n");
    EXPECT_EQ(buffer.Bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(bench.info.layout, LAYOUT_AP_ONLY);
    EXPECT_EQ(bench.info.SourceName(), "a.bin");
    EXPECT_EQ(bench.filepath.text, (dir / "a.bin").string());
    EXPECT_EQ(bench.filesize.text, "4 (4h)");

    EXPECT_EQ(Load(Write("d.bin", {9, 8}), 10), kLoadOk);
    EXPECT_EQ(buffer.Size(), 12u);
    EXPECT_EQ(bench.info.apLength, 12u);
    EXPECT_EQ(bench.info.dataLength, 12u);

    // Empty file: OK and nothing changes; missing file and cancelled area dialog: Fail.
    EXPECT_EQ(Load(Write("empty.bin", {})), kLoadOk);
    EXPECT_EQ(buffer.Size(), 12u);
    EXPECT_EQ(Load((dir / "missing.bin").string()), kLoadFail);
    EXPECT_EQ(log.text, "Load file ... => Fail !\r\n");
    EXPECT_EQ(Load(Write("b.bin", {1}), std::nullopt), kLoadFail);
    EXPECT_EQ(buffer.Size(), 12u);

    // The Load File button: a cancelled Open dialog.
    dialogs.open.reset();
    LoadFileButton(bench, dialogs, questions);
    EXPECT_EQ(log.text, "Load file ... => Cancelled !\r\n");
}

TEST_F(FileActions, HexFilesAndTheLoadLimit) {
    const int part = FindPart(
        [](const cat::Part& p) { return p.MaxLoadSize() != 0 && p.MaxLoadSize() < p.CodeSize(); });
    ASSERT_GE(part, 0);
    Select(part);
    const std::uint32_t limit = cat::Part(part).MaxLoadSize();
    EXPECT_EQ(Load(Write("full.bin", std::vector<std::uint8_t>(limit, 0))), kLoadOk);
    EXPECT_EQ(Load(Write("over.bin", std::vector<std::uint8_t>(limit + 1, 0))), kLoadTooLarge);
    EXPECT_EQ(log.text, "Load file ... => Fail !\r\nFile size is too large !\r\n");
    EXPECT_EQ(buffer.Size(), limit);
    EXPECT_EQ(Load(Write("edge.bin", {1}), limit), kLoadTooLarge);

    // A HEX image placed as data is shifted by the address.
    Select(part);
    EXPECT_EQ(Load(WriteText("p.hex", ":0200100011AA33\n:00000001FF\n"), 0x1000), kLoadOk);
    EXPECT_EQ(buffer.Size(), 0x1012u);
    EXPECT_EQ(buffer.Bytes()[0x1010], 0x11);
    // A HEX file whose image reaches far beyond the limit is refused, not allocated.
    EXPECT_EQ(Load(WriteText("far.hex", ":02000004FFFFFC\n:0100000001FE\n")), kLoadTooLarge);

    // A HEX file without data records: empty buffer, path shown, OK.
    Select(part);
    EXPECT_EQ(Load(WriteText("none.hex", ":00000001FF\n")), kLoadOk);
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(bench.filepath.text, (dir / "none.hex").string());
    // No '.' in the name: raw binary.
    EXPECT_EQ(Load(Write("noext", {':', '0'})), kLoadOk);
    EXPECT_EQ(buffer.Size(), 2u);
    // A damaged HEX file loads nothing, and says where it is damaged.
    EXPECT_EQ(Load(WriteText("cut.hex", ":0100000055AA\n:01000100FE\n")), kLoadFail);
    EXPECT_EQ(log.text,
              "Load file ... => Fail !\r\nHEX line 2: record shorter than its count !\r\n");
    EXPECT_EQ(buffer.Bytes(), (std::vector<std::uint8_t>{':', '0'}));
}

TEST_F(FileActions, IspInsertionPicksTheSpaceAndSetsTheBootBits) {
    const int part = FindPart([](const cat::Part& p) {
        const auto spaces = p.Choices(cat::key::kIspList);
        return p.CodeSize() == 0x3C00 && spaces.size() >= 3 && spaces[2].value == 0x800;
    });
    ASSERT_GE(part, 0);
    Select(part);
    const cat::Part p(part);
    const auto spaces = p.Choices(cat::key::kIspList);
    bench.OnIspChanged(static_cast<int>(spaces.size()) - 1);
    ASSERT_EQ(Load(Write("app.bin", Pattern(0x100))), kLoadOk);
    const auto before = bench.info.optionBytes;
    bench.info.autoSteps = 0x0F;

    dialogs.isp = IspChoice{ISP_SRC_USER, Write("isp.bin", Pattern(0x700, 3))};
    ASSERT_TRUE(InsertIspButton(bench, dialogs).passed());
    EXPECT_EQ(log.text, "Insert ISP-code ... => OK !\r\n");
    EXPECT_EQ(bench.panel.isp.Selected(), 2);
    const auto bytes = buffer.Bytes();
    ASSERT_EQ(bytes.size(), 0x3C00u);
    EXPECT_EQ(bytes[0xFF], Pattern(0x100)[0xFF]);
    EXPECT_EQ(bytes[0x100], 0xFF);
    EXPECT_EQ(bytes[0x33FF], 0xFF);
    EXPECT_EQ(bytes[0x3400], 3);
    EXPECT_EQ(bytes[0x3400 + 0x6FF], Pattern(0x700, 3)[0x6FF]);
    EXPECT_EQ(bytes[0x3B00], 0xFF);
    EXPECT_EQ(bench.info.layout, LAYOUT_AP_ISP);
    EXPECT_EQ(bench.info.ispLength, 0x700);
    EXPECT_EQ(bench.info.IspName(), "isp.bin");
    EXPECT_EQ(bench.info.autoSteps, 0x1F);
    for (const auto& field : cat::ParseFieldSpecList(*p.Text(cat::key::kIspClearBits))) {
        EXPECT_EQ(bench.info.optionBytes[field.byteIndex] & field.mask, 0u);
    }
    EXPECT_NE(bench.info.optionBytes, before);

    // Exactly the largest space is accepted; one byte more is refused.
    const std::uint32_t largest = static_cast<std::uint32_t>(spaces.back().value);
    dialogs.isp = IspChoice{ISP_SRC_USER, Write("max.bin", Pattern(largest))};
    EXPECT_TRUE(InsertIspButton(bench, dialogs).passed());
    dialogs.isp = IspChoice{ISP_SRC_USER, Write("big.bin", Pattern(largest + 1))};
    bench.userIspPath = "x";
    EXPECT_FALSE(InsertIspButton(bench, dialogs).passed());
    EXPECT_EQ(log.text, "Insert ISP-code ... => Fail !\r\nCustom ISP-code size is too large !");
    EXPECT_EQ(bench.info.ispSource, ISP_SRC_NONE);
    EXPECT_TRUE(bench.userIspPath.empty());
    // A missing user file, and the dialog's Exit.
    dialogs.isp = IspChoice{ISP_SRC_USER, (dir / "nothing.bin").string()};
    EXPECT_FALSE(InsertIspButton(bench, dialogs).passed());
    EXPECT_EQ(log.text, "Insert ISP-code ... => Fail !\r\nOpen custom ISP-code fail !");
    dialogs.isp.reset();
    EXPECT_FALSE(InsertIspButton(bench, dialogs).passed());
    EXPECT_EQ(log.text, "Insert ISP-code ... => Cancelled !\r\n");
}

TEST_F(FileActions, IspIntoAnEmptyBufferMovesUpOnTheNextLoad) {
    const int part = cat::AllPartIndices().front();
    Select(part);
    dialogs.isp = IspChoice{ISP_SRC_USER, WriteText("isp.hex", ":0400000001020304F2\n")};
    ASSERT_TRUE(InsertIspButton(bench, dialogs).passed());
    EXPECT_EQ(buffer.Bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(bench.info.layout, LAYOUT_ISP_ONLY);
    ASSERT_EQ(Load(Write("app.bin", {9, 9})), kLoadOk);
    const std::uint32_t codeSize = cat::Part(part).CodeSize();
    const std::uint32_t ispSize = bench.panel.IspSize();
    const auto bytes = buffer.Bytes();
    ASSERT_EQ(bytes.size(), codeSize);
    EXPECT_EQ(bytes[0], 9);
    EXPECT_EQ(bytes[codeSize - ispSize], 1);
    EXPECT_EQ(bytes[codeSize - ispSize + 3], 4);
    EXPECT_EQ(bench.info.layout, LAYOUT_AP_ISP);
    // The operator cuts the buffer short; the next load stays within what it holds.
    buffer.SetBytes({7});
    ASSERT_EQ(Load(Write("more.bin", {5}), 4), kLoadOk);
    EXPECT_EQ(buffer.Size(), codeSize);

    // An empty ISP file into a buffer without application code leaves no old code behind.
    Select(part);
    ASSERT_TRUE(InsertIspButton(bench, dialogs).passed());
    ASSERT_EQ(buffer.Size(), 4u);
    dialogs.isp = IspChoice{ISP_SRC_USER, Write("empty.bin", {})};
    ASSERT_TRUE(InsertIspButton(bench, dialogs).passed());
    EXPECT_EQ(bench.info.ispLength, 0);
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(bench.info.dataLength, 0u);
}

TEST_F(FileActions, EveryPartSurvivesASaveAndLoad) {
    const auto parts = cat::AllPartIndices();
    ASSERT_FALSE(parts.empty());
    for (int part : parts) {
        SCOPED_TRACE(part);
        model::VectorCodeBuffer buffer2;
        RecordingLog log2;
        model::Workbench saver;
        saver.Attach(&buffer2, &log2);
        buffer2.onChange = [&] { saver.OnBufferChanged(); };
        saver.FillSeriesList();
        ASSERT_TRUE(saver.SelectPartByIndex(part));
        const cat::Part p(part);
        dialogs.area = 0;
        ASSERT_EQ(
            LoadFileAtStartup(
                saver, Write("app.bin", Pattern(std::min<std::uint32_t>(p.CodeSize() / 2, 3000))),
                dialogs, questions),
            core::Outcome::Passed());
        dialogs.isp = IspChoice{ISP_SRC_BUILTIN, {}};
        // Parts without a carried code keep going without it.
        [[maybe_unused]] const core::Outcome inserted = InsertIspButton(saver, dialogs);
        if (saver.panel.osc.enabled && saver.panel.osc.Count() > 1)
            saver.OnOscChanged(saver.panel.osc.Count() - 1);
        if (saver.panel.iap.enabled && saver.panel.iap.Count() > 1) saver.OnIapChanged(1);
        saver.info.maxCounter = 321;
        saver.info.serialEnabled = 1;
        saver.info.autoIncrement = 1;
        saver.info.serialAddress = 0x123;
        saver.info.serialNumber = 0xFEDCBA;
        saver.info.serialString[0] = 'Q';
        saver.info.autoSteps = 0x2D;
        dialogs.saveProject = (dir / "p.qrx").string();
        ASSERT_TRUE(SaveProjectButton(saver, dialogs, CurrentSaveEntropy()));
        EXPECT_EQ(log2.text, "Save *.QRX ... => OK !\r\n");
        EXPECT_EQ(saver.info.partIndex, p.DeviceCode());

        // Load into a window that shows another part.
        Select(parts.back() == part ? parts.front() : parts.back());
        ASSERT_EQ(Load(*dialogs.saveProject), kLoadOk);
        EXPECT_EQ(log.text, "Load QRX file ... => OK !\r\n");
        EXPECT_EQ(bench.currentPart, part);
        EXPECT_EQ(bench.parts.ValueOfSelection(), part);
        EXPECT_EQ(bench.info.partIndex, p.DeviceCode());
        EXPECT_EQ(buffer.Bytes(), buffer2.Bytes());
        EXPECT_EQ(bench.info.optionCount, saver.info.optionCount);
        EXPECT_TRUE(std::equal(saver.info.optionBytes.begin(),
                               saver.info.optionBytes.begin() + saver.info.optionCount,
                               bench.info.optionBytes.begin()));
        EXPECT_EQ(bench.info.layout, saver.info.layout);
        EXPECT_EQ(bench.info.apLength, saver.info.apLength);
        EXPECT_EQ(bench.info.ispLength, saver.info.ispLength);
        EXPECT_EQ(bench.info.IspName(), saver.info.IspName());
        EXPECT_EQ(bench.userIspPath, saver.info.IspName());
        EXPECT_EQ(bench.info.autoSteps, 0x2D);
        EXPECT_EQ(bench.info.oscIndex, saver.info.oscIndex);
        EXPECT_EQ(bench.panel.osc.Selected(), saver.panel.osc.Selected());
        EXPECT_EQ(bench.panel.isp.Selected(), saver.panel.isp.Selected());
        EXPECT_EQ(bench.panel.iap.Selected(), saver.panel.iap.Selected());
        EXPECT_EQ(bench.info.maxCounter, 321);
        EXPECT_EQ(bench.info.serialAddress, 0x123u);
        EXPECT_EQ(bench.info.serialNumber, 0xFEDCBAu);
        EXPECT_EQ(bench.info.SerialString(), saver.info.SerialString());
        EXPECT_EQ(bench.info.serialEnabled, 1);
        EXPECT_EQ(bench.info.autoIncrement, 1);
        EXPECT_EQ(bench.filepath.text, *dialogs.saveProject + " (app.bin)");
        // The file is the buffer followed by its trailer.
        EXPECT_EQ(fs::file_size(*dialogs.saveProject), buffer2.Size() + saver.info.trailerLength);
    }
}

// A project with no data bytes (its trailer is the whole file) is never written by a save, which
// refuses an empty buffer; loading one fails quietly like a declined project: the previous part
// stays, with an empty buffer and a fresh record.
TEST_F(FileActions, AProjectWithoutDataIsNotLoaded) {
    const auto parts = cat::AllPartIndices();
    ASSERT_GE(parts.size(), 2u);
    Select(parts.back());
    const std::string path = (dir / "empty.qrx").string();
    ASSERT_TRUE(WriteProjectFile(bench, path, CurrentSaveMoment()));
    ASSERT_EQ(fs::file_size(path), bench.info.trailerLength);
    ProjectInfo probe;
    const auto file = ReadWholeFile(path);
    EXPECT_TRUE(ReadProjectTrailer(probe, file.bytes, false, nullptr).accepted);

    Select(parts.front());
    ASSERT_EQ(Load(Write("app.bin", Pattern(16))), kLoadOk);
    bench.info.maxCounter = 7;
    EXPECT_EQ(Load(path), kLoadFail);
    EXPECT_EQ(log.text, "Load QRX file ... => Fail !\r\n");
    EXPECT_TRUE(questions.shown.empty());
    EXPECT_EQ(bench.currentPart, parts.front());
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(bench.info.maxCounter, 0);
}

TEST_F(FileActions, RefusedProjectsLeaveThePreviousPart) {
    const auto parts = cat::AllPartIndices();
    const int part = parts.front();
    Select(part);
    ASSERT_EQ(Load(Write("app.bin", Pattern(64))), kLoadOk);
    dialogs.saveProject = (dir / "p.qrx").string();
    ASSERT_TRUE(SaveProjectButton(bench, dialogs, CurrentSaveEntropy()));
    const auto good = ReadWholeFile(*dialogs.saveProject).bytes;

    // A damaged project: message box, previous part again, empty buffer.
    Select(parts.back());
    ASSERT_EQ(Load(Write("app2.bin", Pattern(8))), kLoadOk);
    auto bad = good;
    bad[3] ^= 0xFF;
    EXPECT_EQ(Load(Write("bad.qrx", bad)), kLoadFail);
    EXPECT_EQ(log.text, "Load QRX file ... => Fail !\r\n");
    ASSERT_EQ(questions.shown.size(), 1u);
    EXPECT_EQ(questions.shown[0], EnglishMessage(kMsgContentDiffers));
    EXPECT_EQ(bench.currentPart, parts.back());
    EXPECT_EQ(buffer.Size(), 0u);

    // An older version declined: no message box, the same reset.
    auto old = good;
    const std::size_t tail = old.size() - 17;
    old[tail + 10] = 0x01;
    old[tail + 11] = 0x17;  // the question comes before the checksum is looked at
    questions.shown.clear();
    questions.answer = false;
    EXPECT_EQ(Load(Write("old.qrx", old)), kLoadFail);
    ASSERT_EQ(questions.shown.size(), 1u);
    EXPECT_EQ(questions.shown[0], EnglishMessage(kMsgAskOldFile));
    questions.answer = true;

    // A project naming a part without a device code: the box, and nothing changes.
    ASSERT_EQ(Load(Write("app3.bin", Pattern(8))), kLoadOk);
    const auto infoBefore = bench.info;
    auto unsupported = good;
    ProjectInfo probe;
    ASSERT_TRUE(ReadProjectTrailer(probe, good, false, nullptr).accepted);
    const std::size_t trailerStart = good.size() - probe.trailerLength;
    const std::size_t at = trailerStart + 22 + probe.sourceNameLength;
    unsupported[at] = 0x0F;
    unsupported[at + 1] = 0xFE;
    // Reseal the trailer checksum.
    unsupported[unsupported.size() - 4] = unsupported[unsupported.size() - 3] = 0;
    const auto reseal = static_cast<std::uint16_t>(
        ByteSum({unsupported.data() + trailerStart, probe.trailerLength}));
    unsupported[unsupported.size() - 4] = static_cast<std::uint8_t>(reseal >> 8);
    unsupported[unsupported.size() - 3] = static_cast<std::uint8_t>(reseal);
    questions.shown.clear();
    EXPECT_EQ(Load(Write("other.qrx", unsupported)), kLoadFail);
    EXPECT_EQ(log.text, "Load file ... => Fail !\r\n");
    ASSERT_EQ(questions.shown.size(), 1u);
    EXPECT_EQ(questions.shown[0], "Error!|The target is not supported!");
    EXPECT_EQ(bench.info.partIndex, infoBefore.partIndex);
    EXPECT_EQ(bench.info.apLength, infoBefore.apLength);
    EXPECT_EQ(buffer.Size(), 8u);
}

TEST_F(FileActions, SavesRefuseEmptyBuffersAndKeepOldFilesOnFailure) {
    Select(cat::AllPartIndices().front());
    dialogs.saveBuffer = (dir / "out.bin").string();
    EXPECT_FALSE(SaveBufferButton(bench, dialogs).passed());
    EXPECT_EQ(log.text, "Code Buffer is empty !");
    EXPECT_FALSE(SaveProjectButton(bench, dialogs, CurrentSaveEntropy()));
    EXPECT_EQ(log.text, "Code Buffer is empty !");

    ASSERT_EQ(Load(Write("app.bin", Pattern(2000))), kLoadOk);
    EXPECT_TRUE(SaveBufferButton(bench, dialogs).passed());
    EXPECT_EQ(log.text, "Save buffer ... => OK !\r\n");
    EXPECT_EQ(ReadWholeFile(*dialogs.saveBuffer).bytes, Pattern(2000));
    dialogs.saveBuffer.reset();
    EXPECT_FALSE(SaveBufferButton(bench, dialogs).passed());
    EXPECT_EQ(log.text, "Save buffer ... => Cancelled !\r\n");

    // A write that fails part-way (the file size limit) leaves the old file whole.
    const std::string old = Write("old.bin", Pattern(100, 42));
    dialogs.saveBuffer = old;
    dialogs.saveProject = old;
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool savedBuffer = SaveBufferButton(bench, dialogs).passed();
    const std::string bufferLog = log.text;
    const bool savedProject = SaveProjectButton(bench, dialogs, CurrentSaveEntropy()).has_value();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(savedBuffer);
    EXPECT_EQ(bufferLog, "Save buffer ... => Fail !\r\n");
    EXPECT_FALSE(savedProject);
    EXPECT_EQ(log.text, "Save *.QRX ... => Fail !\r\n");
    EXPECT_EQ(ReadWholeFile(old).bytes, Pattern(100, 42));
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}),
              3);  // app.bin, out.bin, old.bin
}

TEST_F(FileActions, IdentificationBytesOfASave) {
    const int part =
        FindPart([](const cat::Part& p) { return p.Number(cat::key::kOptionCount) == 64; });
    ASSERT_GE(part, 0);
    Select(part);
    ASSERT_EQ(Load(Write("app.bin", Pattern(16))), kLoadOk);
    dialogs.saveProject.reset();  // cancelled: the identification bytes are written anyway
    SaveEntropy entropy;
    entropy.key = {0xA1, 0xB2, 0xC3, 0xD4};
    EXPECT_FALSE(SaveProjectButton(bench, dialogs, entropy));
    EXPECT_EQ(log.text, "Save *.QRX ... => Cancelled !\r\n");
    EXPECT_EQ(bench.info.optionBytes[52], 5);
    EXPECT_EQ(bench.info.customFlag, 1);
    EXPECT_EQ(bench.info.optionBytes[48], 0xA1);
    EXPECT_EQ(bench.info.optionBytes[51], 0xD4);
    EXPECT_EQ(dialogs.customCalls, 0);

    // A part with the custom setting: the dialog shows 0xFF as 00 and the printable text.
    bench.customSetting = 1;
    bench.info.optionBytes[52] = 0xFF;
    const std::string text = "LINE-7";
    std::copy(text.begin(), text.end(), bench.info.optionBytes.begin() + 16);
    bench.info.optionBytes[16 + text.size()] = 0x01;
    dialogs.newId = 0x3C;
    dialogs.newText = "NEW";
    EXPECT_FALSE(SaveProjectButton(bench, dialogs, entropy));
    EXPECT_EQ(dialogs.shownId, 0);
    EXPECT_EQ(dialogs.shownText, text);
    EXPECT_EQ(bench.info.optionBytes[52], 0x3C);
    EXPECT_EQ(bench.info.optionBytes[16], 'N');
    EXPECT_EQ(bench.info.optionBytes[19], 0);
    EXPECT_EQ(bench.info.optionBytes[47], 0);
    EXPECT_EQ(bench.info.customFlag, 1);
}
