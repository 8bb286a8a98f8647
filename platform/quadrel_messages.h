// The message interface of the "QUADREL10" hex-grid control: private message numbers, the edit
// command numbers it accepts through WM_COMMAND, and the records some messages exchange.
// Header only: a program drives the control through platform::SendMessage with these numbers.
//
//   QEM_RECALCLAYOUT  -                       -                    mark layout stale      -> 0
//   QEM_SETDATA       const uint8_t* bytes    count >= 0           replace all; EN_CHANGE -> size
//   QEM_GETDATA       uint8_t* dest or 0      max count or 0       copy from start        -> copied
//                     (either 0: returns the size, copies nothing)
//   QEM_COPY/PASTE/CLEAR/CUT                                       clipboard and delete   -> 0
//   QEM_SELECTION     QuadrelRange* or 0      !=0 get, 0 set       anchor=start caret=end -> count
//   QEM_LAYOUT        MakeWParam(bytesPerRow, addressWidth), 0 = keep; lParam !=0: get only
//                                                                                  -> bytes per row
//   QEM_COLORS        QuadrelColors* or 0     !=0 get, 0 set       masked colours         -> 0
//   QEM_READONLY      flag                    !=0 get only         -> flag
//   QEM_FONTHEIGHT    LOGFONT height          !=0 get only         -> height
//   QEM_APPEND        const uint8_t* bytes    count >= 0           append, no EN_CHANGE   -> size
//   QEM_CHECKSUM      QuadrelRange* or 0      -                    32-bit byte sum        -> sum
//   QEM_CAPACITY      new capacity            !=0 get only         cut size, no EN_CHANGE ->
//   capacity
#pragma once

#include <cstdint>

#include "platform/messages.h"

namespace platform {

inline constexpr char kQuadrelClassName[] = "QUADREL10";
inline constexpr char kQuadrelClipboardFormat[] = "HexDataFormat";

inline constexpr UINT QEM_RECALCLAYOUT = WM_USER + 0;
inline constexpr UINT QEM_SETDATA = WM_USER + 1;
inline constexpr UINT QEM_GETDATA = WM_USER + 2;
inline constexpr UINT QEM_COPY = WM_USER + 3;
inline constexpr UINT QEM_PASTE = WM_USER + 4;
inline constexpr UINT QEM_CLEAR = WM_USER + 5;
inline constexpr UINT QEM_CUT = WM_USER + 6;
inline constexpr UINT QEM_SELECTION = WM_USER + 7;
inline constexpr UINT QEM_LAYOUT = WM_USER + 8;
inline constexpr UINT QEM_COLORS = WM_USER + 9;
inline constexpr UINT QEM_READONLY = WM_USER + 10;
inline constexpr UINT QEM_FONTHEIGHT = WM_USER + 11;
inline constexpr UINT QEM_APPEND = WM_USER + 12;
inline constexpr UINT QEM_CHECKSUM = WM_USER + 13;
inline constexpr UINT QEM_CAPACITY = WM_USER + 14;

// Standard edit command numbers, sent as the low 16 bits of a WM_COMMAND wParam.
inline constexpr std::uint16_t ID_EDIT_CLEAR = 0xE120;
inline constexpr std::uint16_t ID_EDIT_CLEAR_ALL = 0xE121;
inline constexpr std::uint16_t ID_EDIT_COPY = 0xE122;
inline constexpr std::uint16_t ID_EDIT_CUT = 0xE123;
inline constexpr std::uint16_t ID_EDIT_PASTE = 0xE125;
inline constexpr std::uint16_t ID_EDIT_SELECT_ALL = 0xE12A;

// Colours are 0x00BBGGRR.
using COLORREF = std::uint32_t;

constexpr COLORREF Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}

// QEM_COLORS record: colour[i] is read or written when bit i of mask is set (low 8 bits only).
struct QuadrelColors {
    std::uint32_t mask;
    COLORREF addressBackground;    // 0x01
    COLORREF addressText;          // 0x02
    COLORREF hexBackground;        // 0x04
    COLORREF hexText;              // 0x08
    COLORREF characterBackground;  // 0x10
    COLORREF characterText;        // 0x20
    COLORREF windowBackground;     // 0x40
    COLORREF selectionFrame;       // 0x80
};
static_assert(sizeof(QuadrelColors) == 36);

// QEM_SELECTION (start = anchor, end = caret) and QEM_CHECKSUM (inclusive byte range).
struct QuadrelRange {
    std::int32_t start;
    std::int32_t end;
};
static_assert(sizeof(QuadrelRange) == 8);

}  // namespace platform
