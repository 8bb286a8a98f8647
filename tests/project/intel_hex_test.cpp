#include "project/intel_hex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using proj::ParseIntelHex;

namespace {

// One record line with a correct checksum.
std::string Record(std::uint8_t type, std::uint16_t address,
                   const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()),
                                       static_cast<std::uint8_t>(address >> 8),
                                       static_cast<std::uint8_t>(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    for (auto b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    bytes.push_back(static_cast<std::uint8_t>(-sum));
    std::string line = ":";
    char hex[3];
    for (auto b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\r\n";
}

std::vector<std::uint8_t> Fill(std::size_t n, std::uint8_t first) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + i);
    return v;
}

}  // namespace

TEST(IntelHex, DataRecordsMakeAnAbsoluteImageWithGapsOfFF) {
    std::string text;
    for (int a = 0x100; a < 0x200; a += 16)
        text += Record(0, static_cast<std::uint16_t>(a), Fill(16, 1));
    text += ":00000001FF\r\n";
    const auto image = ParseIntelHex(text);
    ASSERT_EQ(image.length, 0x200u);
    ASSERT_EQ(image.bytes.size(), 0x200u);
    for (int i = 0; i < 0x100; ++i) ASSERT_EQ(image.bytes[i], 0xFF) << i;
    EXPECT_EQ(image.bytes[0x100], 1);
    EXPECT_EQ(image.bytes[0x1FF], 16);
}

TEST(IntelHex, NoDataRecordsGiveAnEmptyImage) {
    EXPECT_EQ(ParseIntelHex("").length, 0u);
    // An empty file's text has no storage at all; nothing may be searched through it.
    EXPECT_EQ(ParseIntelHex(std::string_view{}).length, 0u);
    EXPECT_EQ(ParseIntelHex(std::string_view{}, 0).bytes.size(), 0u);
    EXPECT_EQ(ParseIntelHex(":00000001FF\n").bytes.size(), 0u);
    EXPECT_EQ(ParseIntelHex("just text\nno records\n").length, 0u);
}

TEST(IntelHex, LineSplittingAndDigitRule) {
    // Lone CR, LF, blank lines, text lines without a colon, lower-case digits, and spaces and
    // tabs ending a record.
    const std::string text =
        "comment\r\r:0200000011aa43 \r\n\n\n  :02000200BBCC75\r:020004000102F7\t ";
    const auto image = ParseIntelHex(text);
    EXPECT_EQ(image.length, 6u);
    EXPECT_FALSE(image.damage);
    // The indented line is not a record: only a colon in the first column starts one.
    EXPECT_EQ(image.bytes, (std::vector<std::uint8_t>{0x11, 0xAA, 0xFF, 0xFF, 0x01, 0x02}));
}

