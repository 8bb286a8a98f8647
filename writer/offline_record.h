// The off-line information record that Write Info stores in the writer, and the code block that
// Write Code sends before it. Both are plain bytes built from the project record.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "project/project_info.h"

namespace writer {

// Fixed part of the record; the option bytes and the 2-byte part index follow.
inline constexpr std::size_t kRecordFixedLength = 62;

// What the download works out beside the project record.
struct RecordInputs {
    std::uint32_t apLength = 0;      // as sent, after the ISP move rule
    std::uint16_t codeChecksum = 0;  // low 16 bits of the code block's byte sum
    std::uint32_t ispStart = 0;      // codeSize - ispSize
    std::uint16_t partIndex = 0;     // the part record's index (not the device code)
};

// 16-bit sum of the bytes from offset 2 to the end.
std::uint16_t RecordChecksum(std::span<const std::uint8_t> record);

// 62 + optionCount bytes, little-endian, checksum included.
std::vector<std::uint8_t> BuildOfflineRecord(const proj::ProjectInfo& info,
                                             const RecordInputs& inputs);

// Moves `length` bytes at `from` down to `to` as a copy through a separate buffer would, the
// ranges may overlap. Nothing outside `image` is read or written: false when either range does
// not fit.
bool MoveBytes(std::span<std::uint8_t> image, std::uint64_t from, std::uint64_t to,
               std::uint64_t length);

// Little-endian stores and loads, bounded by the span (out of range: nothing written, 0 read).
void PutLE(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value, int width);
std::uint32_t GetLE(std::span<const std::uint8_t> bytes, std::size_t offset, int width);

}  // namespace writer
