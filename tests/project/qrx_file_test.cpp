#include "project/qrx_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/operator_ports.h"
#include "project/program_image.h"

using namespace proj;

namespace {

constexpr std::uint16_t kVersion = 0x0310;

// Records every box the reader shows and answers questions as told.
struct ScriptedQuestions : core::Questions {
    bool answer = true;
    std::vector<std::string> shown;
    void Inform(std::string_view, std::string_view text) override { shown.emplace_back(text); }
    bool AskOkCancel(std::string_view, std::string_view text) override {
        shown.emplace_back(text);
        return true;
    }
    bool AskYesNo(std::string_view, std::string_view text) override {
        shown.emplace_back(text);
        return answer;
    }
};

// Big-endian byte builder for hand-made trailers.
struct Bytes {
    std::vector<std::uint8_t> v;
    Bytes& u8(std::uint8_t x) {
        v.push_back(x);
        return *this;
    }
    Bytes& u16(std::uint16_t x) {
        return u8(static_cast<std::uint8_t>(x >> 8)).u8(static_cast<std::uint8_t>(x));
    }
    Bytes& u32(std::uint32_t x) {
        return u16(static_cast<std::uint16_t>(x >> 16)).u16(static_cast<std::uint16_t>(x));
    }
    Bytes& text(std::string_view s) {
        v.insert(v.end(), s.begin(), s.end());
        return *this;
    }
};

const std::vector<std::uint8_t> kData = {0x02, 0x00, 0x30, 0xFF, 0x80, 0xFE};

// Closes a hand-made trailer with its checksum and length and puts it behind the data.
std::vector<std::uint8_t> FinishFile(Bytes& t, const std::vector<std::uint8_t>& data = kData) {
    const std::size_t checksumAt = t.v.size();
    t.u16(0);
    t.u16(static_cast<std::uint16_t>(t.v.size() + 2));
    const auto sum = static_cast<std::uint16_t>(ByteSum(t.v));
    t.v[checksumAt] = static_cast<std::uint8_t>(sum >> 8);
    t.v[checksumAt + 1] = static_cast<std::uint8_t>(sum);
    std::vector<std::uint8_t> file = data;
    file.insert(file.end(), t.v.begin(), t.v.end());
    return file;
}

// A current-kind file laid out field by field, independently of the writer.
std::vector<std::uint8_t> HandMadeFile(std::uint16_t version, bool withOscFields = true,
                                       bool withOffline = true, std::uint8_t kind = 5,
                                       const std::vector<std::uint8_t>& data = kData) {
    Bytes t;
    t.text("Corvane. Writer").u8(8).text("prog.bin");
    t.u32(static_cast<std::uint32_t>(data.size())).u16(static_cast<std::uint16_t>(ByteSum(data)));
    t.u16(0x0081).u8(LAYOUT_AP_ISP).u8(2).u8(0xF7).u8(0x3F);
    t.u8(0x15).u8(ISP_SRC_USER).u32(0x1234).u16(0x0700).u8(7).text("isp.hex");
    if (withOscFields) t.u8(3).u16(500);
    if (withOffline) t.u8(1).u8(1).u32(0x3BF0).text("SN-0001     ").u32(0x00ABCDEF);
    t.u8(0x11).u8(0x22).u8(26).u8(12).u8(7).u8(10).u8(41).u8(59);  // saveStamp
    t.u16(1).u16(version).u8(kind);
    return FinishFile(t, data);
}

// Recomputes the trailer checksum of a file after a test changed a field.
void Reseal(std::vector<std::uint8_t>& file) {
    const std::size_t t = (file[file.size() - 2] << 8) | file.back();
    const std::size_t start = file.size() - t;
    file[file.size() - 4] = file[file.size() - 3] = 0;
    const auto sum = static_cast<std::uint16_t>(ByteSum({file.data() + start, t}));
    file[file.size() - 4] = static_cast<std::uint8_t>(sum >> 8);
    file[file.size() - 3] = static_cast<std::uint8_t>(sum);
}

TrailerReadResult Read(ProjectInfo& info, const std::vector<std::uint8_t>& file, bool interactive,
                       ScriptedQuestions& q) {
    return ReadProjectTrailer(info, file, interactive, &q, kVersion);
}

}  // namespace

