// The state of one hex-grid control, independent of any window system.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/quadrel_messages.h"

namespace quadrel {

using platform::COLORREF;

inline constexpr int kDefaultCapacity = 0x10000;
inline constexpr int kDefaultFontHeight = 16;
inline constexpr int kMaxBytesPerRow = 256;
inline constexpr int kMaxAddressWidth = 16;
inline constexpr COLORREF kWhite = 0x00FFFFFF;
inline constexpr COLORREF kBlack = 0x00000000;
inline constexpr COLORREF kBlue = 0x00FF0000;

// Colour slots in QuadrelColors order; slot i corresponds to mask bit i.
enum ColorSlot : int {
    kAddressBackground,
    kAddressText,
    kHexBackground,
    kHexText,
    kCharBackground,
    kCharText,
    kWindowBackground,
    kSelectionFrame,
    kColorCount
};

// A scroll bar as the model sees it: the position is kept inside [min, max - page + 1].
struct ScrollBar {
    int min = 0;
    int max = 0;
    int page = 0;
    int pos = 0;

    int MaxPos() const;
    int Clamp(long long wanted) const;
    // Sets the range and page and clamps the position; returns the clamped position.
    int SetRange(int newMin, int newMax, int newPage);
};

struct State {
    std::vector<std::uint8_t> data;  // data.size() == size at all times
    int size = 0;
    int capacity = kDefaultCapacity;
    int rowsPerPage = 0;
    int addressWidth = 2;
    int bytesPerRow = 16;
    int anchor = 0;
    int caret = 0;
    COLORREF colors[kColorCount] = {kWhite, kBlack, kWhite, kBlack, kWhite, kBlack, kWhite, kBlue};
    int fontHeight = kDefaultFontHeight;  // LOGFONT units: < 0 character height, > 0 cell height
    int cellWidth = 8;
    int cellHeight = 16;
    int firstColumn = 0;
    int firstRow = 0;
    std::uint32_t readOnly = 0;  // kept as given; any non-zero value blocks user edits
    bool hexPaneActive = true;
    bool highNibbleNext = true;
    bool dragging = false;
    bool layoutStale = true;

    // Window-side facts the model needs.
    int clientWidth = 0;
    int clientHeight = 0;
    bool focused = false;
    ScrollBar vertical;
    ScrollBar horizontal;

    // The caret the control draws: meaningful while focused.
    bool caretShown = false;
    int caretX = 0;
    int caretY = 0;
};

// Smallest address width that can show every index of a buffer of this size.
int MinAddressWidth(long long size);

}  // namespace quadrel
