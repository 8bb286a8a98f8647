#include "quadrel/model/quadrel_model.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "platform/quadrel_messages.h"
#include "quadrel/model/layout.h"

namespace quadrel {

using namespace platform;

namespace {

int HexDigitValue(std::uint32_t code) {
    if (code >= '0' && code <= '9') return static_cast<int>(code - '0');
    if (code >= 'A' && code <= 'F') return static_cast<int>(code - 'A' + 10);
    if (code >= 'a' && code <= 'f') return static_cast<int>(code - 'a' + 10);
    return -1;
}

// Counts arrive in pointer-sized parameters; the model keeps 32-bit signed sizes.
int CountFrom(LPARAM value) {
    if (value <= 0) return 0;
    return static_cast<int>(std::min<LPARAM>(value, INT_MAX));
}

}  // namespace

Model::Model(ModelHost& host) : host_(host) {}

LRESULT Model::Message(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case QEM_RECALCLAYOUT:
            s_.layoutStale = true;
            PlaceCaret(false);
            return 0;
        case QEM_SETDATA:
            return SetData(reinterpret_cast<const std::uint8_t*>(wParam), lParam);
        case QEM_GETDATA:
            return GetData(reinterpret_cast<std::uint8_t*>(wParam), lParam);
        case QEM_COPY:
            Copy();
            return 0;
        case QEM_PASTE:
            Paste();
            return 0;
        case QEM_CLEAR:
            Clear();
            return 0;
        case QEM_CUT:
            Cut();
            return 0;
        case QEM_SELECTION:
            return Selection(reinterpret_cast<QuadrelRange*>(wParam), lParam != 0);
        case QEM_LAYOUT:
            return Layout(wParam, lParam != 0);
        case QEM_COLORS:
            Colors(reinterpret_cast<QuadrelColors*>(wParam), lParam != 0);
            return 0;
        case QEM_READONLY:
            if (lParam == 0) {
                // A non-zero value whose low 32 bits are zero must still mean read-only.
                const auto flag = static_cast<std::uint32_t>(wParam);
                s_.readOnly = (flag == 0 && wParam != 0) ? 1u : flag;
            }
            return static_cast<LRESULT>(s_.readOnly);
        case QEM_FONTHEIGHT:
            return FontHeight(static_cast<std::int32_t>(wParam), lParam != 0);
        case QEM_APPEND:
            return Append(reinterpret_cast<const std::uint8_t*>(wParam), lParam);
        case QEM_CHECKSUM:
            return static_cast<LRESULT>(Checksum(reinterpret_cast<const QuadrelRange*>(wParam)));
        case QEM_CAPACITY:
            return Capacity(wParam, lParam != 0);
        case WM_COMMAND:
            return Command(LowWord(wParam));
        case WM_HSCROLL:
        case WM_VSCROLL:
            Scroll(msg == WM_VSCROLL, LowWord(wParam), HighWord(wParam));
            return 0;
        default:
            return 0;
    }
}

LRESULT Model::Command(std::uint16_t id) {
    switch (id) {
        case ID_EDIT_CLEAR:
            Clear();
            break;
        case ID_EDIT_CLEAR_ALL: {
            QuadrelRange all{0, -1};
            Selection(&all, false);
            Clear();
            break;
        }
        case ID_EDIT_COPY:
            Copy();
            break;
        case ID_EDIT_CUT:
            Cut();
            break;
        case ID_EDIT_PASTE:
            Paste();
            break;
        case ID_EDIT_SELECT_ALL: {
            QuadrelRange all{0, -1};
            Selection(&all, false);
            break;
        }
        default:
            break;
    }
    return 0;
}

void Model::RaiseAddressWidth() {
    s_.addressWidth =
        std::min(kMaxAddressWidth, std::max(s_.addressWidth, MinAddressWidth(s_.size)));
}

// After the size shrank under them (capacity cut, a nested change from the parent), caret and
// anchor are brought back so that every later access stays inside the buffer. A collapsed caret
// keeps its anchor with it, so it may stand on the append position.
void Model::KeepIndicesInside() {
    const bool collapsed = s_.anchor == s_.caret;
    s_.caret = std::clamp(s_.caret, 0, s_.size);
    s_.anchor = collapsed ? s_.caret : std::clamp(s_.anchor, 0, std::max(s_.size - 1, 0));
}

