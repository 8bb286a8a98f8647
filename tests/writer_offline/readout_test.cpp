// The Information dialog's texts for hand-made blocks, including blocks whose bytes point
// outside themselves, and the overlap-safe move of the ISP code.
#include <gtest/gtest.h>

#include <numeric>

#include "core/utf8.h"
#include "workbench/workbench.h"
#include "writer/info_block.h"
#include "writer/offline_record.h"

namespace {

using writer::InfoBlock;

constexpr int kPart = 286;  // 32 KB, ISP mask 0xE2 at byte 0, IAP mask 0xFE at byte 3

// A block as the writer returns it for a record with `m` option bytes made for `part`.
InfoBlock Block(int part, std::uint8_t m = 7) {
    InfoBlock b;
    b.fill(0xFF);
    std::fill_n(b.begin(), 62 + m, 0);
    core::PutLE(b, 2, 62u + m, 2);
    core::PutLE(b, 4, 0x5232, 2);  // a device code, replaced by the part index
    b[59] = m;
    std::fill_n(b.begin() + 60, m, 0xFF);
    core::PutLE(b, 60u + m, static_cast<std::uint32_t>(part), 2);
    core::PutLE(b, 504, 0, 4);
    core::PutLE(b, 508, 0, 4);
    return b;
}

class Readout : public ::testing::Test {
  protected:
    void SetUp() override {
        bench.FillSeriesList();
        ASSERT_TRUE(bench.SelectPartByIndex(kPart));
    }
    writer::InfoReadout Of(InfoBlock b) {
        const int index = writer::ResolveInfoPartIndex(b);
        return writer::ReadoutOf(b, index, {bench.parts, bench.panel.isp, bench.panel.osc});
    }
    model::Workbench bench;
};

struct SerialCase {
    std::uint8_t progress[4];  // high byte first
    std::uint8_t autoIncrement;
    std::uint32_t start;
    const char* number;
    const char* current;
};

TEST_F(Readout, SerialNumberTexts) {
    const SerialCase cases[] = {
        {{0, 0, 0, 3}, 0, 0x100, "00000100", "00000102"},
        {{0, 0, 1, 0}, 1, 0x1A, "0000001A+", "00000119"},
        {{0, 0, 0, 2}, 1, 0xFFFFFFFF, "FFFFFFFF+", "00000000"},  // wraps as 32 bits
    };
    for (const SerialCase& c : cases) {
        InfoBlock b = Block(kPart);
        b[25] = 1;
        b[26] = c.autoIncrement;
        core::PutLE(b, 43, c.start, 4);
        std::copy_n(c.progress, 4, b.begin() + 508);
        const auto r = Of(b);
        EXPECT_EQ(r.number, c.number);
        EXPECT_EQ(r.currentSerialNum, c.current);
    }
}

struct IapCase {
    std::uint8_t isp;  // option byte 0: the ISP field
    std::uint8_t iap;  // option byte 3: the IAP field
    const char* ispText;
    const char* iapText;
};

TEST_F(Readout, IspAndIapFromTheBlocksOptionBytes) {
    const IapCase cases[] = {
        // ISP position 4 (2K): IAP = 0x8000 - 0x800 - 15 * 512 = 0x5A00.
        {0x7F, 0x1E, "2K", "22.5 K"},
        {0x7F, 0xFE, "2K", "0.0 K"},  // every mask bit set: no IAP area
        {0x7F, 0xFC, "2K", "0.0 K"},  // a page above the free space counts as 0
        {0xFF, 0x00, "None", "32.0 K"},
    };
    for (const IapCase& c : cases) {
        InfoBlock b = Block(kPart);
        b[60] = c.isp;
        b[63] = c.iap;
        const auto r = Of(b);
        EXPECT_EQ(r.ispSpace, c.ispText) << int(c.iap);
        EXPECT_EQ(r.iapSpace, c.iapText) << int(c.iap);
    }
}

// Option rows, then blocks that name nothing real: every read stays inside the block, and fields
// without a source stay empty instead of showing another part's data.
TEST_F(Readout, OptionRowsAndBlocksThatPointNowhere) {
    // Option rows are ticked where their bit is clear: byte 0 = 0xF6 clears LOCK and HWBS.
    InfoBlock rows = Block(kPart);
    rows[60] = 0xF6;
    const auto ticked = Of(rows).options;
    EXPECT_EQ(ticked[0].name, "LOCK");
    EXPECT_TRUE(ticked[0].ticked && ticked[1].ticked);
    EXPECT_FALSE(ticked[2].ticked || ticked[3].ticked);

    // A part index that names no part.
    InfoBlock none = Block(0xFFFF);
    core::PutLE(none, 23, 42, 2);
    auto r = Of(none);
    EXPECT_EQ(r.partNo, "");
    EXPECT_EQ(r.ispSpace, "");
    EXPECT_EQ(r.iapSpace, "");
    EXPECT_EQ(r.maxCounter, "42");
    for (const auto& row : r.options) EXPECT_EQ(row.name, "");

    // The largest option count: the part index sits at 315 and 316, inside the block.
    InfoBlock wide = Block(kPart, 255);
    EXPECT_EQ(writer::ResolveInfoPartIndex(wide), kPart);

    // A length field that does not match: offset 4 is used as it is.
    InfoBlock odd = Block(kPart);
    core::PutLE(odd, 2, 70, 2);
    EXPECT_EQ(writer::ResolveInfoPartIndex(odd), 0x5232);

    // An erased block (no record): nothing is named, counters read as they are.
    InfoBlock erased;
    erased.fill(0xFF);
    r = Of(erased);
    EXPECT_EQ(r.partNo, "");
    EXPECT_EQ(r.currentCounter, "4294967295");
    EXPECT_EQ(r.string, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF");
}

TEST(MoveBytes, OverlappingRangesMoveAsThroughACopy) {
    std::vector<std::uint8_t> image(32);
    std::iota(image.begin(), image.end(), 0);
    std::vector<std::uint8_t> expected = image;
    const std::vector<std::uint8_t> copy(image.begin() + 10, image.begin() + 26);
    std::copy(copy.begin(), copy.end(), expected.begin() + 4);
    ASSERT_TRUE(writer::MoveBytes(image, 10, 4, 16));
    EXPECT_EQ(image, expected);

    // Ranges running past the image are refused untouched.
    const auto before = image;
    EXPECT_FALSE(writer::MoveBytes(image, 20, 0, 13));
    EXPECT_FALSE(writer::MoveBytes(image, 0, 20, 13));
    EXPECT_FALSE(writer::MoveBytes(image, 0xFFFFFFFFu, 0, 2));
    EXPECT_EQ(image, before);
}

}  // namespace

// Texts read back from the writer are shown through one strict UTF-8 reading: whatever is not a
// well-formed character is an escape, and the result is always valid UTF-8.
TEST(ShownText, OnlyWellFormedCharactersPass) {
    const struct {
        std::string bytes;
        const char* shown;
        std::size_t length;  // characters a form line counts
    } rows[] = {
        {"A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", 4},
        // A surrogate, overlong forms of two and four bytes, above U+10FFFF, a lead byte F5, and a
        // sequence cut short.
        {"\xED\xA0\x80\xC0\xAF\xF0\x8F\xBF\xBF\xF4\x90\x80\x80\xF5\x80\xE4\xB8",
         "\\xED\\xA0\\x80\\xC0\\xAF\\xF0\\x8F\\xBF\\xBF\\xF4\\x90\\x80\\x80\\xF5\\x80\\xE4\\xB8",
         17},
        {std::string("a\0\x1B\x7F\xFF\\", 6), "a\\x00\\x1B\\x7F\\xFF\\\\", 6},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(core::EscapedUtf8(row.bytes), row.shown) << row.shown;
        EXPECT_TRUE(core::IsUtf8(core::EscapedUtf8(row.bytes))) << row.shown;
        EXPECT_EQ(core::ShownLength(row.bytes), row.length) << row.shown;
    }
}
