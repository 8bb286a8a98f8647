// Intel HEX text to an absolute byte image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace proj {

// Bytes kept in memory at most; data above this address is dropped but still counted in
// `length`, so a caller comparing `length` with its limit refuses the image.
inline constexpr std::size_t kHexImageLimit = 16u << 20;

// Where a HEX file is damaged: its line (counted from 1, "\r\n", "\n" and a lone "\r" each
// ending one) and what is wrong there.
struct HexDamage {
    std::size_t line = 0;
    const char* what = "";
};

struct HexImage {
    std::vector<std::uint8_t> bytes;  // from address 0, gaps 0xFF; min(length, limit) bytes
    std::uint64_t length = 0;         // highest end address written, 0 without data records
    // Set when a record is damaged; `bytes` then hold only what came before it, which is not
    // the program and must not be loaded as if it were.
    std::optional<HexDamage> damage;
    bool Complete() const { return bytes.size() == length; }
};

// Converts the records of `text`:
// - lines end at every '\n' and '\r'; only lines starting with ':' are records; the text ends
//   at its first NUL byte, as a C string would;
// - the characters after the colon, up to spaces or tabs that end the line, are hexadecimal
//   digits taken two at a time;
// - a record with another character, an odd number of digits, bytes that do not sum to 0 or
//   fewer bytes than its count asks for is damage: the conversion ends there with `damage`;
// - type 0 stores data at base + address; types 2 and 4 with count 2 and address 0 set the
//   base (<< 4, << 16), otherwise they are ignored; every other type ends the conversion after
//   its line, and what follows is not read;
// - an empty record (":" alone) changes nothing.
HexImage ParseIntelHex(std::string_view text, std::size_t limit = kHexImageLimit);

}  // namespace proj
