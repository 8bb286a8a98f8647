// Intel HEX text to an absolute byte image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace proj {

// Bytes kept in memory at most; data above this address is dropped but still counted in
// `length`, so a caller comparing `length` with its limit refuses the image.
inline constexpr std::size_t kHexImageLimit = 16u << 20;

struct HexImage {
    std::vector<std::uint8_t> bytes;  // from address 0, gaps 0xFF; min(length, limit) bytes
    std::uint64_t length = 0;         // highest end address written, 0 without data records
    bool Complete() const { return bytes.size() == length; }
};

// Converts the records of `text` as the loader always has:
// - lines end at every '\n' and '\r'; only lines starting with ':' are records; the text ends
//   at its first NUL byte, as a C string would;
// - characters after the colon are taken two at a time, a character being worth its low four
//   bits plus 9 when its 0x40 bit is set; a lone last character is ignored;
// - a record whose bytes do not sum to 0, or that holds fewer bytes than its count asks for,
//   ends the conversion (what came before stays);
// - type 0 stores data at base + address; types 2 and 4 with count 2 and address 0 set the
//   base (<< 4, << 16), otherwise they are ignored; every other type ends the conversion after
//   its line;
// - an empty record (":" alone) changes nothing.
HexImage ParseIntelHex(std::string_view text, std::size_t limit = kHexImageLimit);

}  // namespace proj