int Model::SetData(const std::uint8_t* bytes, long long count) {
    count = std::min<long long>(CountFrom(static_cast<LPARAM>(count)), s_.capacity);
    if (bytes == nullptr || count <= 0) return s_.size;
    std::vector<std::uint8_t> fresh;
    try {
        fresh.assign(bytes, bytes + count);
    } catch (const std::bad_alloc&) {
        return s_.size;  // the old data stays
    }
    s_.data.swap(fresh);
    s_.size = static_cast<int>(count);
    RaiseAddressWidth();
    s_.anchor = s_.caret = 0;
    Relayout();
    host_.NotifyChange();
    return s_.size;
}

int Model::GetData(std::uint8_t* dest, LPARAM max) const {
    if (dest == nullptr || max == 0) return s_.size;
    const auto n = std::min(static_cast<std::uintptr_t>(max), static_cast<std::uintptr_t>(s_.size));
    if (n > 0) std::memcpy(dest, s_.data.data(), n);
    return static_cast<int>(n);
}

std::span<const std::uint8_t> Model::SelectedBytes() const {
    if (s_.size <= 0) return {};
    const int lo = std::max(0, std::min(s_.anchor, s_.caret));
    const int hi = std::min(std::max(s_.anchor, s_.caret), s_.size - 1);
    if (lo > hi) return {};
    return {s_.data.data() + lo, static_cast<std::size_t>(hi - lo + 1)};
}

bool Model::Copy() {
    const auto bytes = SelectedBytes();
    if (bytes.empty()) return true;  // nothing stored under the caret: the clipboard is left alone
    return host_.PutClipboard(bytes);
}

// Bytes that did not reach the clipboard are not deleted: a cut must never lose them.
void Model::Cut() {
    if (Copy()) Clear();
}

void Model::Paste() {
    if (s_.readOnly) return;
    std::vector<std::uint8_t> clip;
    if (host_.TakeClipboard(clip) == ClipboardRead::kCannotOpen) return;
    if (s_.anchor != s_.caret) Clear();
    // The parent may have changed the data while handling the deletion's notification.
    KeepIndicesInside();
    const long long room = static_cast<long long>(s_.capacity) - s_.size;
    const long long n =
        std::max(0LL, std::min<long long>(static_cast<long long>(clip.size()), room));
    if (n > 0) {
        const auto at = static_cast<std::size_t>(s_.caret);
        std::vector<std::uint8_t> fresh;
        try {
            fresh.reserve(static_cast<std::size_t>(s_.size + n));
        } catch (const std::bad_alloc&) {
            host_.NotifyChange();
            return;
        }
        fresh.insert(fresh.end(), s_.data.begin(), s_.data.begin() + static_cast<long>(at));
        fresh.insert(fresh.end(), clip.begin(), clip.begin() + static_cast<long>(n));
        fresh.insert(fresh.end(), s_.data.begin() + static_cast<long>(at), s_.data.end());
        s_.data.swap(fresh);
        s_.size = static_cast<int>(s_.size + n);
        RaiseAddressWidth();
        Relayout();
    }
    host_.NotifyChange();
}

void Model::Clear() {
    if (s_.readOnly || s_.size <= 0) return;
    const int oldAnchor = s_.anchor;
    const int lo = std::max(0, std::min(s_.anchor, s_.caret));
    const int hi = std::min(std::max(s_.anchor, s_.caret), s_.size - 1);
    if (lo > hi) return;  // only the append position was selected: nothing is stored there
    s_.data.erase(s_.data.begin() + lo, s_.data.begin() + hi + 1);
    s_.size -= hi - lo + 1;
    RaiseAddressWidth();
    s_.anchor = s_.caret = s_.size > 0 ? std::clamp(oldAnchor, 0, s_.size - 1) : 0;
    Relayout();
    host_.NotifyChange();
}

int Model::SelectedCount() const {
    const long long count = std::llabs(static_cast<long long>(s_.caret) - s_.anchor) + 1;
    return static_cast<int>(std::min<long long>(count, s_.size));
}

int Model::SetSelection(long long start, long long end) {
    const int last = std::max(s_.size - 1, 0);
    // A start beyond the data is brought back to the last byte so no later access leaves it.
    s_.anchor = static_cast<int>(std::clamp<long long>(start, 0, last));
    const auto endBits = static_cast<std::uint32_t>(static_cast<std::int32_t>(end));
    s_.caret = endBits > static_cast<std::uint32_t>(last) ? last : static_cast<int>(endBits);
    return s_.caret;
}

