#include "project/project_info.h"

#include <algorithm>

#include "catalogue/lookup.h"

namespace proj {
namespace {

void StoreName(std::array<char, kNameCapacity>& field, std::uint8_t& length,
               std::string_view name) {
    // The length byte caps a name at 255 bytes even though the field holds 260.
    const std::size_t n = std::min<std::size_t>(name.size(), 255);
    field.fill(0);
    std::copy_n(name.begin(), n, field.begin());
    length = static_cast<std::uint8_t>(n);
}

std::string_view ReadName(const std::array<char, kNameCapacity>& field, std::uint8_t length) {
    return {field.data(), std::min<std::size_t>(length, field.size())};
}

}  // namespace

std::string_view ProjectInfo::SourceName() const {
    return ReadName(sourceName, sourceNameLength);
}
void ProjectInfo::SetSourceName(std::string_view name) {
    StoreName(sourceName, sourceNameLength, name);
}
std::string_view ProjectInfo::IspName() const {
    return ReadName(ispName, ispNameLength);
}
void ProjectInfo::SetIspName(std::string_view name) {
    StoreName(ispName, ispNameLength, name);
}

void ResetProjectInfo(ProjectInfo& info) {
    info = ProjectInfo{};
    std::copy(kProjectMagic.begin(), kProjectMagic.end(), info.magic.begin());
    info.partIndex = 0xFFFF;
    info.layout = LAYOUT_AP_ISP;
    info.optionBytes.fill(0xFF);
    info.autoSteps = 0x1F;
    info.ispSource = ISP_SRC_NONE;
    info.serialString.fill(' ');
    info.formatVersion = cat::ProjectVersion();
    info.formatKind = 5;
}

}  // namespace proj
