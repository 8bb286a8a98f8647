// Small byte helpers: little- and big-endian stores and loads bounded by their span, byte sums,
// and printf-style text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace core {

// Out of range: nothing is written.
inline void PutLE(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value,
                  int width) {
    const auto w = static_cast<std::size_t>(width);
    if (offset > bytes.size() || bytes.size() - offset < w) return;
    for (std::size_t k = 0; k < w; ++k)
        bytes[offset + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

// Out of range: 0.
inline std::uint32_t GetLE(std::span<const std::uint8_t> bytes, std::size_t offset, int width) {
    const auto w = static_cast<std::size_t>(width);
    if (offset > bytes.size() || bytes.size() - offset < w) return 0;
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < w; ++k) value |= std::uint32_t{bytes[offset + k]} << (8 * k);
    return value;
}

inline std::uint32_t GetBE(std::span<const std::uint8_t> bytes, std::size_t offset, int width) {
    const auto w = static_cast<std::size_t>(width);
    if (offset > bytes.size() || bytes.size() - offset < w) return 0;
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < w; ++k) value = (value << 8) | bytes[offset + k];
    return value;
}

// Fixed 4-byte fields of a frame whose size the caller has already checked.
inline void PutLE32(std::uint8_t* p, std::uint32_t value) {
    PutLE(std::span<std::uint8_t>(p, 4), 0, value, 4);
}
inline std::uint32_t GetLE32(const std::uint8_t* p) {
    return GetLE(std::span<const std::uint8_t>(p, 4), 0, 4);
}

// Unsigned 32-bit sum of the bytes.
inline std::uint32_t ByteSum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (const std::uint8_t b : bytes) sum += b;
    return sum;
}

// printf-style text of any length.
template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[64];
    const int n = std::snprintf(text, sizeof text, format, args...);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof text)
        return std::string(text, static_cast<std::size_t>(n));
    std::string long_text(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(long_text.data(), long_text.size(), format, args...);
    long_text.resize(static_cast<std::size_t>(n));
    return long_text;
}

}  // namespace core
