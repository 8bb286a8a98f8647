#include "writer/offline_record.h"

#include <algorithm>
#include <cstring>

namespace writer {

std::uint16_t RecordChecksum(std::span<const std::uint8_t> record) {
    const std::size_t from = std::min(record::kLength.offset, record.size());
    return static_cast<std::uint16_t>(core::ByteSum(record.subspan(from)));
}

std::vector<std::uint8_t> BuildOfflineRecord(const proj::ProjectInfo& info,
                                             const RecordInputs& in) {
    const std::size_t m = info.optionCount;
    using namespace record;
    std::vector<std::uint8_t> r(kFixedLength + m, 0);
    Put(r, kLength, static_cast<std::uint32_t>(r.size()));
    Put(r, kPartIndex, info.partIndex);  // the device code while a part is selected
    Put(r, kLayout, info.layout);
    // 7..14 stay 0.
    Put(r, kAutoSteps, info.autoSteps);
    Put(r, kApLength, in.apLength);
    Put(r, kCodeChecksum, in.codeChecksum);
    Put(r, kOscIndex, info.oscIndex);
    Put(r, kMaxCounter, info.maxCounter);
    Put(r, kSerialEnabled, info.serialEnabled);
    Put(r, kAutoIncrement, info.autoIncrement);
    Put(r, kSerialAddress, info.serialAddress);
    static_assert(static_cast<int>(proj::kSerialStringLength) == kSerialString.width);
    std::copy(info.serialString.begin(), info.serialString.end(), r.begin() + kSerialString.offset);
    Put(r, kSerialNumber, info.serialNumber);
    Put(r, kIspStart, in.ispStart);
    Put(r, kIspLength, info.ispLength);
    Put(r, kApLengthAgain, in.apLength);
    Put(r, kOptionCount, static_cast<std::uint32_t>(m));
    std::copy_n(info.optionBytes.begin(), std::min(m, info.optionBytes.size()),
                r.begin() + kOptionBytes);
    Put(r, PartIndexAfterOptions(m), in.partIndex);
    Put(r, kChecksum, RecordChecksum(r));
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
