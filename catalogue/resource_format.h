// Byte formats of the carried resources: string tables and the image library.
// Both scanners are bounded by the span they are given and never read past it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace cat {

using Bytes = std::span<const std::uint8_t>;

inline constexpr std::uint16_t kTableEnd = 0xFFFF;

// First record of a ResourceStringTable whose key equals `key`; none at the terminator,
// at a text without its NUL, or at the end of the bytes.
std::optional<std::string_view> ScanStringTable(Bytes table, std::uint16_t key);

struct ImageRecord {
    std::uint16_t id = 0;
    std::uint32_t length = 0;
    std::uint8_t version1 = 0;
    std::uint8_t version2 = 0;
    const std::uint8_t* data = nullptr;
    Bytes bytes() const { return {data, length}; }
};

// First record of an ImageLibrary whose id equals `id`; none at the terminator or when a
// record's header or data would run past the end of the bytes.
std::optional<ImageRecord> ScanImageLibrary(Bytes library, std::uint16_t id);

}  // namespace cat
