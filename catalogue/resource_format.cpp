#include "catalogue/resource_format.h"

#include <cstring>

namespace cat {
namespace {

std::uint16_t ReadU16(Bytes b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t ReadU32(Bytes b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

}  // namespace

std::optional<std::string_view> ScanStringTable(Bytes table, std::uint16_t key) {
    std::size_t at = 0;
    while (at + 2 <= table.size()) {
        const std::uint16_t recordKey = ReadU16(table, at);
        if (recordKey == kTableEnd) return std::nullopt;
        const std::size_t textStart = at + 2;
        const void* nul = std::memchr(table.data() + textStart, 0, table.size() - textStart);
        if (nul == nullptr) return std::nullopt;
        const std::size_t textLength =
            static_cast<const std::uint8_t*>(nul) - (table.data() + textStart);
        if (recordKey == key) {
            return std::string_view(reinterpret_cast<const char*>(table.data() + textStart),
                                    textLength);
        }
        at = textStart + textLength + 1;
    }
    return std::nullopt;
}

std::optional<ImageRecord> ScanImageLibrary(Bytes library, std::uint16_t id) {
    std::size_t at = 0;
    while (at + 2 <= library.size()) {
        const std::uint16_t recordId = ReadU16(library, at);
        if (recordId == kTableEnd) return std::nullopt;
        if (at + 8 > library.size()) return std::nullopt;
        const std::uint32_t length = ReadU32(library, at + 2);
        if (length > library.size() - (at + 8)) return std::nullopt;
        if (recordId == id) {
            return ImageRecord{recordId, length, library[at + 6], library[at + 7],
                               library.data() + at + 8};
        }
        at += 8 + static_cast<std::size_t>(length);
    }
    return std::nullopt;
}

}  // namespace cat
