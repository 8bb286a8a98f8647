#include "writer/offline_record.h"

#include <algorithm>
#include <cstring>

namespace writer {

void PutLE(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value, int width) {
    const auto w = static_cast<std::size_t>(width);
    if (offset > bytes.size() || bytes.size() - offset < w) return;
    for (std::size_t k = 0; k < w; ++k)
        bytes[offset + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

std::uint32_t GetLE(std::span<const std::uint8_t> bytes, std::size_t offset, int width) {
    const auto w = static_cast<std::size_t>(width);
    if (offset > bytes.size() || bytes.size() - offset < w) return 0;
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < w; ++k) value |= std::uint32_t{bytes[offset + k]} << (8 * k);
    return value;
}

std::uint16_t RecordChecksum(std::span<const std::uint8_t> record) {
    std::uint32_t sum = 0;
    for (std::size_t i = 2; i < record.size(); ++i) sum += record[i];
    return static_cast<std::uint16_t>(sum);
}

std::vector<std::uint8_t> BuildOfflineRecord(const proj::ProjectInfo& info,
                                             const RecordInputs& in) {
    const std::size_t m = info.optionCount;
    std::vector<std::uint8_t> r(kRecordFixedLength + m, 0);
    PutLE(r, 2, static_cast<std::uint32_t>(r.size()), 2);
    PutLE(r, 4, info.partIndex, 2);  // the device code while a part is selected
    r[6] = info.layout;
    // 7..14 stay 0.
    r[15] = info.autoSteps;
    PutLE(r, 16, in.apLength, 4);
    PutLE(r, 20, in.codeChecksum, 2);
    r[22] = info.oscIndex;
    PutLE(r, 23, info.maxCounter, 2);
    r[25] = info.serialEnabled;
    r[26] = info.autoIncrement;
    PutLE(r, 27, info.serialAddress, 4);
    std::copy(info.serialString.begin(), info.serialString.end(), r.begin() + 31);
    PutLE(r, 43, info.serialNumber, 4);
    PutLE(r, 47, in.ispStart, 4);
    PutLE(r, 51, info.ispLength, 4);
    PutLE(r, 55, in.apLength, 4);
    r[59] = static_cast<std::uint8_t>(m);
    std::copy_n(info.optionBytes.begin(), std::min(m, info.optionBytes.size()), r.begin() + 60);
    PutLE(r, 60 + m, in.partIndex, 2);
    PutLE(r, 0, RecordChecksum(r), 2);
    return r;
}

bool MoveBytes(std::span<std::uint8_t> image, std::uint64_t from, std::uint64_t to,
               std::uint64_t length) {
    const std::uint64_t size = image.size();
    if (from > size || size - from < length || to > size || size - to < length) return false;
    if (length > 0) std::memmove(image.data() + to, image.data() + from, length);
    return true;
}

}  // namespace writer