TEST(IntelHex, DamageNamesItsLineAndKeepsOnlyWhatCameBefore) {
    const std::string good = Record(0, 0, {1, 2});  // line 1
    struct Row {
        std::string text;
        std::size_t line;
        std::string what;
    };
    const Row rows[] = {
        {good + ":0100020003FB\n" + Record(0, 3, {4}), 2, "bad checksum"},
        // The bytes still sum to 0.
        {good + ":0500020003F6\n", 2, "record shorter than its count"},
        // 'G' would convert to 16 by its low bits, which made this a valid record.
        {good + ":010002000GED\n", 2, "not a hexadecimal digit"},
        {good + ":0100020003F\n", 2, "odd number of digits"},
        // "\r\n", "\n" and a lone "\r" end one line each.
        {good + "\n" + "note\r" + ":0100020003FB", 4, "bad checksum"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto image = ParseIntelHex(row.text);
        ASSERT_TRUE(image.damage);
        EXPECT_EQ(image.damage->line, row.line);
        EXPECT_EQ(image.damage->what, row.what);
        EXPECT_EQ(image.length, 2u);
    }
}

TEST(IntelHex, ExtendedAddressRecords) {
    // Linear address 0 changes nothing.
    EXPECT_EQ(ParseIntelHex(":020000040000FA\n" + Record(0, 0, {7})).bytes,
              std::vector<std::uint8_t>{7});
    // Segment base 0x1000 << 4 = 0x10000, so the byte lands above 64 KB.
    const auto seg = ParseIntelHex(Record(2, 0, {0x10, 0x00}) + Record(0, 2, {9}));
    EXPECT_EQ(seg.length, 0x10003u);
    EXPECT_EQ(seg.bytes[0x10002], 9);
    // Linear base 1 << 16.
    const auto lin = ParseIntelHex(Record(4, 0, {0x00, 0x01}) + Record(0, 0, {5}));
    EXPECT_EQ(lin.length, 0x10001u);
    // Base records with another count or address are ignored.
    const auto ignored = ParseIntelHex(Record(4, 0, {0x00, 0x01, 0x00}) +
                                       Record(4, 2, {0x00, 0x01}) + Record(0, 0, {5}));
    EXPECT_EQ(ignored.length, 1u);
}

TEST(IntelHex, ConversionStops) {
    const std::string good = Record(0, 0, {1, 2});
    // After an end-of-file record, and after any other unknown type.
    EXPECT_EQ(ParseIntelHex(good + ":00000001FF\n" + Record(0, 2, {3})).length, 2u);
    EXPECT_EQ(ParseIntelHex(good + Record(3, 0, {0, 0, 0, 0}) + Record(0, 2, {3})).length, 2u);
    EXPECT_EQ(ParseIntelHex(good + Record(5, 0, {0, 0, 0, 0}) + Record(0, 2, {3})).length, 2u);
    // The text ends at a NUL byte, even one right after a record's checksum: read as a line
    // break or as a stray digit it would let the next line's record in.
    std::string withNul = good + std::string(1, '\0') + Record(0, 2, {3});
    EXPECT_EQ(ParseIntelHex(withNul).length, 2u);
    std::string afterChecksum = good.substr(0, good.size() - 2) + std::string(1, '\0') + "\r\n";
    EXPECT_EQ(ParseIntelHex(afterChecksum + Record(0, 2, {3})).length, 2u);
    EXPECT_EQ(ParseIntelHex(good.substr(0, good.size() - 2) + "\r\n" + Record(0, 2, {3})).length,
              3u);  // the same text without the NUL
}

TEST(IntelHex, AwkwardLinesStayWithinTheLine) {
    // An empty record changes nothing.
    EXPECT_EQ(ParseIntelHex(":\n" + Record(0, 0, {1})).length, 1u);
    // The largest record (255 data bytes) converts whole; trailing pairs only join the sum.
    const auto big = ParseIntelHex(Record(0, 0x10, Fill(255, 0)));
    ASSERT_EQ(big.length, 0x10fu);
    EXPECT_EQ(big.bytes[0x10 + 254], 254);
    std::string extra = Record(0, 0, {1});
    extra.insert(extra.size() - 2, "0000");
    EXPECT_EQ(ParseIntelHex(extra).length, 1u);
}

TEST(IntelHex, DataReachingPastTheWindowGrowsTheImage) {
    const auto image = ParseIntelHex(Record(0, 0xFFF8, Fill(16, 0)));
    ASSERT_EQ(image.length, 0x10008u);
    EXPECT_EQ(image.bytes[0x10007], 15);
}

TEST(IntelHex, HugeAddressesAreCountedButNotAllocated) {
    // Linear base 0xFFFF0000: the image's end is far beyond the memory limit.
    const auto image = ParseIntelHex(Record(4, 0, {0xFF, 0xFF}) + Record(0, 0xFFFF, Fill(4, 0)) +
                                     Record(0, 0, {1}));
    EXPECT_EQ(image.length, 0xFFFF0000ull + 0xFFFF + 4);
    EXPECT_FALSE(image.Complete());
    EXPECT_EQ(image.bytes.size(), proj::kHexImageLimit);
    // A data record with count 0 still moves the end.
    EXPECT_EQ(ParseIntelHex(":00100000F0\n").length, 0x1000u);
}
