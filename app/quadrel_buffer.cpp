#include "app/quadrel_buffer.h"

#include "platform/quadrel_messages.h"
#include "platform/window_class.h"

namespace app {

using platform::SendMessage;

std::uint32_t QuadrelBuffer::Size() const {
    const auto size = SendMessage(control_, platform::QEM_GETDATA, 0, 0);
    return size < 0 ? 0 : static_cast<std::uint32_t>(size);
}

std::vector<std::uint8_t> QuadrelBuffer::Bytes() const {
    std::vector<std::uint8_t> bytes(Size());
    if (bytes.empty()) return bytes;
    const auto copied = SendMessage(control_, platform::QEM_GETDATA,
                                    reinterpret_cast<platform::WPARAM>(bytes.data()),
                                    static_cast<platform::LPARAM>(bytes.size()));
    bytes.resize(
        copied < 0 ? 0 : std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(copied)));
    return bytes;
}

void QuadrelBuffer::SetBytes(const std::vector<std::uint8_t>& bytes) {
    SendMessage(control_, platform::QEM_SETDATA, reinterpret_cast<platform::WPARAM>(bytes.data()),
                static_cast<platform::LPARAM>(bytes.size()));
}

std::uint32_t QuadrelBuffer::Checksum() const {
    return static_cast<std::uint32_t>(SendMessage(control_, platform::QEM_CHECKSUM, 0, 0));
}

void QuadrelBuffer::SetCapacity(std::uint32_t capacity) {
    SendMessage(control_, platform::QEM_CAPACITY, capacity, 0);
}

std::uint32_t QuadrelBuffer::Capacity() const {
    return static_cast<std::uint32_t>(SendMessage(control_, platform::QEM_CAPACITY, 0, 1));
}

void QuadrelBuffer::ClearAll() {
    SendMessage(control_, platform::WM_COMMAND,
                platform::MakeWParam(platform::ID_EDIT_CLEAR_ALL, 0), 0);
}

void ConfigureCodeBufferControl(QWidget* control) {
    const platform::COLORREF grey = platform::Rgb(200, 200, 200);
    platform::QuadrelColors colors{};
    colors.mask = 0x55;  // the four backgrounds
    colors.addressBackground = grey;
    colors.hexBackground = grey;
    colors.characterBackground = grey;
    colors.windowBackground = grey;
    SendMessage(control, platform::QEM_COLORS, reinterpret_cast<platform::WPARAM>(&colors), 0);
    SendMessage(control, platform::QEM_FONTHEIGHT, 14, 0);
    SendMessage(control, platform::QEM_LAYOUT, 0x00040000, 0);
}

}  // namespace app
