#include "production/serial_plan.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace production {

namespace {

constexpr std::size_t kStandardText = 12;  // as in the off-line record

struct FormatName {
    const char* name;
    SerialFormat format;
};
constexpr FormatName kFormats[] = {{"standard", SerialFormat::kStandard},
                                   {"le32", SerialFormat::kLe32},
                                   {"decimal", SerialFormat::kDecimal},
                                   {"hex", SerialFormat::kHex},
                                   {"bare", SerialFormat::kBare}};

std::string Hex(std::uint64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%04llX", static_cast<unsigned long long>(value));
    return buf;
}

std::optional<std::uint32_t> Unsigned(const std::string& digits, int base) {
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [base](char c) {
            return base == 16 ? std::isxdigit(static_cast<unsigned char>(c))
                              : std::isdigit(static_cast<unsigned char>(c));
        })) {
        return std::nullopt;
    }
    errno = 0;
    const unsigned long long value = std::strtoull(digits.c_str(), nullptr, base);
    if (errno || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

bool HexPrefix(const std::string& text) {
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

std::optional<std::uint32_t> HexNumber(const std::string& text) {
    return Unsigned(HexPrefix(text) ? text.substr(2) : text, 16);
}

std::optional<std::uint32_t> Number(const std::string& text) {
    return HexPrefix(text) ? Unsigned(text.substr(2), 16) : Unsigned(text, 10);
}

}  // namespace

const char* const kSerialOptionsHelp =
    "  --serial HEXADDR       give every chip the next serial number of the production\n"
    "                         record, written into the code image at HEXADDR\n"
    "  --serial-string TEXT   the text before the number; numbers count apart per text\n"
    "  --serial-start N       the first number (1); never below one already handed out\n"
    "  --serial-step K        the step from one number to the next (1)\n"
    "  --serial-format F      standard: TEXT padded to 12 bytes, then the number high byte\n"
    "                         first, as stand-alone chips get it; le32: TEXT, then the\n"
    "                         number low byte first; decimal: TEXT, then 10 digits; hex:\n"
    "                         TEXT, then 8 hexadecimal digits; bare: the number alone,\n"
    "                         high byte first\n";

std::size_t SerialPlan::Size() const {
    switch (format) {
        case SerialFormat::kStandard:
            return kStandardText + 4;
        case SerialFormat::kLe32:
            return text.size() + 4;
        case SerialFormat::kDecimal:
            return text.size() + 10;
        case SerialFormat::kHex:
            return text.size() + 8;
        case SerialFormat::kBare:
            break;
    }
    return 4;
}

std::vector<std::uint8_t> SerialPlan::Field(std::uint32_t number) const {
    std::vector<std::uint8_t> out;
    if (format != SerialFormat::kBare) out.assign(text.begin(), text.end());
    if (format == SerialFormat::kStandard) out.resize(kStandardText, ' ');
    char digits[16];
    switch (format) {
        case SerialFormat::kStandard:
        case SerialFormat::kBare:
            for (int shift = 24; shift >= 0; shift -= 8)
                out.push_back(static_cast<std::uint8_t>(number >> shift));
            break;
        case SerialFormat::kLe32:
            for (int shift = 0; shift <= 24; shift += 8)
                out.push_back(static_cast<std::uint8_t>(number >> shift));
            break;
        case SerialFormat::kDecimal:
            std::snprintf(digits, sizeof digits, "%010u", static_cast<unsigned>(number));
            out.insert(out.end(), digits, digits + 10);
            break;
        case SerialFormat::kHex:
            std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(number));
            out.insert(out.end(), digits, digits + 8);
            break;
    }
    return out;
}

std::string SerialPlan::Check(std::span<const std::uint8_t> image, std::uint32_t codeSize,
                              std::span<const ByteRange> occupied) const {
    const std::uint64_t begin = address;
    const std::uint64_t end = begin + Size();
    const std::string option = "--serial " + Hex(address) + ": ";
    if (end > codeSize) {
        return option + "the " + std::to_string(Size()) + "-byte serial field would end at " +
               Hex(end) + ", past the part's code space of " + Hex(codeSize) + " bytes";
    }
    const std::string field = "the serial field (" + Hex(begin) + " to " + Hex(end - 1) + ")";
    for (std::uint64_t a = begin; a < std::min<std::uint64_t>(end, image.size()); ++a) {
        if (image[a] != 0xFF)
            return option + field + " is over bytes the image uses, from " + Hex(a);
    }
    for (const ByteRange& r : occupied) {
        if (r.begin < end && begin < r.end) {
            return option + field + " is over " + Hex(r.begin) + " to " + Hex(r.end - 1) +
                   ", which the image uses";
        }
    }
    return {};
}

std::vector<std::uint8_t> SerialPlan::Place(std::span<const std::uint8_t> image,
                                            std::uint32_t number) const {
    std::vector<std::uint8_t> out(image.begin(), image.end());
    const std::vector<std::uint8_t> field = Field(number);
    const std::size_t end = static_cast<std::size_t>(address) + field.size();
    if (out.size() < end) out.resize(end, 0xFF);
    std::copy(field.begin(), field.end(), out.begin() + address);
    return out;
}

SerialOptions TakeSerialOptions(std::vector<std::string>& args) {
    SerialPlan plan;
    bool wanted = false;
    std::string needsAddress;  // an option that makes sense only with --serial
    std::vector<std::string> rest;
    auto fail = [](std::string why) { return SerialOptions{std::nullopt, std::move(why)}; };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name != "--serial" && name.rfind("--serial-", 0) != 0) {
            rest.push_back(name);
            continue;
        }
        static const char* const kNames[] = {"--serial", "--serial-string", "--serial-start",
                                             "--serial-step", "--serial-format"};
        if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) {
            rest.push_back(name);  // another command's option, such as --serial-enable
            continue;
        }
        if (i + 1 >= args.size()) return fail(name + " needs a value");
        const std::string& value = args[++i];
        if (name == "--serial") {
            const auto address = HexNumber(value);
            if (!address) return fail("--serial " + value + " is not a hexadecimal address");
            plan.address = *address;
            wanted = true;
            continue;
        }
        needsAddress = name;
        if (name == "--serial-string") {
            plan.text = value;
        } else if (name == "--serial-format") {
            const auto* f = std::find_if(std::begin(kFormats), std::end(kFormats),
                                         [&](const FormatName& n) { return value == n.name; });
            if (f == std::end(kFormats)) {
                return fail("--serial-format " + value +
                            " is not one of standard, le32, decimal, hex, bare");
            }
            plan.format = f->format;
        } else {
            const auto n = Number(value);
            if (!n) {
                return fail(name + " " + value +
                            " is not a 32-bit number (decimal, or hexadecimal after 0x)");
            }
            if (name == "--serial-step" && *n == 0)
                return fail("--serial-step 0: the step is 1 or more");
            (name == "--serial-step" ? plan.step : plan.start) = *n;
        }
    }
    if (!wanted) {
        if (!needsAddress.empty()) return fail(needsAddress + " needs --serial HEXADDR");
        args = std::move(rest);
        return {};
    }
    if (plan.format == SerialFormat::kStandard && plan.text.size() > kStandardText) {
        return fail("--serial-string '" + plan.text +
                    "' is longer than the standard field's 12 bytes");
    }
    if (plan.format == SerialFormat::kBare && !plan.text.empty())
        return fail("--serial-format bare has no string; leave out --serial-string");
    args = std::move(rest);
    return {plan, {}};
}

}  // namespace production
