#include <gtest/gtest.h>

#include <vector>

#include "catalogue/lookup.h"
#include "catalogue/resource_format.h"

namespace {

using Table = std::vector<std::uint8_t>;

void AddRecord(Table& t, std::uint16_t key, std::string_view text) {
    t.push_back(key & 0xFF);
    t.push_back(key >> 8);
    t.insert(t.end(), text.begin(), text.end());
    t.push_back(0);
}

Table Terminated(Table t) {
    t.push_back(0xFF);
    t.push_back(0xFF);
    return t;
}

TEST(StringTableScan, TerminatorAloneFindsNothing) {
    const Table t = Terminated({});
    EXPECT_FALSE(cat::ScanStringTable(t, 0));
    EXPECT_FALSE(cat::ScanStringTable(t, 0x1234));
}

TEST(StringTableScan, FindsKeysAroundEmptyTexts) {
    Table t;
    AddRecord(t, 5, "");
    AddRecord(t, 0x0100, "after empty");
    AddRecord(t, 2, "two");
    t = Terminated(t);
    EXPECT_EQ(cat::ScanStringTable(t, 5), "");
    EXPECT_EQ(cat::ScanStringTable(t, 0x0100), "after empty");
    EXPECT_EQ(cat::ScanStringTable(t, 2), "two");
    EXPECT_FALSE(cat::ScanStringTable(t, 3));
}

TEST(StringTableScan, StopsAtTheEndOfTruncatedBytes) {
    Table t;
    AddRecord(t, 1, "one");
    t.push_back(2);
    t.push_back(0);
    t.push_back('x');  // text without its NUL, no terminator
    EXPECT_EQ(cat::ScanStringTable(t, 1), "one");
    EXPECT_FALSE(cat::ScanStringTable(t, 2));
    EXPECT_FALSE(cat::ScanStringTable(cat::Bytes(t.data(), 1), 1));
    EXPECT_FALSE(cat::ScanStringTable({}, 1));
}

TEST(ImageLibraryScan, WalksRecordsAndRejectsOverlongLengths) {
    Table lib = {0x00, 0x01, 3, 0, 0, 0, 0x11, 0x22, 0x02, 0xAA, 0xBB,  // id 0x0100
                 0x08, 0x01, 1, 0, 0, 0, 0x01, 0x02, 0x02,              // id 0x0108
                 0xFF, 0xFF};
    const auto first = cat::ScanImageLibrary(lib, 0x0100);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->length, 3u);
    EXPECT_EQ(first->version1, 0x11);
    EXPECT_EQ(first->version2, 0x22);
    EXPECT_EQ(first->data[0], 0x02);
    ASSERT_TRUE(cat::ScanImageLibrary(lib, 0x0108));
    EXPECT_FALSE(cat::ScanImageLibrary(lib, 0x0109));

    Table broken = {0x00, 0x01, 0xFF, 0xFF, 0, 0, 0, 0, 0x02};  // length past the end
    EXPECT_FALSE(cat::ScanImageLibrary(broken, 0x0100));
}

TEST(NumberParsing, DetectsTheBaseAndStopsAtTheFirstForeignCharacter) {
    EXPECT_EQ(cat::ParseNumber("0x3c00"), 15360u);
    EXPECT_EQ(cat::ParseNumber("0X3C00"), 15360u);
    EXPECT_EQ(cat::ParseNumber("64"), 64u);
    EXPECT_EQ(cat::ParseNumber("010"), 8u);
    EXPECT_EQ(cat::ParseNumber("None"), 0u);
    EXPECT_EQ(cat::ParseNumber("0x10000|0x6A00"), 0x10000u);
    EXPECT_EQ(cat::ParseNumber("F/128,7"), 0u);
    EXPECT_EQ(cat::ParseNumber("09"), 0u);  // octal stops at 9
    EXPECT_EQ(cat::ParseNumber("0x"), 0u);
    EXPECT_EQ(cat::ParseNumber(""), 0u);
    EXPECT_EQ(cat::ParseNumber("0xFFFFFFFFF"), 0xFFFFFFFFu);
}

TEST(FieldSplitting, SkipsEmptyFields) {
    const auto f = cat::SplitFields("||a||b|", "|");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0], "a");
    EXPECT_EQ(f[1], "b");
    EXPECT_TRUE(cat::SplitFields("|||", "|").empty());
}

TEST(LanguageVariant, PicksTheFieldOrFallsBackToTheFirst) {
    EXPECT_EQ(cat::ChooseLanguageVariant("Series A|系列 A", 0), "Series A");
    EXPECT_EQ(cat::ChooseLanguageVariant("Series A|系列 A", 1), "系列 A");
    EXPECT_EQ(cat::ChooseLanguageVariant("Only", 0), "Only");
    EXPECT_EQ(cat::ChooseLanguageVariant("Only", 1), "Only");
    EXPECT_EQ(cat::ChooseLanguageVariant("A|B", 2), "A");
}

TEST(ProjectVersion, ReadsBothFieldsAsHexadecimal) {
    EXPECT_EQ(cat::ParseProjectVersion("3.10"), 0x0310);
    EXPECT_EQ(cat::ParseProjectVersion(std::nullopt), 0x0100);
    EXPECT_EQ(cat::ParseProjectVersion("1.17"), 0x0117);
    EXPECT_EQ(cat::ParseProjectVersion("123.456"), 0x2356);  // each cut to 8 bits
    EXPECT_EQ(cat::ProjectVersion(), 0x0310);
}

TEST(CarriedLookups, ResourceIdArithmeticIsSixteenBit) {
    EXPECT_EQ(cat::PartTable(-2), 4094);
    EXPECT_FALSE(cat::LookupText(cat::PartTable(-2), 0));
    EXPECT_EQ(cat::LookupNumber(cat::PartTable(-1), 0x0001), 0u);
    EXPECT_EQ(cat::LookupNumber(cat::kProductInfo, 0x0002), 1u);
    EXPECT_FALSE(cat::LookupText(0x7777, 0));
}

TEST(CarriedLookups, LanguageTextFollowsLanguageId) {
    const int saved = cat::LanguageID();
    cat::SetLanguageID(0);
    EXPECT_EQ(cat::LanguageField(1000, 0), "Load File");
    EXPECT_EQ(cat::LanguageField(1000, 1),
              "Load source file(*.bin, *.hex, *.qrx) into the code buffer");
    EXPECT_FALSE(cat::LanguageField(1024, 1));  // no tooltip field
    cat::SetLanguageID(1);
    EXPECT_EQ(cat::LanguageText(2005), "设置");
    cat::SetLanguageID(2);  // no such table: every lookup fails, fallbacks apply
    EXPECT_FALSE(cat::LanguageText(2005));
    EXPECT_EQ(cat::LanguageTextOr(2013, "Error!"), "Error!");
    cat::SetLanguageID(saved);
}

}  // namespace