int Model::Selection(QuadrelRange* range, bool get) {
    if (range != nullptr) {
        if (get) {
            range->start = s_.anchor;
            range->end = s_.caret;
        } else {
            SetSelection(range->start, range->end);
            PlaceCaret(true);
        }
    }
    return SelectedCount();
}

int Model::Layout(WPARAM wParam, bool get) {
    if (get) return s_.bytesPerRow;
    const int perRow = LowWord(wParam);
    const int width = HighWord(wParam);
    if (perRow != 0) s_.bytesPerRow = std::min(perRow, kMaxBytesPerRow);
    if (width != 0) s_.addressWidth = std::min(width, kMaxAddressWidth);
    RaiseAddressWidth();
    Relayout();
    return s_.bytesPerRow;
}

void Model::Colors(QuadrelColors* record, bool get) {
    if (record == nullptr) return;
    COLORREF* fields[kColorCount] = {&record->addressBackground,   &record->addressText,
                                     &record->hexBackground,       &record->hexText,
                                     &record->characterBackground, &record->characterText,
                                     &record->windowBackground,    &record->selectionFrame};
    const std::uint32_t mask = record->mask & 0xFF;
    for (int i = 0; i < kColorCount; ++i) {
        if ((mask & (1u << i)) == 0) continue;
        if (get) {
            *fields[i] = s_.colors[i];
        } else {
            s_.colors[i] = *fields[i];
        }
    }
    if (!get) host_.Repaint();
}

int Model::FontHeight(int height, bool get) {
    if (!get) {
        s_.fontHeight = height;
        Relayout();
    }
    return s_.fontHeight;
}

int Model::Append(const std::uint8_t* bytes, long long count) {
    const long long room = static_cast<long long>(s_.capacity) - s_.size;
    count = std::min<long long>(CountFrom(static_cast<LPARAM>(count)), room);
    if (bytes == nullptr || count <= 0) return s_.size;
    try {
        s_.data.insert(s_.data.end(), bytes, bytes + count);
    } catch (const std::bad_alloc&) {
        s_.data.resize(static_cast<std::size_t>(s_.size));
        return s_.size;
    }
    s_.size = static_cast<int>(s_.size + count);
    RaiseAddressWidth();
    s_.anchor = s_.caret = s_.size - 1;
    Relayout();
    return s_.size;
}

std::uint32_t Model::Checksum(const QuadrelRange* range) const {
    if (s_.size <= 0) return 0;
    std::int32_t start = 0;
    std::int32_t end = -1;
    if (range != nullptr) {
        start = range->start;
        end = range->end;
        if (static_cast<std::uint32_t>(start) > static_cast<std::uint32_t>(end))
            std::swap(start, end);
    }
    const auto last = static_cast<std::uint32_t>(s_.size - 1);
    if (static_cast<std::uint32_t>(end) > last) end = static_cast<std::int32_t>(last);
    if (end < 0) end = 0;
    if (start < 0) start = 0;
    if (start > end) return 0;
    std::uint32_t sum = 0;
    for (std::int32_t i = start; i <= end; ++i) sum += s_.data[static_cast<std::size_t>(i)];
    return sum;
}

int Model::Capacity(WPARAM value, bool get) {
    if (!get) {
        // A capacity is a count: it never goes below 0, and larger values saturate.
        s_.capacity = static_cast<int>(std::min<WPARAM>(value, INT_MAX));
        if (s_.size > s_.capacity) {
            s_.size = s_.capacity;
            s_.data.resize(static_cast<std::size_t>(s_.size));
        }
        KeepIndicesInside();
        Relayout();
    }
    return s_.capacity;
}

void Model::Relayout() {
    s_.layoutStale = true;
    UpdateLayout();
    PlaceCaret(true);
}

void Model::UpdateLayout() {
    if (!s_.layoutStale) return;
    s_.layoutStale = false;
    const CellSize cell = host_.MeasureCell(s_.fontHeight);
    s_.cellWidth = std::max(1, cell.width);
    s_.cellHeight = std::max(1, cell.height);
    if (s_.focused) PlaceCaret(true);
    s_.rowsPerPage = RowsPerPage(s_.clientHeight, s_.cellHeight);
    s_.firstRow = std::min(s_.firstRow, s_.vertical.SetRange(0, TotalRows(s_), s_.rowsPerPage));
    s_.firstColumn = std::min(
        s_.firstColumn,
        s_.horizontal.SetRange(0, HorizontalMax(s_), HorizontalPage(s_.clientWidth, s_.cellWidth)));
}

