#include "workbench/option_panel.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "catalogue/lookup.h"
#include "core/bytes.h"

namespace model {

namespace {

// The option area of a chip read back, padded to the full record size so that any field of
// the record can be read without leaving the buffer.
std::array<std::uint8_t, proj::kOptionCapacity> PaddedOptionArea(
    std::span<const std::uint8_t> chipBytes) {
    std::array<std::uint8_t, proj::kOptionCapacity> area;
    area.fill(0xFF);
    for (std::size_t i = 0; i < chipBytes.size() && i < area.size(); ++i) area[i] = chipBytes[i];
    return area;
}

}  // namespace

std::string HalfKLabel(std::int64_t halfKCount) {
    return core::Format("%.1f K", static_cast<double>(halfKCount) * 0.5);
}

std::string RangeText(std::int64_t first, std::int64_t last) {
    return core::Format("%04Xh - %04Xh", static_cast<unsigned>(first), static_cast<unsigned>(last));
}

std::string ChipOptionsFileText(std::span<const std::uint8_t> bytes) {
    std::string hex;
    for (auto b : bytes) hex += core::Format("%02X", static_cast<unsigned>(b));
    hex += core::Format("%02X", core::ByteSum(bytes) & 0xFFu);
    return "[Read]\nOption=" + hex + "\n";
}

bool WriteChipOptionsFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    // Written to a fresh file beside it and renamed over the name, so that a link planted under
    // that name in a shared temporary folder is replaced, never followed.
    std::string temp = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    const std::string text = ChipOptionsFileText(bytes);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool written = ::close(fd) == 0 && done == text.size();
    std::error_code ec;
    if (written) std::filesystem::rename(temp, path, ec);
    if (!written || ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

OptionPanel::OptionPanel(proj::ProjectInfo& info, const std::int16_t& currentPart)
    : info_(info), currentPart_(currentPart) {
    for (int i = 0; i < id::kOptionRows; ++i) {
        setBoxes[static_cast<std::size_t>(i)].id = id::kOptionSetFirst + i;
        nowBoxes[static_cast<std::size_t>(i)].id = id::kOptionNowFirst + i;
        nowBoxes[static_cast<std::size_t>(i)].enabled = false;
    }
    hwwidlNow.enabled = false;
    std::error_code ec;
    auto temp = std::filesystem::temp_directory_path(ec);
    if (ec) temp = "/tmp";
    chipOptionsFile_ = temp / "~temp.dat";
}

ListModel* OptionPanel::FindList(int controlId) {
    for (ListModel* list : {&osc, &isp, &iap, &hwpsx}) {
        if (list->id() == controlId) return list;
    }
    return nullptr;
}

CheckModel* OptionPanel::FindCheck(int controlId) {
    if (controlId == id::kHwwidlSet) return &hwwidlSet;
    if (controlId == id::kHwwidlNow) return &hwwidlNow;
    if (controlId >= id::kOptionSetFirst && controlId < id::kOptionSetFirst + id::kOptionRows) {
        return &setBoxes[static_cast<std::size_t>(controlId - id::kOptionSetFirst)];
    }
    if (controlId >= id::kOptionNowFirst && controlId < id::kOptionNowFirst + id::kOptionRows) {
        return &nowBoxes[static_cast<std::size_t>(controlId - id::kOptionNowFirst)];
    }
    return nullptr;
}

TextModel* OptionPanel::FindText(int controlId) {
    for (TextModel* text : {&ispNow, &iapNow, &hwpsxNow}) {
        if (text->id == controlId) return text;
    }
    return nullptr;
}

std::uint32_t OptionPanel::IspSize() const {
    return static_cast<std::uint32_t>(isp.ValueOfSelection());
}

std::uint32_t OptionPanel::IapMask() const {
    const auto field = part().Field(cat::key::kIapField);
    return field ? field->mask : 0;
}

bool OptionPanel::IapWithoutHalfK() const {
    return model::IapWithoutHalfK(IapMask(), part().Number(cat::key::kIapLimit), IspSize());
}

// ---- ISP Space ----

void OptionPanel::FillIspList() {
    const cat::Part p = part();
    isp.Clear();
    isp.enabled = false;
    isp.tooltip.clear();  // no range to show, and none left from the previous part
    ispNow.enabled = false;
    if (p.Number(cat::key::kIspAvailable) == 0) return;
    isp.enabled = true;
    ispNow.enabled = true;
    for (const auto& choice : p.Choices(cat::key::kIspList)) isp.Add(choice.label, choice.value);
    isp.Select(0);
}

void OptionPanel::ShowIspField() {
    const auto field = part().Field(cat::key::kIspField);
    if (!isp.enabled || !field) return;
    const auto position = IspPositionFromWord(ReadOptionWord(bytes(), field->byteIndex), *field);
    // A position beyond the list leaves it without a selection.
    isp.Select(static_cast<int>(position));
    OnIspChanged();
}

void OptionPanel::ComposeIspField() {
    const auto field = part().Field(cat::key::kIspField);
    if (!isp.enabled || !field) return;
    // Nothing selected (bytes that decoded beyond the list): the field keeps its bits.
    if (!isp.HasSelection()) return;
    WriteIspPosition(bytes(), *field, isp.Selected());
}

void OptionPanel::ShowIspRange() {
    const std::int64_t ispSize = IspSize();
    if (ispSize == 0) {
        isp.tooltip = "NA";
        return;
    }
    const std::int64_t codeSize = part().CodeSize();
    isp.tooltip = RangeText(codeSize - ispSize, codeSize - 1);
}

// ---- IAP Space ----

void OptionPanel::FillIapList() {
    const cat::Part p = part();
    const int rememberedPosition = iap.HasSelection() ? iap.Selected() : 0;
    const std::string rememberedText = iap.Text(rememberedPosition);
    iap.Clear();
    iap.enabled = false;
    iap.tooltip.clear();
    iapNow.enabled = false;
    if (p.Number(cat::key::kIapAvailable) == 0) return;
    iap.enabled = true;
    iapNow.enabled = true;
    iap.Add("None", 0);
    const std::int64_t limit = std::int64_t{p.Number(cat::key::kIapLimit)} - IspSize();
    const bool withoutHalfK = IapWithoutHalfK();
    for (std::int64_t k = 1, size = kIapStep; size <= limit; ++k, size += kIapStep) {
        if (withoutHalfK && size == kIapStep) continue;
        iap.Add(HalfKLabel(k), size);
    }
    int found = -1;
    if (IapMask() == kEvenPageMask) found = iap.FindPrefix(0, rememberedText);
    if (found < 0) found = std::min(rememberedPosition, iap.Count() - 1);
    iap.Select(found);
    ShowIapRange();
}

void OptionPanel::ShowIapField() {
    const auto field = part().Field(cat::key::kIapField);
    if (!iap.enabled || !field) return;
    const std::int64_t free = std::int64_t{part().CodeSize()} - IspSize();
    const auto iapBytes =
        IapBytesFromWord(ReadOptionWord(bytes(), field->byteIndex), field->mask, free);
    // A page above the free space gives no position.
    const std::int64_t position =
        iapBytes ? IapPositionFromBytes(*iapBytes, IapWithoutHalfK()) : -1;
    // A position outside the list leaves it without a selection.
    iap.Select(position >= 0 && position < iap.Count() ? static_cast<int>(position) : -1);
    ShowIapRange();
}

void OptionPanel::ComposeIapField() {
    const auto field = part().Field(cat::key::kIapField);
    if (!iap.enabled || !field) return;
    // Nothing selected (bytes that decoded beyond the list): the field keeps its bits.
    if (!iap.HasSelection()) return;
    const std::int64_t free = std::int64_t{part().CodeSize()} - IspSize();
    const std::uint32_t page = IapPageForPosition(field->mask, free, iap.Selected());
    WriteOptionField(bytes(), *field, page);
}

void OptionPanel::ShowIapRange() {
    const cat::Part p = part();
    if (p.Number(cat::key::kIapAvailable) == 0 || !iap.HasSelection()) {
        iap.tooltip.clear();
        return;
    }
    const std::int64_t pos = iap.Selected();
    if (pos == 0) {
        iap.tooltip = "NA";
        return;
    }
    const std::int64_t free = std::int64_t{p.CodeSize()} - IspSize();
    const std::int64_t start =
        IapWithoutHalfK() ? free - (pos + 1) * kIapStep : free - pos * kIapStep;
    iap.tooltip = RangeText(start, free - 1);
}

// ---- option check boxes ----

void OptionPanel::FillOptionBoxes(bool clearTicks) {
    const cat::Part p = part();
    const int language = cat::LanguageID();
    for (int i = 0; i < id::kOptionRows; ++i) {
        auto& set = setBoxes[static_cast<std::size_t>(i)];
        auto& now = nowBoxes[static_cast<std::size_t>(i)];
        if (const auto bit = p.OptionBitAt(i)) {
            set.enabled = true;
            set.byteIndex = now.byteIndex = bit->byteIndex;
            set.mask = now.mask = bit->mask;
            set.text = bit->name;
            set.tooltip = (language == 1 && !bit->chinese.empty()) ? bit->chinese : bit->english;
        } else {
            set.enabled = false;
            set.byteIndex = now.byteIndex = 0;
            set.mask = now.mask = 0;
            set.text.clear();
            set.tooltip.clear();
        }
        now.enabled = false;
        if (clearTicks) set.ticked = now.ticked = false;
    }
}

void OptionPanel::ShowOptionBoxes() {
    for (auto& set : setBoxes) {
        set.ticked = set.enabled && (info_.optionBytes[set.byteIndex] & set.mask) == 0;
    }
}

void OptionPanel::ComposeOptionBoxes() {
    for (const auto& set : setBoxes) {
        if (!set.enabled) continue;
        auto& b = info_.optionBytes[set.byteIndex];
        const auto mask = static_cast<std::uint8_t>(set.mask);
        b = set.ticked ? static_cast<std::uint8_t>(b & ~mask) : static_cast<std::uint8_t>(b | mask);
    }
    const auto variant = part().Number(cat::key::kOscVariant);
    if (variant == 3 || variant == 4) info_.optionBytes[3] |= 0x01;
}

// ---- oscillator ----

void OptionPanel::FillOscList() {
    const cat::Part p = part();
    osc.Clear();
    osc.enabled = false;
    if (p.Number(cat::key::kOscAvailable) == 0) return;
    osc.enabled = true;
    for (const auto& choice : p.Choices(cat::key::kOscList)) osc.Add(choice.label, choice.value);
    osc.SelectByValue(p.Number(cat::key::kOscDefault));
}

void OptionPanel::ApplyOsc() {
    const cat::Part p = part();
    if (p.Number(cat::key::kOscAvailable) == 0) return;
    const auto o = osc.ValueOfSelection();
    info_.oscIndex = static_cast<std::uint8_t>(o);
    const auto variant = p.Number(cat::key::kOscVariant);
    if (variant < 1 || variant > 4) return;
    ComposeOptionBoxes();
    auto& b0 = info_.optionBytes[0];
    auto& b1 = info_.optionBytes[1];
    const bool external = o == 0;
    switch (variant) {
        case 1:
            b1 = external ? static_cast<std::uint8_t>((b1 & 0xDF) | 0x42)
                          : static_cast<std::uint8_t>((b1 & 0xBD) | 0x20);
            break;
        case 2:
            b1 = external ? static_cast<std::uint8_t>(b1 | 0x62)
                          : static_cast<std::uint8_t>((b1 & 0xBD) | 0x20);
            break;
        case 3:
            if (external) {
                b1 |= 0x08;
                b0 |= 0x03;
            } else {
                b1 &= 0xF7;
                b0 = static_cast<std::uint8_t>((b0 & 0xFD) | 0x01);
            }
            break;
        default:
            if (external) {
                b1 |= 0x08;
            } else {
                b1 &= 0xF7;
            }
            break;
    }
    ShowOptionBoxes();
}

// ---- HWENW group ----

void OptionPanel::FillHwGroup() {
    const cat::Part p = part();
    hwwidlSet.ticked = hwwidlNow.ticked = false;
    hwpsx.Clear();
    hwpsxNow.text.clear();
    if (p.Number(cat::key::kHwenwAvailable) == 0) {
        hwwidlSet.enabled = false;
        hwpsx.enabled = false;
        hwwidlSet.byteIndex = hwwidlNow.byteIndex = 0;
        hwwidlSet.mask = hwwidlNow.mask = 0;
        return;
    }
    hwwidlSet.enabled = true;
    hwpsx.enabled = true;
    for (const auto& choice : p.Choices(cat::key::kHwpsxList))
        hwpsx.Add(choice.label, choice.value);
    const auto widl = p.Field(cat::key::kHwwidlBit).value_or(cat::FieldSpec{});
    hwwidlSet.byteIndex = hwwidlNow.byteIndex = widl.byteIndex;
    hwwidlSet.mask = hwwidlNow.mask = widl.mask;
}

void OptionPanel::ShowHwGroup() {
    const cat::Part p = part();
    if (p.Number(cat::key::kHwenwAvailable) == 0) return;
    if (const auto widl = p.Field(cat::key::kHwwidlBit)) {
        hwwidlSet.ticked = ReadOptionField(bytes(), *widl) == 0;
    }
    if (const auto psx = p.Field(cat::key::kHwpsxField)) {
        hwpsx.SelectByValue(ReadOptionField(bytes(), *psx) >> psx->Shift());
    }
    if (const auto enw = p.Field(cat::key::kHwenwBit)) {
        const bool off = ReadOptionField(bytes(), *enw) != 0;
        hwwidlSet.enabled = !off;
        hwpsx.enabled = !off;
    }
}

void OptionPanel::ComposeHwGroup() {
    const cat::Part p = part();
    if (p.Number(cat::key::kHwenwAvailable) == 0) return;
    if (const auto widl = p.Field(cat::key::kHwwidlBit)) {
        WriteOptionField(bytes(), *widl, hwwidlSet.ticked ? 0u : widl->mask);
    }
    if (const auto psx = p.Field(cat::key::kHwpsxField)) {
        const auto value = static_cast<std::uint32_t>(hwpsx.ValueOfSelection());
        WriteOptionField(bytes(), *psx, value << psx->Shift());
    }
}

// ---- sequences ----

void OptionPanel::ShowOptionBytes() {
    ShowIspField();
    FillIapList();
    ShowIapField();
    ShowOptionBoxes();
    ShowHwGroup();
}

void OptionPanel::ComposeOptionBytes() {
    ComposeIapField();
    ComposeIspField();
    ComposeOptionBoxes();
    ComposeHwGroup();
}

void OptionPanel::RebuildForPart() {
    FillIspList();
    ShowIspField();
    FillIapList();
    ShowIapField();
    FillOptionBoxes(true);
    ShowOptionBoxes();
    FillOscList();
    ApplyOsc();
    FillHwGroup();
    ShowHwGroup();
    osc.SelectByValue(info_.oscIndex);
}

// ---- chip read-back ----

void OptionPanel::ShowChipOptions(std::span<const std::uint8_t> chipBytes) {
    const cat::Part p = part();
    WriteChipOptionsFile(chipOptionsFile_, chipBytes);
    const auto b = PaddedOptionArea(chipBytes);

    for (int i = 0; i < id::kOptionRows; ++i) {
        const auto& set = setBoxes[static_cast<std::size_t>(i)];
        auto& now = nowBoxes[static_cast<std::size_t>(i)];
        now.ticked = set.enabled && (b[now.byteIndex] & now.mask) == 0;
    }

    if (p.Number(cat::key::kHwenwAvailable) != 0) {
        if (const auto widl = p.Field(cat::key::kHwwidlBit)) {
            hwwidlNow.ticked = ReadOptionField(b, *widl) == 0;
        }
        if (const auto psx = p.Field(cat::key::kHwpsxField)) {
            const auto position = ReadOptionField(b, *psx) >> psx->Shift();
            hwpsxNow.text = hwpsx.Text(static_cast<int>(position));
        }
    }

    std::int64_t chipIspSize = 0;
    if (ispNow.enabled) {
        ispNow.text.clear();
        if (const auto field = p.Field(cat::key::kIspField)) {
            const auto position =
                static_cast<int>(IspPositionFromWord(ReadOptionWord(b, field->byteIndex), *field));
            // Beyond the list: no text, and the chip's ISP size counts as 0.
            ispNow.text = isp.Text(position);
            chipIspSize = isp.Value(position);
        }
    }

    if (iapNow.enabled) {
        iapNow.text.clear();
        if (const auto field = p.Field(cat::key::kIapField)) {
            const std::int64_t free = std::int64_t{p.CodeSize()} - chipIspSize;
            const auto iapBytes =
                ChipIapBytesFromWord(ReadOptionWord(b, field->byteIndex), field->mask, free);
            if (iapBytes) iapNow.text = HalfKLabel(*iapBytes / kIapStep);
        }
    }
}

// ---- events ----

void OptionPanel::OnIspChanged() {
    FillIapList();
    ShowIspRange();
}

void OptionPanel::OnIapChanged() {
    ShowIapRange();
}

void OptionPanel::OnOscChanged() {
    ApplyOsc();
}

void OptionPanel::OnOptionBoxClicked(int controlId) {
    if (controlId < id::kOptionSetFirst || controlId >= id::kOptionSetFirst + id::kOptionRows) {
        return;
    }
    ComposeHwGroup();
    ComposeOptionBoxes();
    ShowHwGroup();
}

}  // namespace model
