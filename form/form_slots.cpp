#include "form/form_slots.h"

#include "catalogue/part_database.h"
#include "core/bytes.h"
#include "workbench/option_codec.h"
#include "workbench/option_panel.h"
#include "workbench/workbench.h"

namespace form {

namespace {

constexpr const char* kNone = "None";
constexpr const char* kReserved = "Reserved";
constexpr const char* kNoOptionName = " - ";
constexpr const char* kNoOptionState = "   -    ";
constexpr std::size_t kCustomIdByte = 52;
constexpr std::size_t kStringIdFirst = 16;
constexpr std::size_t kStringIdLength = 32;

using core::Format;

// Text of the lowest entry with `value`, none when no entry has it.
std::optional<std::string> EntryTextOfValue(const model::ListModel& list, model::ItemValue value) {
    for (const auto& entry : list.entries()) {
        if (entry.value == value) return entry.text;
    }
    return std::nullopt;
}

std::string IspSpaceText(const model::Workbench& bench, const proj::ProjectInfo& file) {
    const auto field = cat::Part(file.partIndex).Field(cat::key::kIspField);
    if (!field) return kNone;
    const auto word = model::ReadOptionWord(file.optionBytes, field->byteIndex);
    const auto position = model::IspPositionFromWord(word, *field);
    return bench.panel.isp.Text(static_cast<int>(position));
}

std::string IapSpaceText(model::Workbench& bench, int filePart) {
    const auto position = IapPosition(bench, filePart);
    if (!position) return kNone;
    auto& iap = bench.panel.iap;
    iap.Select(*position >= 0 && *position < iap.Count() ? static_cast<int>(*position) : -1);
    bench.NotifyChanged(model::kChangeOptionPanel);
    return iap.Text(iap.Selected());
}

std::string HardwareText(const model::Workbench& bench, int filePart) {
    if (cat::Part(filePart).Number(cat::key::kHwenwAvailable) == 0) return {};
    const cat::Part current(bench.currentPart);
    const auto enable = current.Field(cat::key::kHwenwBit);
    if (!enable || model::ReadOptionField(bench.info.optionBytes, *enable) != 0) return {};
    if (!current.Text(cat::key::kHwwidlBit) && !current.Text(cat::key::kHwpsxField)) return {};
    return Format(". HWWIDL : %d         HWPS : %d", bench.panel.hwwidlSet.ticked ? 0 : 1,
                  bench.panel.hwpsx.Selected());
}

std::string CustomIdText(const model::Workbench& bench) {
    if (bench.info.customFlag != 1) return kReserved;
    return Format("%02X", bench.info.optionBytes[kCustomIdByte]);
}

std::string StringIdText(const model::Workbench& bench) {
    if (bench.info.customFlag != 1) return kReserved;
    // The text ends at its first zero byte, or at an erased one (0xFF), so a part without a
    // String ID shows an empty one; every other byte is text.
    std::string text;
    for (std::size_t i = 0; i < kStringIdLength; ++i) {
        const auto b = bench.info.optionBytes[kStringIdFirst + i];
        if (b == 0x00 || b == 0xFF) break;
        text += static_cast<char>(b);
    }
    return text;
}

}  // namespace

std::string FileNameOf(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string SaveTimeText(const std::array<std::uint8_t, 8>& stamp) {
    return Format("%d-%d-%d %d:%d:%d", stamp[2] + 2000, stamp[3], stamp[4], stamp[5], stamp[6],
                  stamp[7]);
}

std::string RandomKeyText(const std::array<std::uint8_t, 8>& stamp) {
    return Format("%02X-%02X", stamp[0], stamp[1]);
}

std::string VersionText(std::uint16_t version) {
    return Format("v%d.%02X", version >> 8, version & 0xFF);
}

OptionEntry OptionEntryAt(int partIndex, int slot, std::span<const std::uint8_t> optionBytes) {
    const auto bit = cat::Part(partIndex).OptionBitAt(slot);
    if (!bit) return {kNoOptionName, kNoOptionState};
    // A byte beyond the option area reads as erased, like the rest of the area.
    const std::uint8_t byte =
        bit->byteIndex < optionBytes.size() ? optionBytes[bit->byteIndex] : 0xFF;
    return {bit->name, (byte & bit->mask) == 0 ? "Enable" : "Disable"};
}

std::optional<std::int64_t> IapPosition(const model::Workbench& bench, int filePart) {
    const cat::Part part(filePart);
    const auto field = part.Field(cat::key::kIapField);
    if (!field) return std::nullopt;
    const std::uint32_t word = model::ReadOptionWord(bench.info.optionBytes, field->byteIndex);
    const std::int64_t ispSize = bench.panel.IspSize();
    const auto iapBytes =
        model::IapBytesFromWord(word, field->mask, std::int64_t{bench.CodeSize()} - ispSize);
    // A page above the free space is a position outside the list.
    if (!iapBytes) return -1;
    return model::IapPositionFromBytes(
        *iapBytes, model::IapWithoutHalfK(field->mask, part.Number(cat::key::kIapLimit), ispSize));
}

FormSlots ComputeFormSlots(model::Workbench& bench, const proj::ProjectInfo& file,
                           std::string_view path) {
    const int part = file.partIndex;
    FormSlots slots;
    slots[0] = EntryTextOfValue(bench.parts, file.partIndex).value_or("");
    slots[1] = FileNameOf(path);
    slots[2] = std::string(file.SourceName());
    slots[3] = std::string(file.IspName());
    slots[4] = Format("%d", static_cast<int>(file.dataLength));
    slots[5] = Format("%04X", file.dataChecksum);
    slots[6] = Format("%d", file.maxCounter);
    slots[7] = VersionText(file.formatVersion);
    slots[8] = SaveTimeText(file.saveStamp);
    slots[9] = RandomKeyText(file.saveStamp);
    slots[10] = CustomIdText(bench);
    slots[11] = IspSpaceText(bench, file);
    slots[12] = IapSpaceText(bench, part);
    slots[13] = EntryTextOfValue(bench.panel.osc, file.oscIndex).value_or(kNone);
    slots[14] = HardwareText(bench, part);
    slots[15] = StringIdText(bench);
    constexpr int kRows = cat::key::kOptionBitSlots / 2;
    for (int r = 0; r < kRows; ++r) {
        const auto left = OptionEntryAt(part, r, file.optionBytes);
        const auto right = OptionEntryAt(part, r + kRows, file.optionBytes);
        const std::size_t at = 16 + 4 * static_cast<std::size_t>(r);
        slots[at] = left.name;
        slots[at + 1] = left.state;
        slots[at + 2] = right.name;
        slots[at + 3] = right.state;
    }
    return slots;
}

}  // namespace form
