// A chip's serial number in the code image: where its bytes go and how they look, the check
// that they fit before anything is sent, and the command-line options that say so.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "production/store.h"

namespace production {

enum class SerialFormat {
    kStandard,  // the string padded with spaces to 12 bytes, then the number high byte first,
                // as the virtual writer lays out stand-alone serial numbers
    kLe32,      // the string, then the number low byte first
    kDecimal,   // the string, then the number in 10 decimal digits
    kHex,       // the string, then the number in 8 upper-case hexadecimal digits
    kBare,      // the number alone, high byte first
};

// Bytes [begin, end) of the code space.
struct ByteRange {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
};

struct SerialPlan {
    std::uint32_t address = 0;
    std::string text;  // counted apart: every string is a sequence of its own
    std::uint32_t start = 1;
    std::uint32_t step = 1;
    SerialFormat format = SerialFormat::kStandard;

    SerialSequence Sequence() const { return {text, start, step}; }
    std::size_t Size() const;
    std::vector<std::uint8_t> Field(std::uint32_t number) const;
    // Why the field cannot go into `image` for a part with `codeSize` bytes of code space: it
    // reaches past the code space, or over bytes the image uses (any byte that is not 0xFF,
    // or one `occupied` names). Empty when it can.
    std::string Check(std::span<const std::uint8_t> image, std::uint32_t codeSize,
                      std::span<const ByteRange> occupied = {}) const;
    // `image` with the field for `number` at the address, grown with 0xFF bytes to hold it;
    // for a plan whose Check passed.
    std::vector<std::uint8_t> Place(std::span<const std::uint8_t> image,
                                    std::uint32_t number) const;
};

// The serial options taken out of a command line: no plan without --serial; `why` says what is
// wrong with them (a usage error).
struct SerialOptions {
    std::optional<SerialPlan> plan;
    std::string why;
};

// Takes --serial ADDR (hexadecimal), --serial-string S, --serial-start N, --serial-step K
// (decimal, or hexadecimal after 0x) and --serial-format F out of `args`, leaving the other
// arguments in their order.
SerialOptions TakeSerialOptions(std::vector<std::string>& args);

// The options' lines for a command's help text.
extern const char* const kSerialOptionsHelp;

}  // namespace production
