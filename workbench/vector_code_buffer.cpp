#include "workbench/vector_code_buffer.h"

#include <algorithm>

namespace model {

void VectorCodeBuffer::Changed() {
    if (onChange) onChange();
}

void VectorCodeBuffer::SetBytes(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return;
    const auto n = std::min<std::size_t>(bytes.size(), capacity_);
    bytes_.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    Changed();
}

std::uint32_t VectorCodeBuffer::Checksum() const {
    std::uint32_t sum = 0;
    for (auto b : bytes_) sum += b;
    return sum;
}

void VectorCodeBuffer::SetCapacity(std::uint32_t capacity) {
    capacity_ = capacity;
    if (bytes_.size() > capacity_) bytes_.resize(capacity_);
}

void VectorCodeBuffer::ClearAll() {
    if (bytes_.empty()) return;
    bytes_.clear();
    Changed();
}

bool VectorCodeBuffer::Type(std::uint32_t offset, std::uint8_t value) {
    if (offset < bytes_.size()) {
        bytes_[offset] = value;
    } else if (offset == bytes_.size() && offset < capacity_) {
        bytes_.push_back(value);
    } else {
        return false;
    }
    Changed();
    return true;
}

}  // namespace model
