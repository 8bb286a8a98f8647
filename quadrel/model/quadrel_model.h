// The hex-grid control's behaviour without a window: its messages, editing operations, keys,
// typing, mouse, scrolling and context-menu state. The window layer feeds it events and draws
// what layout.h computes from its state.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/messages.h"
#include "quadrel/model/quadrel_state.h"

namespace quadrel {

using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

struct CellSize {
    int width;
    int height;
};

enum class ClipboardRead { kCannotOpen, kNoData, kData };

// What the model needs from the window it lives in.
class ModelHost {
  public:
    virtual ~ModelHost() = default;
    // WM_COMMAND (id, EN_CHANGE) to the parent recorded at creation.
    virtual void NotifyChange() = 0;
    // Redraw the whole control.
    virtual void Repaint() = 0;
    // Width and height of "0" in the font of the given LOGFONT height.
    virtual CellSize MeasureCell(int fontHeight) = 0;
    // False when the clipboard cannot be opened.
    virtual bool PutClipboard(std::span<const std::uint8_t> bytes) = 0;
    virtual ClipboardRead TakeClipboard(std::vector<std::uint8_t>& bytes) = 0;
};

enum class Key {
    kLeft,
    kRight,
    kUp,
    kDown,
    kPageUp,
    kPageDown,
    kHome,
    kEnd,
    kDelete,
    kBackspace,
    kA,
    kC,
    kV,
    kX,
    kOther,  // every other key, Tab, Enter and Escape included
};

// Context-menu items in menu order; the separator sits between Clear and Select All.
struct MenuItem {
    const char* text;
    std::uint16_t command;
    bool enabled;
};
inline constexpr int kMenuItemCount = 6;

class Model {
  public:
    explicit Model(ModelHost& host);

    const State& state() const { return s_; }

    // Private messages, WM_COMMAND and WM_HSCROLL/WM_VSCROLL. Unknown messages return 0.
    LRESULT Message(UINT msg, WPARAM wParam, LPARAM lParam);

    // Window events.
    void SetClientSize(int width, int height);
    void SetFocus(bool focused);
    void KeyDown(Key key, bool ctrl, bool shift);
    void Char(std::uint32_t code);
    void ButtonDown(int x, int y, bool shift);
    void MouseMove(int x, int y, bool leftButton);
    void ButtonUp(int x, int y);
    void Wheel(int delta);
    // code: SB_* value; position is used by SB_THUMBTRACK.
    void Scroll(bool vertical, int code, int position);

    // Recomputes cell size, rows per page and scroll ranges when stale; called before painting.
    void PrepareLayout();

    void ContextMenu(MenuItem (&items)[kMenuItemCount]) const;

    // Bytes in the selection as copy takes them, cut to the stored bytes.
    std::span<const std::uint8_t> SelectedBytes() const;

  private:
    LRESULT Command(std::uint16_t id);
    int SetData(const std::uint8_t* bytes, long long count);
    int GetData(std::uint8_t* dest, LPARAM max) const;
    bool Copy();  // false when the clipboard could not be opened
    void Cut();
    void Paste();
    void Clear();
    int Selection(platform::QuadrelRange* range, bool get);
    int SetSelection(long long start, long long end);
    int Layout(WPARAM wParam, bool get);
    void Colors(platform::QuadrelColors* record, bool get);
    int FontHeight(int height, bool get);
    int Append(const std::uint8_t* bytes, long long count);
    std::uint32_t Checksum(const platform::QuadrelRange* range) const;
    int Capacity(WPARAM value, bool get);

    void RaiseAddressWidth();
    void KeepIndicesInside();
    void Relayout();
    void UpdateLayout();
    void PlaceCaret(bool scroll);
    void ApplyHit(int x, int y);
    int SelectedCount() const;

    ModelHost& host_;
    State s_;
};

// The invariants every operation keeps: 0 <= size <= capacity, data holds size bytes,
// 0 <= caret <= size, 0 <= anchor <= size with the anchor on the append position only when
// the caret moved it there, and an address width between the minimum for the size and 16.
// Returns nullptr when they hold, otherwise which one failed.
const char* CheckInvariants(const State& s);

}  // namespace quadrel
