// The serial field: its bytes in every format, where it may go, and the options that ask for it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "production/serial_plan.h"

namespace {

using production::ByteRange;
using production::SerialFormat;
using production::SerialPlan;
using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(SerialPlan, EachFormatLaysOutTheNumber) {
    const struct {
        SerialFormat format;
        const char* text;
        std::uint32_t number;
        Bytes expected;
    } kCases[] = {
        // As the virtual writer gives stand-alone chips their numbers.
        {SerialFormat::kStandard, "AB", 0x1A, Join(Text("AB          "), {0x00, 0x00, 0x00, 0x1A})},
        {SerialFormat::kStandard, "", 0x12345678,
         Join(Text("            "), {0x12, 0x34, 0x56, 0x78})},
        {SerialFormat::kStandard, "0123456789AB", 1,
         Join(Text("0123456789AB"), {0x00, 0x00, 0x00, 0x01})},
        {SerialFormat::kLe32, "SN", 0x12345678, Join(Text("SN"), {0x78, 0x56, 0x34, 0x12})},
        {SerialFormat::kDecimal, "X-", 42, Text("X-0000000042")},
        {SerialFormat::kDecimal, "", 0xFFFFFFFF, Text("4294967295")},
        {SerialFormat::kHex, "#", 0xBEEF, Text("#0000BEEF")},
        {SerialFormat::kBare, "", 0x01020304, {0x01, 0x02, 0x03, 0x04}},
    };
    for (const auto& c : kCases) {
        const SerialPlan plan{0, c.text, 1, 1, c.format};
        EXPECT_EQ(plan.Field(c.number), c.expected) << c.text << " " << c.number;
        EXPECT_EQ(plan.Size(), c.expected.size()) << c.text;
    }
}

TEST(SerialPlan, PlacingKeepsTheImageAndGrowsItWithErasedBytes) {
    const SerialPlan plan{6, "", 1, 1, SerialFormat::kBare};
    EXPECT_EQ(plan.Place(Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 0xA0B0C0D0),
              (Bytes{1, 2, 3, 4, 5, 6, 0xA0, 0xB0, 0xC0, 0xD0, 11, 12}));
    EXPECT_EQ(plan.Place(Bytes{1, 2, 3}, 0x01020304),
              (Bytes{1, 2, 3, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4}));
}

TEST(SerialPlan, TheFieldMustFitTheCodeSpaceAndLeaveTheImageAlone) {
    Bytes image(0x100, 0xFF);
    image[0x20] = 0x00;  // a byte the program uses
    const ByteRange isp[] = {{0x7000, 0x7800}};
    const struct {
        std::uint32_t address;
        const char* refusal;  // empty: placed
    } kCases[] = {
        {0x7FF0, ""},  // the 16-byte field ends at the code space's end
        {0x7FF1, "would end at 0x8001, past the part's code space of 0x8000 bytes"},
        {0xFFFFFFF8, "past the part's code space"},
        {0x21, ""},
        {0x11, "the serial field (0x0011 to 0x0020) is over bytes the image uses, from 0x0020"},
        {0x6FF0, ""},
        {0x6FF1, "is over 0x7000 to 0x77FF, which the image uses"},
        {0x77FF, "is over 0x7000 to 0x77FF"},
        {0x7800, ""},
    };
    for (const auto& c : kCases) {
        const SerialPlan plan{c.address, "AB", 1, 1, SerialFormat::kStandard};
        const std::string why = plan.Check(image, 0x8000, isp);
        if (*c.refusal) {
            EXPECT_THAT(why, testing::HasSubstr(c.refusal)) << std::hex << c.address;
        } else {
            EXPECT_EQ(why, "") << std::hex << c.address;
        }
    }
}

TEST(SerialPlan, OptionsAreTakenOutOfTheCommandLine) {
    const struct {
        std::vector<std::string> args;
        const char* plan;  // "ADDR TEXT START STEP FORMAT", or the refusal's words
        std::vector<std::string> rest;
    } kCases[] = {
        {{"--part", "1", "program"}, "", {"--part", "1", "program"}},
        {{"--part", "1", "--serial", "7ff0", "--serial-string", "AB", "program"},
         "7ff0 AB 1 1 0",
         {"--part", "1", "program"}},
        {{"--serial", "0x100", "--serial-start", "0x10", "--serial-step", "3", "--serial-format",
          "decimal", "--serial-enable", "1"},
         "100  16 3 2",
         {"--serial-enable", "1"}},
        {{"--serial", "100", "--serial-format", "bare"}, "100  1 1 4", {}},
        {{"--serial"}, "--serial needs a value", {}},
        {{"--serial", "7fg0"}, "--serial 7fg0 is not a hexadecimal address", {}},
        {{"--serial", "1", "--serial-start", "-1"}, "--serial-start -1 is not a 32-bit number", {}},
        {{"--serial", "1", "--serial-start", "4294967296"},
         "--serial-start 4294967296 is not a 32-bit number",
         {}},
        {{"--serial", "1", "--serial-step", "0"}, "--serial-step 0: the step is 1 or more", {}},
        {{"--serial", "1", "--serial-format", "be32"},
         "--serial-format be32 is not one of standard, le32",
         {}},
        {{"--serial", "1", "--serial-string", "0123456789ABC"},
         "--serial-string '0123456789ABC' is longer than the standard",
         {}},
        {{"--serial", "1", "--serial-string", "A", "--serial-format", "bare"},
         "--serial-format bare has no string",
         {}},
        {{"--serial-start", "5"}, "--serial-start needs --serial HEXADDR", {}},
    };
    for (const auto& c : kCases) {
        auto args = c.args;
        const auto options = production::TakeSerialOptions(args);
        std::string got = options.why;
        if (options.plan) {
            const SerialPlan& p = *options.plan;
            char buf[64];
            std::snprintf(buf, sizeof buf, "%x %s %u %u %d", p.address, p.text.c_str(), p.start,
                          p.step, static_cast<int>(p.format));
            got = buf;
        }
        EXPECT_EQ(got.substr(0, std::string(c.plan).size()), c.plan) << got;
        if (options.why.empty()) {
            EXPECT_EQ(args, c.rest) << c.plan;
        }
    }
}

}  // namespace
