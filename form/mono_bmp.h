// A black-and-white picture and its BMP file form (one bit per pixel).
#pragma once

#include <cstdint>
#include <vector>

namespace form {

struct MonoPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> black;  // width * height, top row first; non-zero = black

    MonoPicture() = default;
    MonoPicture(int w, int h)
        : width(w), height(h), black(static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {}
    bool IsBlack(int x, int y) const {
        return black[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)] != 0;
    }
};

// The file bytes: file header, 40-byte info header, a two-colour palette (0 black, 1 white),
// rows bottom-up, each padded to a multiple of four bytes. Empty for a picture without pixels.
std::vector<std::uint8_t> EncodeMonoBmp(const MonoPicture& picture);

}  // namespace form
