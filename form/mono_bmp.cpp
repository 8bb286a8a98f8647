#include "form/mono_bmp.h"

namespace form {

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

std::vector<std::uint8_t> EncodeMonoBmp(const MonoPicture& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.black.size() !=
            static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height)) {
        return {};
    }
    const std::uint32_t w = static_cast<std::uint32_t>(picture.width);
    const std::uint32_t h = static_cast<std::uint32_t>(picture.height);
    const std::uint32_t stride = ((w + 31) / 32) * 4;
    constexpr std::uint32_t kHeaders = 14 + 40 + 8;
    const std::uint32_t imageSize = stride * h;

    std::vector<std::uint8_t> out;
    out.reserve(kHeaders + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, kHeaders + imageSize);
    Put32(out, 0);
    Put32(out, kHeaders);
    Put32(out, 40);
    Put32(out, w);
    Put32(out, h);
    Put16(out, 1);  // planes
    Put16(out, 1);  // bits per pixel
    Put32(out, 0);  // no compression
    Put32(out, imageSize);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 2);  // colours used
    Put32(out, 0);
    Put32(out, 0x00000000);  // index 0: black
    Put32(out, 0x00FFFFFF);  // index 1: white
    for (std::uint32_t row = h; row-- > 0;) {
        const std::size_t first = out.size();
        out.resize(first + stride, 0);
        for (std::uint32_t x = 0; x < w; ++x) {
            if (!picture.IsBlack(static_cast<int>(x), static_cast<int>(row))) {
                out[first + x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
            }
        }
    }
    return out;
}

}  // namespace form