void Model::PrepareLayout() {
    UpdateLayout();
}

void Model::PlaceCaret(bool scroll) {
    if (scroll && s_.layoutStale) UpdateLayout();
    if (s_.clientWidth <= 0 || s_.clientHeight <= 0) {
        // Not laid out yet: there is no view to bring the caret into, and scrolling now would
        // leave the first rows hidden once the control gets its size.
        s_.caretShown = false;
        if (scroll) host_.Repaint();
        return;
    }
    const CaretPoint p = CaretPlacementPoint(s_);
    if (s_.focused) {
        s_.caretX = p.x;
        s_.caretY = p.y;
        s_.caretShown = true;
    }
    const bool inside = p.x >= 0 && p.x < s_.clientWidth && p.y >= 0 && p.y < s_.clientHeight;
    if (!inside) {
        if (!scroll) {
            s_.caretShown = false;
            return;
        }
        const long long ch = s_.cellHeight;
        long long row = s_.firstRow;
        if (p.y < 0) {
            row = s_.firstRow - (-static_cast<long long>(p.y) + ch - 1) / ch;
        } else if (p.y >= s_.clientHeight) {
            row = s_.firstRow + (static_cast<long long>(p.y) - s_.clientHeight) / ch + 1;
        }
        s_.vertical.pos = s_.vertical.Clamp(row);
        s_.firstRow = s_.vertical.pos;
        PlaceCaret(false);
    }
    if (scroll) host_.Repaint();
}

void Model::SetClientSize(int width, int height) {
    s_.clientWidth = std::max(0, width);
    s_.clientHeight = std::max(0, height);
    s_.layoutStale = true;
}

void Model::SetFocus(bool focused) {
    s_.focused = focused;
    if (focused) {
        PlaceCaret(false);
    } else {
        s_.caretShown = false;
    }
}

void Model::KeyDown(Key key, bool ctrl, bool shift) {
    if (ctrl) {
        switch (key) {
            case Key::kHome:
                s_.anchor = s_.caret = 0;
                PlaceCaret(true);
                break;
            case Key::kEnd:
                s_.anchor = s_.caret = std::max(s_.size - 1, 0);
                PlaceCaret(true);
                break;
            case Key::kA:
                Command(ID_EDIT_SELECT_ALL);
                break;
            case Key::kC:
                Copy();
                break;
            case Key::kV:
                Paste();
                break;
            case Key::kX:
                Cut();
                break;
            default:
                break;
        }
        return;
    }
    const long long N = s_.bytesPerRow;
    const long long caret = s_.caret;
    switch (key) {
        case Key::kLeft:
            if (caret > 0) s_.caret = static_cast<int>(caret - 1);
            break;
        case Key::kRight:
            if (caret < s_.size) s_.caret = static_cast<int>(caret + 1);
            break;
        case Key::kUp:
            if (caret >= N) s_.caret = static_cast<int>(caret - N);
            break;
        case Key::kDown:
            if (caret < s_.size) s_.caret = static_cast<int>(std::min(caret + N, s_.size - 1LL));
            break;
        case Key::kPageUp:
            if (caret > 0) s_.caret = static_cast<int>(std::max(caret - 10 * N, 0LL));
            break;
        case Key::kPageDown:
            if (caret < s_.size)
                s_.caret = static_cast<int>(std::min<long long>(caret + 10 * N, s_.size));
            break;
        case Key::kDelete:
            if (!s_.readOnly) Clear();
            break;
        case Key::kBackspace:
            if (!s_.readOnly && s_.anchor > 0) {
                --s_.anchor;
                s_.caret = s_.anchor;
                Clear();
            }
            break;
        default:
            break;
    }
    if (!shift) s_.anchor = s_.caret;
    PlaceCaret(true);
}

