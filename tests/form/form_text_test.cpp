// The carried template, its filling, the value formats, the grid and the BMP encoding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "form/form_grid.h"
#include "form/form_slots.h"
#include "form/form_template.h"
#include "form/mono_bmp.h"

namespace {

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

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

}  // namespace

TEST(FormTemplate, FilledWithSlotWideValuesEveryLineKeepsItsWidth) {
    const std::string_view format = form::FormTemplate();
    ASSERT_FALSE(format.empty());
    EXPECT_NE(format.substr(format.size() - 2), "\r\n");  // no break after the last line
    form::FormSlots slots;
    slots.fill("");
    const auto lines = Lines(form::FillTemplate(format, slots));
    ASSERT_EQ(lines.size(), 68u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int line = static_cast<int>(i) + 1;
        std::size_t width = 80;
        if (line >= 55 && line <= 63) width = 83;
        if (line == 66 || line == 68) width = 81;
        if (line == 8 || line == 10) width = 3;
        if (lines[i].empty()) continue;
        EXPECT_EQ(lines[i].size(), width) << "line " << line;
        EXPECT_EQ(lines[i].find_first_of("\t\r\n%"), std::string::npos) << "line " << line;
    }
    // The fixed texts at their columns.
    EXPECT_EQ(lines[3].substr(30, 21), "corvane QRX FORM V1.2");
    EXPECT_EQ(lines[6].substr(3, 37), "To   : _____________________________ ");
    EXPECT_EQ(lines[21].substr(43, 13), "Code Checksum");
    EXPECT_EQ(lines[52].substr(5, 10), "Liability:");
    EXPECT_EQ(lines[54].substr(5, 3), "1. ");
    EXPECT_EQ(lines[56].substr(5, 3), "2. ");
    EXPECT_EQ(lines[59].substr(5, 3), "3. ");
    EXPECT_EQ(lines[65].substr(27, 27), ": " + std::string(25, '_'));
    EXPECT_EQ(lines[67].substr(4, 50), "corvane representative : " + std::string(25, '_'));
    EXPECT_EQ(lines[67].substr(57, 20), "Date : " + std::string(13, '_'));
    // Every empty line of the table is empty, not blank.
    for (int line : {1,  2,  3,  5,  6,  12, 13, 15, 17, 19, 21, 23,
                     25, 27, 29, 31, 37, 50, 51, 52, 54, 64, 65, 67}) {
        EXPECT_TRUE(lines[static_cast<std::size_t>(line - 1)].empty()) << "line " << line;
    }
}

TEST(FillTemplate, ConversionsWidthsAndOverlongValues) {
    struct Case {
        const char* format;
        std::vector<std::string> values;
        const char* expected;
    };
    const Case cases[] = {
        {"[%-5s][%5s]", {"ab", "cd"}, "[ab   ][   cd]"},
        {"[%-3s]|", {"longer"}, "[longer]|"},  // printed whole, the rest pushed right
        {"%s%s", {"a"}, "a"},                  // conversions beyond the values print nothing
        {"100%% %d %", {}, "100% %d %"},       // only string conversions are filled
        {"%-2s", {"x", "unused"}, "x "},
        // Padded by the characters shown: UTF-8 characters, else one a byte.
        {"[%-5s][%4s]",
         {"\xC3\xA9", "\xE4\xB8\xAD\xE6\x96\x87"},
         "[\xC3\xA9    ][  \xE4\xB8\xAD\xE6\x96\x87]"},
        {"[%-4s]", {"\xE9t"}, "[\xE9t  ]"},
        {"[%-4s]|", {std::string("ab\0cd", 5)}, "[ab  ]|"},  // a value ends at a NUL
    };
    for (const auto& c : cases) EXPECT_EQ(form::FillTemplate(c.format, c.values), c.expected);
}

TEST(FormValues, FileNamesAndVersionDigits) {
    EXPECT_EQ(form::FileNameOf("C:\\work\\a.qrx"), "a.qrx");
    EXPECT_EQ(form::FileNameOf("/tmp/dir/b.qrx"), "b.qrx");
    EXPECT_EQ(form::VersionText(0x010F), "v1.0F");  // the low byte is hexadecimal
}

TEST(FormGrid, LinesForACell) {
    const int c = 8, h = 15;  // halves 4 and 7
    const auto lines = form::FormGridLines(c, h);
    ASSERT_EQ(lines.size(), 18u);
    const int left = 14 * 8 - 4, right = 86 * 8 + 4, top = 12 * 15 + 7, bottom = 49 * 15 + 7;
    EXPECT_EQ(lines.front(), (form::GridLine{left, top, right, top}));
    EXPECT_EQ(lines[10], (form::GridLine{left, bottom, left, top}));
    EXPECT_EQ(lines[11], (form::GridLine{right, bottom, right, top}));
    EXPECT_EQ(lines.back(), (form::GridLine{51 * 8 - 4, 37 * 15 + 7, 51 * 8 - 4, 48 * 15 + 7}));
    EXPECT_EQ(form::FormGridLines(7, 13).front().x1, 14 * 7 - 3);  // odd cells halve down
}

TEST(MonoBmp, HeaderPaletteAndBottomUpPaddedRows) {
    form::MonoPicture picture(9, 2);  // 9 pixels: two bytes of bits, padded to four
    picture.black[0] = 1;             // top row, first pixel
    picture.black[9 + 8] = 1;         // bottom row, last pixel
    const auto bmp = form::EncodeMonoBmp(picture);
    ASSERT_EQ(bmp.size(), 14u + 40 + 8 + 2 * 4);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(U32(bmp, 2), bmp.size());
    EXPECT_EQ(U32(bmp, 10), 62u);  // bits offset
    EXPECT_EQ(U32(bmp, 18), 9u);
    EXPECT_EQ(U32(bmp, 22), 2u);
    EXPECT_EQ(bmp[28], 1);  // bits per pixel
    EXPECT_EQ(U32(bmp, 54), 0x000000u);
    EXPECT_EQ(U32(bmp, 58), 0xFFFFFFu);
    // First stored row is the bottom one: all white but its ninth pixel.
    EXPECT_EQ(std::vector<std::uint8_t>(bmp.begin() + 62, bmp.begin() + 66),
              (std::vector<std::uint8_t>{0xFF, 0x00, 0x00, 0x00}));
    EXPECT_EQ(std::vector<std::uint8_t>(bmp.begin() + 66, bmp.end()),
              (std::vector<std::uint8_t>{0x7F, 0x80, 0x00, 0x00}));
    EXPECT_TRUE(form::EncodeMonoBmp(form::MonoPicture()).empty());
}