TEST(QrxTrailer, WriterMatchesTheHandMadeLayoutByteForByte) {
    ProjectInfo info;
    ResetProjectInfo(info);
    info.SetSourceName("prog.bin");
    info.dataLength = static_cast<std::uint32_t>(kData.size());
    info.dataChecksum = static_cast<std::uint16_t>(ByteSum(kData));
    info.partIndex = 0x0081;
    info.layout = LAYOUT_AP_ISP;
    info.optionCount = 2;
    info.optionBytes[0] = 0xF7;
    info.optionBytes[1] = 0x3F;
    info.autoSteps = 0x15;
    info.ispSource = ISP_SRC_USER;
    info.apLength = 0x1234;
    info.ispLength = 0x0700;
    info.SetIspName("isp.hex");
    info.oscIndex = 3;
    info.maxCounter = 500;
    info.serialEnabled = 1;
    info.autoIncrement = 1;
    info.serialAddress = 0x3BF0;
    std::string serial = "SN-0001     ";
    std::copy(serial.begin(), serial.end(), info.serialString.begin());
    info.serialNumber = 0x00ABCDEF;
    info.customFlag = 1;
    info.formatVersion = kVersion;

    ASSERT_EQ(ProjectTrailerLength(info), 77 + 8 + 2 + 7);  // 94
    std::vector<std::uint8_t> trailer(94);
    const SaveMoment moment{2026, 12, 7, 10, 41, 59, 0x11, 0x22};
    ASSERT_EQ(WriteProjectTrailer(info, trailer, moment), 94);
    std::vector<std::uint8_t> file = kData;
    file.insert(file.end(), trailer.begin(), trailer.end());
    EXPECT_EQ(file, HandMadeFile(kVersion));
    EXPECT_EQ(info.trailerChecksum, (file[file.size() - 4] << 8) | file[file.size() - 3]);
    EXPECT_EQ(info.saveStamp[2], 26);

    // Too small an output area writes nothing.
    std::vector<std::uint8_t> small(93, 0xAA);
    EXPECT_EQ(WriteProjectTrailer(info, small, moment), 0);
    EXPECT_EQ(small, std::vector<std::uint8_t>(93, 0xAA));
}

TEST(QrxTrailer, ReaderTakesEveryField) {
    ProjectInfo info;
    ScriptedQuestions q;
    const auto file = HandMadeFile(kVersion);
    const auto r = Read(info, file, true, q);
    ASSERT_TRUE(r.accepted);
    EXPECT_TRUE(q.shown.empty());
    EXPECT_EQ(r.dataLength, kData.size());
    EXPECT_EQ(info.SourceName(), "prog.bin");
    EXPECT_EQ(info.partIndex, 0x81);
    EXPECT_EQ(info.optionCount, 2);
    EXPECT_EQ(info.optionBytes[1], 0x3F);
    EXPECT_EQ(info.optionBytes[2], 0xFF);
    EXPECT_EQ(info.autoSteps, 0x15);
    EXPECT_EQ(info.ispSource, ISP_SRC_USER);
    EXPECT_EQ(info.apLength, 0x1234u);
    EXPECT_EQ(info.ispLength, 0x700);
    EXPECT_EQ(info.IspName(), "isp.hex");
    EXPECT_EQ(info.oscIndex, 3);
    EXPECT_EQ(info.maxCounter, 500);
    EXPECT_EQ(info.serialEnabled, 1);
    EXPECT_EQ(info.autoIncrement, 1);
    EXPECT_EQ(info.serialAddress, 0x3BF0u);
    EXPECT_EQ(info.SerialString(), "SN-0001     ");
    EXPECT_EQ(info.serialNumber, 0xABCDEFu);
    EXPECT_EQ(info.saveStamp[7], 59);
    EXPECT_EQ(info.customFlag, 1);
    EXPECT_EQ(info.formatKind, 5);
    EXPECT_EQ(info.trailerLength, 94);
}

