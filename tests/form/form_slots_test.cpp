// The form of projects saved through the Save *.QRX steps, against the carried catalogue.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/part_database.h"
#include "form/form_slots.h"
#include "form/project_form.h"
#include "project/qrx_file.h"
#include "workbench/file_actions.h"
#include "workbench/vector_code_buffer.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBigPart = 126;  // 64 option bytes, ISP 0xE2, IAP 0xFE, HWWIDL/HWPS group
constexpr int kSmallPart = 1;  // 7 option bits, no IAP, no HW group

struct NullLog : core::MessageSink {
    void Clear() override {}
    void Append(std::string_view) override {}
};

struct RecordingQuestions : core::Questions {
    std::vector<std::string> shown;
    void Inform(std::string_view, std::string_view t) override { shown.emplace_back(t); }
    bool AskOkCancel(std::string_view, std::string_view t) override {
        shown.emplace_back(t);
        return true;
    }
    bool AskYesNo(std::string_view, std::string_view t) override {
        shown.emplace_back(t);
        return true;
    }
};

struct SaveTo : model::FileDialogs {
    std::string path;
    std::optional<std::string> OpenProgramFile() override { return std::nullopt; }
    std::optional<std::uint32_t> SelectArea(std::uint32_t a) override { return a; }
    std::optional<std::string> SaveBufferFile() override { return std::nullopt; }
    std::optional<std::string> SaveProjectFile() override { return path; }
    void CustomSetting(std::uint8_t&, std::string&) override {}
    std::optional<model::IspChoice> InsertIsp() override { return std::nullopt; }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return lines;
        start = end + 2;
    }
}

std::string Left(const std::string& v, std::size_t w) {
    return v + std::string(w - v.size(), ' ');
}
std::string Right(const std::string& v, std::size_t w) {
    return std::string(w - v.size(), ' ') + v;
}

class ProjectForm : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("form-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        bench.Attach(&buffer, &log);
        buffer.onChange = [this] { bench.OnBufferChanged(); };
        bench.FillSeriesList();
    }
    void TearDown() override { fs::remove_all(dir); }

    // Saves the current state at 2008-10-20 07:00:26 with the random key 3A-C5.
    std::string Save(const std::string& name) {
        dialogs.path = (dir / name).string();
        model::SaveEntropy entropy;
        entropy.moment = {2008, 10, 20, 7, 0, 26, 0x3A, 0xC5};
        return model::SaveProjectButton(bench, dialogs, entropy).value_or("");
    }
    void Fill(std::size_t n) {
        std::vector<std::uint8_t> bytes(n);
        for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
        buffer.SetBytes(bytes);
    }
    int OptionSlot(const char* name) {
        for (int i = 0; i < 24; ++i) {
            const auto bit = cat::Part(bench.currentPart).OptionBitAt(i);
            if (bit && bit->name == name) return i;
        }
        return -1;
    }

    fs::path dir;
    model::VectorCodeBuffer buffer;
    NullLog log;
    SaveTo dialogs;
    RecordingQuestions questions;
    model::Workbench bench;
};

}  // namespace

