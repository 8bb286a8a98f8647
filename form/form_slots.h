// The 64 values of a project form: most from the project record read out of the file, a few
// (IAP Space, Custom ID, String ID, HWWIDL/HWPS) from the window's current state.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "form/form_template.h"
#include "project/project_info.h"

namespace model {
class Workbench;
}

namespace form {

// Slot texts of the file's own fields.
std::string FileNameOf(std::string_view path);                        // after the last '/' or '\'
std::string SaveTimeText(const std::array<std::uint8_t, 8>& stamp);   // "2008-10-20 7:0:26"
std::string RandomKeyText(const std::array<std::uint8_t, 8>& stamp);  // "3A-C5"
std::string VersionText(std::uint16_t version);                       // 0x0310 -> "v3.10"

// Option name and state of option slot `slot` (0..23) of part `partIndex` over `optionBytes`;
// " - " and "   -    " when the part has no such option.
struct OptionEntry {
    std::string name;
    std::string state;
};
OptionEntry OptionEntryAt(int partIndex, int slot, std::span<const std::uint8_t> optionBytes);

// The IAP Space position the window's own option bytes give for the file's part; none when that
// part has no IAP field. Out-of-list positions are returned as they are, -1 for a page above
// the free space.
std::optional<std::int64_t> IapPosition(const model::Workbench& bench, int filePart);

// Every slot. Selects the IAP Space entry of IapPosition in the window's list (and reports the
// change to the window), as the form's IAP line is the entry then selected.
FormSlots ComputeFormSlots(model::Workbench& bench, const proj::ProjectInfo& file,
                           std::string_view path);

}  // namespace form