TEST(QrxTrailer, VersionGates) {
    ScriptedQuestions q;
    ProjectInfo info;
    // 0x010F: neither the oscillator nor the off-line fields are read (nor stored).
    auto r = Read(info, HandMadeFile(0x010F, false, false), false, q);
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(info.oscIndex, 0);
    EXPECT_EQ(info.maxCounter, 0);
    EXPECT_EQ(info.SerialString(), "            ");
    EXPECT_EQ(info.formatVersion, kVersion);
    // 0x0110 to 0x0116: oscIndex and maxCounter only.
    r = Read(info, HandMadeFile(0x0116, true, false), false, q);
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(info.oscIndex, 3);
    EXPECT_EQ(info.maxCounter, 500);
    EXPECT_EQ(info.serialEnabled, 0);
    EXPECT_EQ(info.serialAddress, 0u);
    EXPECT_TRUE(q.shown.empty());  // not interactive: accepted without asking

    // Each gate's own version already carries its fields.
    ProjectInfo at0110;
    ASSERT_TRUE(Read(at0110, HandMadeFile(0x0110, true, false), false, q).accepted);
    EXPECT_EQ(at0110.oscIndex, 3);
    EXPECT_EQ(at0110.maxCounter, 500);
    EXPECT_EQ(at0110.serialEnabled, 0);
    EXPECT_EQ(at0110.saveStamp[7], 59);
    ProjectInfo at0117;
    ASSERT_TRUE(Read(at0117, HandMadeFile(0x0117), false, q).accepted);
    EXPECT_EQ(at0117.maxCounter, 500);
    EXPECT_EQ(at0117.serialEnabled, 1);
    EXPECT_EQ(at0117.autoIncrement, 1);
    EXPECT_EQ(at0117.serialAddress, 0x3BF0u);
    EXPECT_EQ(at0117.SerialString(), "SN-0001     ");
    EXPECT_EQ(at0117.serialNumber, 0xABCDEFu);
    EXPECT_TRUE(q.shown.empty());

    // Interactive: an older file asks, and No declines without a further message.
    q.answer = false;
    r = Read(info, HandMadeFile(0x0116, true, false), true, q);
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.errorKey, 0);
    ASSERT_EQ(q.shown.size(), 1u);
    EXPECT_EQ(q.shown[0], EnglishMessage(kMsgAskOldFile));
    q.answer = true;
    EXPECT_TRUE(Read(info, HandMadeFile(0x0117), true, q).accepted);

    // A newer file is refused.
    q.shown.clear();
    r = Read(info, HandMadeFile(kVersion + 1), true, q);
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.errorKey, kMsgNewerVersion);
    ASSERT_EQ(q.shown.size(), 1u);
}

// A project may hold no data at all: its trailer is the whole file, and it is a file like any
// other, not a refusal.
TEST(QrxTrailer, AnEmptyDataSectionIsAccepted) {
    ScriptedQuestions q;
    ProjectInfo info;
    const auto file = HandMadeFile(kVersion, true, true, 5, {});
    const auto r = Read(info, file, true, q);
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(r.dataLength, 0u);
    EXPECT_EQ(info.dataLength, 0u);
    EXPECT_EQ(info.trailerLength, file.size());
    EXPECT_EQ(info.partIndex, 0x81);
    EXPECT_EQ(info.maxCounter, 500);
    EXPECT_TRUE(q.shown.empty());
}

TEST(QrxTrailer, ContentChecks) {
    ScriptedQuestions q;
    ProjectInfo info;
    auto file = HandMadeFile(kVersion);
    // A data byte changed.
    auto changed = file;
    changed[0] ^= 1;
    EXPECT_EQ(Read(info, changed, false, q).errorKey, kMsgContentDiffers);
    // A byte of the source name changed (trailer checksum).
    changed = file;
    changed[kData.size() + 16] = 'q';
    EXPECT_EQ(Read(info, changed, false, q).errorKey, kMsgContentDiffers);
    // Stored data length disagrees with the bytes before the trailer.
    changed = file;
    changed[kData.size() + 16 + 8 + 3] += 1;
    Reseal(changed);
    EXPECT_EQ(Read(info, changed, false, q).errorKey, kMsgContentDiffers);
    // Wrong magic, with everything else consistent.
    changed = file;
    changed[kData.size()] = 'X';
    Reseal(changed);
    EXPECT_EQ(Read(info, changed, false, q).errorKey, kMsgNotProject);
    EXPECT_EQ(q.shown.back(), EnglishMessage(kMsgNotProject));
}

TEST(QrxTrailer, MalformedFilesAreRefusedWithoutReadingOutside) {
    ScriptedQuestions q;
    ProjectInfo info;
    // Shorter than the fixed tail.
    for (std::size_t n : {0, 1, 2, 16}) {
        std::vector<std::uint8_t> tiny(n, 5);
        EXPECT_EQ(Read(info, tiny, false, q).errorKey, kMsgIncompatible) << n;
    }
    const auto file = HandMadeFile(kVersion);
    // A kind other than 2 and 5 is refused before the magic is looked at.
    auto changed = file;
    changed[changed.size() - 5] = 4;
    EXPECT_EQ(Read(info, changed, false, q).errorKey, kMsgIncompatible);
    // Trailer length beyond the file, below the tail, and too short for its own fields.
    for (std::uint16_t t : {std::uint16_t(file.size() + 1), std::uint16_t(16), std::uint16_t(17),
                            std::uint16_t(93), std::uint16_t(0xFFFF)}) {
        changed = file;
        changed[changed.size() - 2] = static_cast<std::uint8_t>(t >> 8);
        changed[changed.size() - 1] = static_cast<std::uint8_t>(t);
        EXPECT_EQ(Read(info, changed, false, q).errorKey, kMsgIncompatible) << t;
    }
    // N, O and S that point past the tail.
    for (std::size_t at :
         {std::size_t{15}, std::size_t{16 + 8 + 9}, std::size_t{16 + 8 + 10 + 2 + 8}}) {
        changed = file;
        changed[kData.size() + at] = 0xF0;
        Reseal(changed);
        EXPECT_EQ(Read(info, changed, false, q).errorKey, kMsgIncompatible) << at;
    }
    // A plain binary whose last bytes happen to name kind 5 and a huge trailer.
    std::vector<std::uint8_t> binary(40, 0x05);
    EXPECT_EQ(Read(info, binary, false, q).errorKey, kMsgIncompatible);
}

