// Any text through the HEX converter: no read or write outside the text or the image, and the
// image always agrees with the length it reports.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "project/intel_hex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kLimit = 1u << 20;  // keeps each run small; the rule is the same
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const proj::HexImage image = proj::ParseIntelHex(text, kLimit);
    const std::uint64_t expected = image.length < kLimit ? image.length : kLimit;
    if (image.bytes.size() != expected) std::abort();
    return 0;
}
