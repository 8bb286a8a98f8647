#include "project/intel_hex.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace proj {
namespace {

// A hexadecimal digit's value, or 0xFF for any other character.
constexpr std::array<std::uint8_t, 256> MakeDigitTable() {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        t[c] = c >= '0' && c <= '9'   ? static_cast<std::uint8_t>(c - '0')
               : c >= 'A' && c <= 'F' ? static_cast<std::uint8_t>(c - 'A' + 10)
               : c >= 'a' && c <= 'f' ? static_cast<std::uint8_t>(c - 'a' + 10)
                                      : 0xFF;
    }
    return t;
}
constexpr auto kDigit = MakeDigitTable();
constexpr std::uint8_t kNotADigit = 0xFF;

constexpr bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// The largest record: count, two address bytes, type, 255 data bytes, checksum.
constexpr std::size_t kRecordCapacity = 260;

}  // namespace

HexImage ParseIntelHex(std::string_view text, std::size_t limit) {
    HexImage out;
    std::vector<std::uint8_t>& image = out.bytes;
    image.reserve(std::min<std::size_t>(0x10000, limit));
    std::uint64_t base = 0;
    std::uint64_t length = 0;

    const char* p = text.data();
    const char* end = p + text.size();
    if (const void* nul = text.empty() ? nullptr : std::memchr(p, 0, text.size()))
        end = static_cast<const char*>(nul);

    std::uint8_t record[kRecordCapacity];
    std::size_t lineNumber = 1;
    while (p < end) {
        const std::size_t number = lineNumber;
        const char* line = p;
        while (p < end && !IsLineEnd(*p)) ++p;
        const char* lineEnd = p;
        for (; p < end && IsLineEnd(*p); ++p) {
            if (*p == '\n' || p + 1 == end || p[1] != '\n') ++lineNumber;
        }
        if (line == lineEnd || *line != ':') continue;
        auto damaged = [&](const char* what) { out.damage = HexDamage{number, what}; };

        while (lineEnd > line + 1 && (lineEnd[-1] == ' ' || lineEnd[-1] == '\t')) --lineEnd;
        const auto* q = reinterpret_cast<const unsigned char*>(line + 1);
        const auto digits = static_cast<std::size_t>(lineEnd - (line + 1));
        if (digits == 0) continue;
        if (std::any_of(q, q + digits, [](unsigned char c) { return kDigit[c] == kNotADigit; })) {
            damaged("not a hexadecimal digit");
            break;
        }
        if (digits % 2 != 0) {
            damaged("odd number of digits");
            break;
        }
        const std::size_t pairs = digits / 2;
        std::uint8_t sum = 0;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < pairs; ++i, q += 2) {
            const auto b = static_cast<std::uint8_t>((kDigit[q[0]] << 4) + kDigit[q[1]]);
            sum = static_cast<std::uint8_t>(sum + b);
            if (kept < kRecordCapacity) record[kept++] = b;
        }
        if (sum != 0) {
            damaged("bad checksum");
            break;
        }
        const std::size_t count = record[0];
        if (pairs < count + 5) {
            damaged("record shorter than its count");
            break;
        }
        const std::uint32_t address = (std::uint32_t{record[1]} << 8) | record[2];
        const std::uint8_t type = record[3];

        if (type == 0) {
            const std::uint64_t start = base + address;
            const std::uint64_t stop = start + count;
            length = std::max(length, stop);
            if (start < limit && count != 0) {
                const std::size_t keepEnd =
                    static_cast<std::size_t>(std::min<std::uint64_t>(stop, limit));
                if (image.size() < keepEnd) image.resize(keepEnd, 0xFF);
                std::memcpy(image.data() + start, record + 4,
                            keepEnd - static_cast<std::size_t>(start));
            }
        } else if (type == 2 || type == 4) {
            if (count == 2 && address == 0) {
                const std::uint64_t value = (std::uint32_t{record[4]} << 8) | record[5];
                base = type == 2 ? value << 4 : value << 16;
            }
        } else {
            break;
        }
    }
    out.length = length;
    image.resize(static_cast<std::size_t>(std::min<std::uint64_t>(length, limit)), 0xFF);
    return out;
}

}  // namespace proj
