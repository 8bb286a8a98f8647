// Text that comes from files and from the writer is 8-bit and untrusted: UTF-8 where it is
// well-formed, anything else otherwise. One strict reading of it for everything that counts or
// shows such text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

// Length of the well-formed UTF-8 character at text[at]; 0 when the bytes there are not one (a
// stray continuation byte, an overlong form, a surrogate, a code point above U+10FFFF, a lead
// byte C0, C1 or F5 to FF, a sequence cut short).
inline std::size_t Utf8CharLength(std::string_view text, std::size_t at) {
    if (at >= text.size()) return 0;
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    // The range the second byte must fall in; the later bytes are plain continuation bytes.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong below U+10000
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return 0;
    }
    return length;
}

inline bool IsUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8CharLength(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

// How many characters `text` shows as: its characters when it is UTF-8, else its bytes (8-bit
// text shows one character a byte).
inline std::size_t ShownLength(std::string_view text) {
    if (!IsUtf8(text)) return text.size();
    std::size_t count = 0;
    for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// `text` as valid UTF-8 that a terminal or a JSON reader can take: well-formed characters as
// they are; every other byte and every control character as \xHH; the backslash as \\, so an
// escape cannot be mistaken for text.
inline std::string EscapedUtf8(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t length = Utf8CharLength(text, at);
        if (c == '\\') {
            out += "\\\\";
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        } else {
            out.append(text.substr(at, length));
            at += length;
            continue;
        }
        ++at;
    }
    return out;
}

}  // namespace core
