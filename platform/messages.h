// Window-message numbers and parameter types shared by the program and the controls it loads.
// Header only: usable without linking libplatform.so.
//
// A message is (msg, wParam, lParam) and yields an LRESULT. wParam and lParam are pointer-sized,
// so a message may carry a pointer to a caller-owned record; the receiver only uses it for the
// duration of the call.
#pragma once

#include <cstdint>

namespace platform {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_HSCROLL = 0x0114;
inline constexpr UINT WM_VSCROLL = 0x0115;
inline constexpr UINT WM_USER = 0x0400;

// Notification codes carried in the high 16 bits of a WM_COMMAND wParam.
inline constexpr std::uint16_t EN_CHANGE = 0x0300;

// Scroll-bar request codes (low 16 bits of a WM_HSCROLL/WM_VSCROLL wParam).
inline constexpr std::uint16_t SB_LINEUP = 0;
inline constexpr std::uint16_t SB_LINEDOWN = 1;
inline constexpr std::uint16_t SB_PAGEUP = 2;
inline constexpr std::uint16_t SB_PAGEDOWN = 3;
inline constexpr std::uint16_t SB_THUMBPOSITION = 4;
inline constexpr std::uint16_t SB_THUMBTRACK = 5;

constexpr WPARAM MakeWParam(std::uint16_t low, std::uint16_t high) {
    return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}
constexpr std::uint16_t LowWord(std::uintptr_t v) {
    return static_cast<std::uint16_t>(v & 0xFFFF);
}
constexpr std::uint16_t HighWord(std::uintptr_t v) {
    return static_cast<std::uint16_t>((v >> 16) & 0xFFFF);
}

}  // namespace platform
