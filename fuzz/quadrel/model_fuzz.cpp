// Feeds the hex-grid control model random sequences of messages, keys, characters, clicks and
// scrolls decoded from the input, checking its invariants after each one. Reads of the data
// (sums, read-back, pane texts, outlines) run under the sanitizers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/quadrel_messages.h"
#include "quadrel/model/layout.h"
#include "quadrel/model/memory_host.h"
#include "quadrel/model/quadrel_model.h"

using namespace platform;
using namespace quadrel;

namespace {

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool More() const { return pos_ < size_; }
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
    std::int32_t Int() {
        // Mostly small values, sometimes any 32-bit value.
        const std::uint8_t kind = Byte();
        if (kind < 200) return static_cast<std::int32_t>(Word()) - 256;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return static_cast<std::int32_t>(v);
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    MemoryHost host;
    Model model(host);
    model.SetClientSize(640, 480);
    PaneTexts texts;
    std::vector<std::uint8_t> buffer;
    int steps = 0;
    while (in.More() && steps++ < 400) {
        const std::uint8_t op = in.Byte();
        // Records (colours, ranges) fit in the smallest buffer; counts never exceed it.
        buffer.assign(std::max<std::size_t>(64, in.Byte() * 4u), 0x5A);
        const auto ptr = reinterpret_cast<WPARAM>(buffer.data());
        QuadrelRange range{in.Int(), in.Int()};
        const auto rangePtr = reinterpret_cast<WPARAM>(&range);
        switch (op % 20) {
            case 0:
                model.Message(QEM_SETDATA, ptr, static_cast<LPARAM>(buffer.size()));
                break;
            case 1:
                model.Message(QEM_APPEND, ptr, static_cast<LPARAM>(buffer.size()));
                break;
            case 2:
                model.Message(QEM_GETDATA, ptr, static_cast<LPARAM>(buffer.size()));
                break;
            case 3:
                model.Message(QEM_SELECTION, rangePtr, op & 0x20);
                break;
            case 4:
                model.Message(QEM_CHECKSUM, (op & 0x20) ? rangePtr : 0, 0);
                break;
            case 5:
                model.Message(QEM_CAPACITY,
                              static_cast<WPARAM>(static_cast<std::uint32_t>(range.start)),
                              op & 0x20);
                break;
            case 6:
                model.Message(QEM_LAYOUT, MakeWParam(in.Word(), in.Word()), op & 0x20);
                break;
            case 7:
                model.Message(QEM_READONLY, in.Byte() & 1, op & 0x20);
                break;
            case 8:
                model.Message(QEM_FONTHEIGHT, static_cast<WPARAM>(range.start), 0);
                host.cell = {1 + in.Byte() % 40, 1 + in.Byte() % 60};
                break;
            case 9:
                model.Message(WM_COMMAND,
                              MakeWParam(static_cast<std::uint16_t>(0xE120 + in.Byte() % 12), 0),
                              0);
                break;
            case 10:
                model.Message(WM_USER + in.Byte() % 16, ptr,
                              std::clamp<LPARAM>(range.end, 0, static_cast<LPARAM>(buffer.size())));
                break;
            case 11:
            case 12:
                model.KeyDown(static_cast<Key>(in.Byte() % 15), op & 0x20, op & 0x40);
                break;
            case 13:
            case 14:
                model.Char(static_cast<std::uint32_t>(range.start));
                break;
            case 15:
                model.ButtonDown(static_cast<std::int16_t>(range.start),
                                 static_cast<std::int16_t>(range.end), op & 0x20);
                break;
            case 16:
                model.MouseMove(static_cast<std::int16_t>(range.start),
                                static_cast<std::int16_t>(range.end), op & 0x20);
                break;
            case 17:
                model.Message((op & 0x20) ? WM_VSCROLL : WM_HSCROLL,
                              MakeWParam(in.Byte() % 8, in.Word()), 0);
                break;
            case 18:
                model.SetClientSize(range.start & 0xFFF, range.end & 0xFFF);
                model.SetFocus(op & 0x20);
                break;
            default:
                host.clipboardOpens = (op & 0x20) == 0;
                host.clipboardHasData = (op & 0x40) == 0;
                host.clipboard.assign(buffer.begin(), buffer.end());
                break;
        }
        if (const char* broken = CheckInvariants(model.state())) {
            std::fprintf(stderr, "invariant broken: %s\n", broken);
            std::abort();
        }
        model.PrepareLayout();
        ComposePaneTexts(model.state(), texts);
        ComputeMirrorCell(model.state());
        ComputeSelectionOutline(model.state());
    }
    return 0;
}
