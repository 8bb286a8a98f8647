#include "project/program_image.h"

#include <algorithm>
#include <cstring>

#include "catalogue/part_database.h"

namespace proj {
namespace {

// Copies `bytes` to `at` in `buffer`, growing it with 0xFF when they reach past its end.
void LayOver(ByteVector& buffer, std::size_t at, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    if (buffer.size() < at + bytes.size()) buffer.resize(at + bytes.size(), 0xFF);
    std::memcpy(buffer.data() + at, bytes.data(), bytes.size());
}

// A fresh block of `size` bytes of 0xFF holding `current` from 0.
ByteVector Extend(std::span<const std::uint8_t> current, std::size_t size) {
    ByteVector out(std::max(size, current.size()), 0xFF);
    if (!current.empty()) std::memcpy(out.data(), current.data(), current.size());
    return out;
}

std::uint32_t IspOffset(const BufferGeometry& g) {
    return g.codeSize > g.ispSize ? g.codeSize - g.ispSize : 0;
}

}  // namespace

std::string_view FileNameOf(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view ExtensionOf(std::string_view path) {
    const auto dot = path.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : path.substr(dot);
}

bool HasExtension(std::string_view path, std::string_view extension) {
    const std::string_view ext = ExtensionOf(path);
    return ext.size() == extension.size() &&
           std::equal(ext.begin(), ext.end(), extension.begin(), [](char a, char b) {
               auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
               };
               return lower(a) == lower(b);
           });
}

ByteVector MergeProgramImage(ProjectInfo& info, std::span<const std::uint8_t> current,
                             std::span<const std::uint8_t> image, std::uint32_t placeAddress,
                             const BufferGeometry& geometry) {
    const std::size_t newEnd = std::size_t{placeAddress} + image.size();
    switch (info.layout) {
        case LAYOUT_AP_ISP: {
            const bool fresh = info.apLength == 0;
            if (info.apLength < newEnd) info.apLength = static_cast<std::uint32_t>(newEnd);
            if (info.ispLength == 0) {
                info.layout = LAYOUT_AP_ONLY;
                if (fresh) {
                    // The first load after a part change replaces the buffer. A HEX file
                    // without data at address 0 leaves it empty.
                    ByteVector out(newEnd, 0xFF);
                    LayOver(out, placeAddress, image);
                    return out;
                }
                // Only from a project made elsewhere: lay the image over what is there.
                ByteVector out = Extend(current, newEnd);
                LayOver(out, placeAddress, image);
                return out;
            }
            // ISP code sits at the top of a full-size buffer: keep it, lay the file over.
            ByteVector out = Extend(current, geometry.codeSize);
            LayOver(out, placeAddress, image);
            return out;
        }
        case LAYOUT_ISP_ONLY: {
            info.layout = LAYOUT_AP_ISP;
            info.apLength = static_cast<std::uint32_t>(newEnd);
            ByteVector out(std::max<std::size_t>(geometry.codeSize, newEnd), 0xFF);
            LayOver(out, placeAddress, image);
            // Move the ISP code to the top; never more than the buffer holds nor past the end
            // when the ISP space was changed by hand after the insertion.
            const std::size_t at = IspOffset(geometry);
            const std::size_t room = out.size() - std::min(out.size(), at);
            const std::size_t n = std::min({std::size_t{info.ispLength}, current.size(), room});
            if (n) std::memcpy(out.data() + at, current.data(), n);
            return out;
        }
        default: {  // LAYOUT_AP_ONLY, LAYOUT_NONE and values no layout has
            ByteVector out = Extend(current, newEnd);
            LayOver(out, placeAddress, image);
            info.apLength = static_cast<std::uint32_t>(out.size());
            return out;
        }
    }
}

ByteVector ComposeIspBuffer(ProjectInfo& info, std::span<const std::uint8_t> current,
                            std::span<const std::uint8_t> code, const BufferGeometry& geometry) {
    if (info.apLength == 0) {
        info.layout = LAYOUT_ISP_ONLY;
        return ByteVector(code.begin(), code.end());
    }
    const std::size_t at = IspOffset(geometry);
    ByteVector out(geometry.codeSize, 0xFF);
    const std::size_t keep = std::min(current.size(), at);
    if (keep) std::memcpy(out.data(), current.data(), keep);
    LayOver(out, at, code);
    info.layout = LAYOUT_AP_ISP;
    return out;
}

int ChooseIspSpace(std::span<const std::uint32_t> spaceValues, std::size_t codeLength,
                   std::uint32_t codeSize) {
    for (std::size_t i = 0; i < spaceValues.size(); ++i) {
        // Without a code size there is nothing to fit into; the caller refuses that case.
        const bool fits = codeSize == 0 || spaceValues[i] <= codeSize;
        if (spaceValues[i] >= codeLength && fits) return static_cast<int>(i);
    }
    return -1;
}

void ApplyIspBootBits(ProjectInfo& info, std::string_view clearBitsKey) {
    for (const cat::FieldSpec& field : cat::ParseFieldSpecList(clearBitsKey)) {
        if (field.byteIndex < info.optionBytes.size()) {
            info.optionBytes[field.byteIndex] &= static_cast<std::uint8_t>(~field.mask);
        }
    }
    info.autoSteps |= AUTO_WRITE_OPTION;
}

}  // namespace proj
