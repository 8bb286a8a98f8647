// The off-line information record that Write Info stores in the writer, and the code block that
// Write Code sends before it. Both are plain bytes built from the project record.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/bytes.h"
#include "project/project_info.h"

namespace writer {

// Where each field of the record lies; fields wider than a byte are little-endian.
namespace record {
struct Field {
    std::size_t offset;
    int width;
};
inline constexpr Field kChecksum{0, 2};  // 16-bit sum of the bytes from kLength to the end
inline constexpr Field kLength{2, 2};    // kFixedLength + the option count
inline constexpr Field kPartIndex{4, 2};
inline constexpr Field kLayout{6, 1};
inline constexpr Field kAutoSteps{15, 1};
inline constexpr Field kApLength{16, 4};
inline constexpr Field kCodeChecksum{20, 2};
inline constexpr Field kOscIndex{22, 1};
inline constexpr Field kMaxCounter{23, 2};
inline constexpr Field kSerialEnabled{25, 1};
inline constexpr Field kAutoIncrement{26, 1};
inline constexpr Field kSerialAddress{27, 4};
inline constexpr Field kSerialString{31, 12};  // bytes, not a number
inline constexpr Field kSerialNumber{43, 4};
inline constexpr Field kIspStart{47, 4};
inline constexpr Field kIspLength{51, 4};
inline constexpr Field kApLengthAgain{55, 4};
inline constexpr Field kOptionCount{59, 1};
// The option bytes start here; the 2-byte part index follows them.
inline constexpr std::size_t kOptionBytes = 60;
inline constexpr std::size_t kFixedLength = kOptionBytes + 2;

// Bounded by the span (out of range: nothing written, 0 read).
inline void Put(std::span<std::uint8_t> bytes, Field field, std::uint32_t value) {
    core::PutLE(bytes, field.offset, value, field.width);
}
inline std::uint32_t Get(std::span<const std::uint8_t> bytes, Field field) {
    return core::GetLE(bytes, field.offset, field.width);
}
// The part index stored after `optionCount` option bytes.
inline constexpr Field PartIndexAfterOptions(std::size_t optionCount) {
    return {kOptionBytes + optionCount, 2};
}
}  // namespace record

inline constexpr std::size_t kRecordFixedLength = record::kFixedLength;

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

}  // namespace writer