namespace {

std::vector<std::uint8_t> OldKindFile(std::uint16_t oldPart, std::uint8_t oldLayout,
                                      std::uint8_t oldSteps) {
    Bytes t;
    t.text("Corvane. Writer").u8(5).text("a.hex");
    t.u32(static_cast<std::uint32_t>(kData.size())).u16(static_cast<std::uint16_t>(ByteSum(kData)));
    t.u16(oldPart).u8(oldLayout).u8(3).u8(0xF0).u8(0xF1).u8(0xF2);
    t.u8(oldSteps).u8(ISP_SRC_BUILTIN).u16(0x0400).u16(0x0300).u8(7).text("Default");
    t.text("old-padding");  // not read
    t.u8(1).u8(2).u8(3).u8(4).u8(5).u8(6).u8(7).u8(8).u16(0).u16(0x0100).u8(2);
    return FinishFile(t);
}

}  // namespace

TEST(QrxTrailer, OldKindIsMappedOntoTheCurrentRecord) {
    ScriptedQuestions q;
    ProjectInfo info;
    const auto r = Read(info, OldKindFile(0x00E7 /* low bits 7 */, 3, 0x40 | 0x02 | 0x80), true, q);
    ASSERT_TRUE(r.accepted);
    ASSERT_EQ(q.shown.size(), 1u);
    EXPECT_EQ(q.shown[0], EnglishMessage(kMsgAskOldKind));
    EXPECT_EQ(info.partIndex, 0x81);
    EXPECT_EQ(info.layout, LAYOUT_AP_ISP);
    EXPECT_EQ(info.autoSteps, 0x01 | 0x10);
    EXPECT_EQ(info.optionCount, 3);
    EXPECT_EQ(info.optionBytes[2], 0xF2);
    EXPECT_EQ(info.apLength, 0x400u);
    EXPECT_EQ(info.ispLength, 0x300);
    EXPECT_EQ(info.IspName(), "Default");
    EXPECT_EQ(info.formatKind, 5);
    EXPECT_EQ(info.formatVersion, kVersion);
    EXPECT_EQ(info.oscIndex, 0);
    EXPECT_EQ(info.SerialString(), "            ");

    // Declining the question, and the non-interactive mode.
    q.answer = false;
    EXPECT_FALSE(Read(info, OldKindFile(1, 0, 0), true, q).accepted);
    q.shown.clear();
    EXPECT_TRUE(Read(info, OldKindFile(1, 0, 0), false, q).accepted);
    EXPECT_TRUE(q.shown.empty());

    // Invalid part codes are refused before any question.
    for (std::uint16_t code : {0, 20, 31, 0x20}) {
        q.shown.clear();
        const auto bad = Read(info, OldKindFile(code, 0, 0), true, q);
        EXPECT_EQ(bad.errorKey, kMsgIncompatible) << code;
        ASSERT_EQ(q.shown.size(), 1u);
        EXPECT_EQ(q.shown[0], EnglishMessage(kMsgIncompatible));
    }
}

TEST(QrxTrailer, OldKindTables) {
    const int expected[32] = {-1,   1,    2,  3,  4,    5,    6,  0x81, 0x82, 0x83, 0x84,
                              0x85, 0x86, 7,  8,  0x87, 0x88, 9,  10,   11,   -1,   -1,
                              -1,   -1,   -1, -1, -1,   -1,   -1, -1,   -1,   -1};
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(OldPartIndex(static_cast<std::uint16_t>(i | 0x60)), expected[i]) << i;
    EXPECT_EQ(OldLayout(0), LAYOUT_NONE);
    EXPECT_EQ(OldLayout(1), LAYOUT_AP_ONLY);
    EXPECT_EQ(OldLayout(2 | 0xFC), LAYOUT_ISP_ONLY);
    EXPECT_EQ(OldAutoSteps(0x40), 0x01);
    EXPECT_EQ(OldAutoSteps(0x08), 0x02);
    EXPECT_EQ(OldAutoSteps(0x10), 0x04);
    EXPECT_EQ(OldAutoSteps(0x20), 0x08);
    EXPECT_EQ(OldAutoSteps(0x02), 0x10);
    EXPECT_EQ(OldAutoSteps(0x04), 0x20);
    EXPECT_EQ(OldAutoSteps(0x81), 0x00);
}
