// How loaded files and ISP code are laid into the code buffer. Pure functions over byte
// vectors and the project record; the caller hands the result to the buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "project/project_info.h"

namespace proj {

using ByteVector = std::vector<std::uint8_t>;

// The code checksum is the low 16 bits of the byte sum.
using core::ByteSum;

// The file name after the last '/' or '\'.
std::string_view FileNameOf(std::string_view path);
// True when `path` ends in `extension` (".hex"), ASCII case ignored.
bool HasExtension(std::string_view path, std::string_view extension);
// The text from the last '.' of the path (the whole extension test of the loader).
std::string_view ExtensionOf(std::string_view path);

// Where the buffer stands when a file is laid into it.
struct BufferGeometry {
    std::uint32_t codeSize = 0;  // part key 0x0001, first number
    std::uint32_t ispSize = 0;   // value of the selected ISP Space entry
};

// Lays `image` at `placeAddress` into the current buffer content by the record's layout and
// updates layout and apLength. Returns the new buffer content (possibly empty). Reads
// `current` only within its size, so a buffer the operator shortened by hand is safe.
ByteVector MergeProgramImage(ProjectInfo& info, std::span<const std::uint8_t> current,
                             std::span<const std::uint8_t> image, std::uint32_t placeAddress,
                             const BufferGeometry& geometry);

// The buffer after inserting ISP code that was given the ISP space geometry.ispSize. Sets
// layout; the caller has checked that the code fits the space and the space the code size.
ByteVector ComposeIspBuffer(ProjectInfo& info, std::span<const std::uint8_t> current,
                            std::span<const std::uint8_t> code, const BufferGeometry& geometry);

// Position of the first ISP Space value (in list order) that holds `codeLength` bytes and
// fits in `codeSize` (any space when `codeSize` is 0); -1 when none does.
int ChooseIspSpace(std::span<const std::uint32_t> spaceValues, std::size_t codeLength,
                   std::uint32_t codeSize);

// For a part that has key 0x000C ("0|0x08,1|0x20"): clears those boot-from-ISP bits in the
// option bytes and adds Write Option to the Auto steps.
void ApplyIspBootBits(ProjectInfo& info, std::string_view clearBitsKey);

}  // namespace proj