TEST_F(ProjectForm, SavedProjectGivesEveryLineAtItsColumns) {
    ASSERT_TRUE(bench.SelectPartByIndex(kBigPart));
    Fill(0x1234);
    bench.info.SetSourceName("app.hex");
    // The hardware watchdog group on, so its line is shown.
    const int hwenw = OptionSlot("HWENW");
    ASSERT_GE(hwenw, 0);
    bench.OnOptionBoxClicked(model::id::kOptionSetFirst + hwenw, true);
    bench.OnHwpsxChanged(3);
    const std::string path = Save("saved.qrx");
    ASSERT_FALSE(path.empty());

    const auto text = form::BuildProjectForm(bench, path, &questions);
    ASSERT_TRUE(text);
    EXPECT_TRUE(questions.shown.empty());
    const auto lines = Lines(*text);
    ASSERT_EQ(lines.size(), 68u);
    const auto& info = bench.info;
    auto single = [](const char* label, const std::string& v) {
        return Left(std::string(6, ' ') + label, 24) + Left(v, 50) + std::string(6, ' ');
    };
    auto pair = [](const char* l1, const std::string& v1, const char* l2, const std::string& v2) {
        return Left(std::string(6, ' ') + l1, 24) + Left(v1, 13) + std::string(6, ' ') +
               Left(l2, 18) + Left(v2, 19);
    };
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "%04X", info.dataChecksum);
    EXPECT_EQ(lines[13], single("MCU Body", cat::Part(kBigPart).Name()));
    EXPECT_EQ(lines[15], single("QRX File Name", "saved.qrx"));
    EXPECT_EQ(lines[17], single("CodeFile Name", "app.hex"));
    EXPECT_EQ(lines[19], single("IspCode Name", ""));
    EXPECT_EQ(lines[21], pair("Code Size", "4660", "Code Checksum", checksum));
    EXPECT_EQ(lines[23], pair("Max Counter", "0", "AP Version", "v3.10"));
    EXPECT_EQ(lines[25], single("QRX Save Time", "2008-10-20 7:0:26"));
    // 64 option bytes: the save marks Custom ID 5; no String ID was given.
    EXPECT_EQ(lines[27], pair("Random Key", "3A-C5", "Custom ID", "05"));
    const auto& panel = bench.panel;
    EXPECT_EQ(lines[31], "        . ISP Space Size : " +
                             Left(panel.isp.Text(panel.isp.Selected()), 48) + "     ");
    ASSERT_GE(panel.iap.Selected(), 0);
    EXPECT_EQ(lines[32], "        . IAP Space Size : " +
                             Left(panel.iap.Text(panel.iap.Selected()), 48) + "     ");
    EXPECT_EQ(lines[34],
              std::string(8, ' ') + Left(". HWWIDL : 1         HWPS : 3", 66) + "      ");
    EXPECT_EQ(lines[35], "        . String ID : " + std::string(53, ' ') + "     ");
    // Option rows: name right-aligned in 16, state in 8.
    const cat::Part part(kBigPart);
    for (int r = 0; r < 12; ++r) {
        auto entry = [&](int i) {
            const auto bit = part.OptionBitAt(i);
            if (!bit) return Right(" - ", 16) + " : " + "   -    ";
            const bool enabled = (info.optionBytes[bit->byteIndex] & bit->mask) == 0;
            return Right(bit->name, 16) + " : " + Left(enabled ? "Enable" : "Disable", 8);
        };
        EXPECT_EQ(lines[static_cast<std::size_t>(37 + r)], std::string(10, ' ') + entry(r) +
                                                               std::string(6, ' ') + entry(r + 12) +
                                                               std::string(10, ' '))
            << "row " << r;
    }
    EXPECT_NE(lines[37 + hwenw].find("HWENW : Enable "), std::string::npos);
}

TEST_F(ProjectForm, WindowStateLinesAndFallbacks) {
    ASSERT_TRUE(bench.SelectPartByIndex(kBigPart));
    Fill(0x100);
    const std::string big = Save("big.qrx");
    ASSERT_TRUE(bench.SelectPartByIndex(kSmallPart));
    Fill(0x80);
    const std::string small = Save("small.qrx");

    // A part outside the window's part list: no MCU Body; the IAP line is the window's (empty)
    // list entry.
    auto lines = Lines(form::BuildProjectForm(bench, big, &questions).value());
    EXPECT_EQ(lines[13].substr(24, 50), std::string(50, ' '));
    EXPECT_EQ(lines[32].substr(27, 48), std::string(48, ' '));

    // Fewer than 24 option keys and no IAP, oscillator or HW group: the fallbacks, widths kept.
    lines = Lines(form::BuildProjectForm(bench, small, &questions).value());
    EXPECT_EQ(lines[13].substr(24, 50), Left(cat::Part(kSmallPart).Name(), 50));
    EXPECT_EQ(lines[27].substr(61), Left("Reserved", 19));  // 2 option bytes: no custom flag
    EXPECT_EQ(lines[32].substr(27, 48), Left("None", 48));
    EXPECT_EQ(lines[33].substr(27, 48), Left("None", 48));
    EXPECT_EQ(lines[34], std::string(80, ' '));
    EXPECT_EQ(lines[35].substr(22, 53), Left("Reserved", 53));
    const std::string missing = Right(" - ", 16) + " : " + "   -    ";
    EXPECT_EQ(lines[48], std::string(10, ' ') + missing + std::string(6, ' ') + missing +
                             std::string(10, ' '));
    EXPECT_TRUE(questions.shown.empty());
}

TEST_F(ProjectForm, OptionStatesFollowTheFileBytes) {
    // LOCK is byte 0, mask 0x01 of the small part.
    std::array<std::uint8_t, 260> bytes{};
    bytes.fill(0xFF);
    const struct {
        std::uint8_t byte0;
        const char* state;
    } cases[] = {{0xFE, "Enable"}, {0xFF, "Disable"}, {0x01, "Disable"}, {0x00, "Enable"}};
    for (const auto& c : cases) {
        bytes[0] = c.byte0;
        const auto entry = form::OptionEntryAt(kSmallPart, 0, bytes);
        EXPECT_EQ(entry.name, "LOCK");
        EXPECT_EQ(entry.state, c.state) << int{c.byte0};
    }
    const auto none = form::OptionEntryAt(kSmallPart, 23, bytes);
    EXPECT_EQ(none.name, " - ");
    EXPECT_EQ(none.state, "   -    ");
}