void Model::Char(std::uint32_t code) {
    if (s_.readOnly || s_.capacity <= 0) return;
    int digit = -1;
    if (s_.hexPaneActive) {
        digit = HexDigitValue(code);
        if (digit < 0) return;
    } else if (code < 0x20 || code == 0x7F) {
        return;  // Backspace, Tab, Enter, Escape and Ctrl+letter already acted as keys
    }
    KeepIndicesInside();
    if (s_.caret >= s_.size) {
        if (s_.size < s_.capacity) {
            try {
                s_.data.resize(static_cast<std::size_t>(s_.size) + 1, 0);
            } catch (const std::bad_alloc&) {
                return;
            }
            s_.caret = s_.size;
            ++s_.size;
            RaiseAddressWidth();
            s_.layoutStale = true;
        } else {
            s_.caret = s_.size - 1;  // full: the last byte is overwritten
        }
    }
    std::uint8_t& b = s_.data[static_cast<std::size_t>(s_.caret)];
    const long long next = std::min<long long>(s_.caret + 1LL, s_.capacity - 1LL);
    if (!s_.hexPaneActive) {
        b = static_cast<std::uint8_t>(code & 0xFF);
        s_.caret = static_cast<int>(next);
    } else if (s_.highNibbleNext) {
        b = static_cast<std::uint8_t>((digit << 4) | (b & 0x0F));
        s_.highNibbleNext = false;
    } else {
        b = static_cast<std::uint8_t>((b & 0xF0) | digit);
        s_.highNibbleNext = true;
        s_.caret = static_cast<int>(next);
    }
    s_.anchor = s_.caret;
    PlaceCaret(true);
    host_.NotifyChange();
}

void Model::ApplyHit(int x, int y) {
    const Hit hit = HitTest(s_, x, y);
    s_.caret = hit.caret;
    s_.hexPaneActive = hit.hexPane;
    if (hit.setsNibble) s_.highNibbleNext = hit.highNibble;
    PlaceCaret(true);
}

void Model::ButtonDown(int x, int y, bool shift) {
    ApplyHit(x, y);
    s_.dragging = true;
    if (!shift) s_.anchor = s_.caret;
    host_.Repaint();
}

void Model::MouseMove(int x, int y, bool leftButton) {
    if (s_.dragging && leftButton) ApplyHit(x, y);
}

void Model::ButtonUp(int x, int y) {
    if (!s_.dragging) return;
    ApplyHit(x, y);
    s_.dragging = false;
}

void Model::Wheel(int delta) {
    Scroll(true, delta > 0 ? SB_PAGEUP : SB_PAGEDOWN, 0);
}

void Model::Scroll(bool vertical, int code, int position) {
    ScrollBar& bar = vertical ? s_.vertical : s_.horizontal;
    int& first = vertical ? s_.firstRow : s_.firstColumn;
    const int page = vertical ? s_.rowsPerPage : 10;
    long long wanted = first;
    switch (code) {
        case SB_LINEUP:
            wanted = first - 1LL;
            break;
        case SB_LINEDOWN:
            wanted = first + 1LL;
            break;
        case SB_PAGEUP:
            wanted = static_cast<long long>(first) - page;
            break;
        case SB_PAGEDOWN:
            wanted = static_cast<long long>(first) + page;
            break;
        case SB_THUMBTRACK:
            wanted = position;
            break;
        default:
            return;
    }
    bar.pos = bar.Clamp(wanted);
    first = bar.pos;
    PlaceCaret(false);
    host_.Repaint();
}

void Model::ContextMenu(MenuItem (&items)[kMenuItemCount]) const {
    const bool selection = s_.anchor != s_.caret;
    const bool writable = !s_.readOnly;
    items[0] = {"Cu&t", ID_EDIT_CUT, writable && selection};
    items[1] = {"&Copy", ID_EDIT_COPY, selection};
    items[2] = {"&Paste", ID_EDIT_PASTE, writable};
    items[3] = {"Cl&ear", ID_EDIT_CLEAR, writable && selection};
    items[4] = {"Select A&ll", ID_EDIT_SELECT_ALL, true};
    items[5] = {"Clear &All", ID_EDIT_CLEAR_ALL, writable && selection};
}

const char* CheckInvariants(const State& s) {
    if (s.size < 0) return "size below 0";
    if (s.size > s.capacity) return "size above capacity";
    if (s.data.size() != static_cast<std::size_t>(s.size)) return "buffer length differs from size";
    if (s.caret < 0 || s.caret > s.size) return "caret outside 0..size";
    if (s.anchor < 0 || s.anchor > s.size) return "anchor outside 0..size";
    if (s.size == 0 && s.anchor != 0) return "anchor not 0 on empty data";
    if (s.addressWidth < MinAddressWidth(s.size)) return "address width below the minimum";
    if (s.addressWidth > kMaxAddressWidth) return "address width above 16";
    if (s.bytesPerRow < 1 || s.bytesPerRow > kMaxBytesPerRow) return "bytes per row out of range";
    if (s.firstRow < 0 || s.firstColumn < 0) return "negative scroll position";
    return nullptr;
}

}  // namespace quadrel