TEST_F(ProjectForm, BuildingSetsTheWindowsIapSelection) {
    ASSERT_TRUE(bench.SelectPartByIndex(kBigPart));
    Fill(0x100);
    const std::string path = Save("iap.qrx");
    const auto expected = form::IapPosition(bench, kBigPart);
    ASSERT_TRUE(expected);
    bench.panel.iap.Select(bench.panel.iap.Count() - 1 == *expected ? 0
                                                                    : bench.panel.iap.Count() - 1);
    unsigned changes = 0;
    bench.onChanged = [&](unsigned c) { changes |= c; };
    ASSERT_TRUE(form::BuildProjectForm(bench, path, &questions));
    EXPECT_EQ(bench.panel.iap.Selected(), *expected);
    EXPECT_TRUE(changes & model::kChangeOptionPanel);
}

TEST_F(ProjectForm, UnreadableOrRejectedFilesGiveNoForm) {
    ASSERT_TRUE(bench.SelectPartByIndex(kSmallPart));
    Fill(0x40);
    const std::string path = Save("bad.qrx");
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(3);
    f.put('\x55');  // a data byte changed: the checksums disagree
    f.close();
    const proj::ProjectInfo before = bench.info;
    EXPECT_FALSE(form::BuildProjectForm(bench, path, &questions));
    ASSERT_EQ(questions.shown.size(), 1u);
    EXPECT_EQ(questions.shown[0], proj::MessageText(proj::kMsgContentDiffers));
    // The window's own record is not where the file was read.
    EXPECT_EQ(bench.info.dataLength, before.dataLength);
    EXPECT_FALSE(form::BuildProjectForm(bench, (dir / "missing.qrx").string(), &questions));
    EXPECT_EQ(questions.shown.size(), 1u);
}

// The ISP, IAP and Trim lines from fixed values, on parts where each is set and differs from
// the others.
TEST_F(ProjectForm, OptionSpaceAndTrimLinesFromFixedValues) {
    const struct {
        int part, isp, iap, osc;
        const char *ispText, *iapText, *trimText;
    } rows[] = {
        {kBigPart, 5, 3, -1, "2.5K", "1.5 K", "None"},
        {kBigPart, 0, 3, -1, "None", "2.0 K", "None"},
        {42, 2, -1, 4, "2K", "None", "12MHz"},  // trimmed, IAP mask 0xFF
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ispText);
        ASSERT_TRUE(bench.SelectPartByIndex(row.part));
        Fill(0x100);
        bench.OnIspChanged(row.isp);
        if (row.iap >= 0) bench.OnIapChanged(row.iap);
        if (row.osc >= 0) bench.OnOscChanged(bench.panel.osc.SelectByValue(row.osc));
        const auto lines = Lines(form::BuildProjectForm(bench, Save("o.qrx"), &questions).value());
        EXPECT_EQ(lines[31], "        . ISP Space Size : " + Left(row.ispText, 48) + "     ");
        EXPECT_EQ(lines[32], "        . IAP Space Size : " + Left(row.iapText, 48) + "     ");
        EXPECT_EQ(lines[33], "        . Trim Selection : " + Left(row.trimText, 48) + "     ");
    }
}

// Names and the String ID as text: padded by the characters they show, a name ending at a NUL,
// the String ID at its first zero or erased byte.
TEST_F(ProjectForm, TextSlotsKeepTheirColumns) {
    ASSERT_TRUE(bench.SelectPartByIndex(kBigPart));
    Fill(0x100);
    bench.info.SetSourceName(std::string("ab\0cd.hex", 9));
    const std::string path = Save("\xE8\xA1\xA8.qrx");  // one character, three bytes
    const struct {
        std::string bytes;
        std::string shown;  // with its padding to 53 characters
    } rows[] = {
        {"Caf\xC3\xA9 Ltd", "Caf\xC3\xA9 Ltd" + std::string(45, ' ')},
        {"Caf\xE9 Ltd", "Caf\xE9 Ltd" + std::string(45, ' ')},  // 8-bit: one a byte
        {"AB\xFF"
         "CD",
         "AB" + std::string(51, ' ')},
        {std::string("AB\0CD", 5), "AB" + std::string(51, ' ')},
    };
    for (const auto& row : rows) {
        std::fill_n(bench.info.optionBytes.begin() + 16, 32, 0);
        std::copy(row.bytes.begin(), row.bytes.end(), bench.info.optionBytes.begin() + 16);
        const auto lines = Lines(form::BuildProjectForm(bench, path, &questions).value());
        EXPECT_EQ(lines[15], "      QRX File Name     \xE8\xA1\xA8.qrx" + std::string(45 + 6, ' '));
        EXPECT_EQ(lines[17], "      CodeFile Name     ab" + std::string(48 + 6, ' '));
        EXPECT_EQ(lines[35], "        . String ID : " + row.shown + "     ");
    }
}
