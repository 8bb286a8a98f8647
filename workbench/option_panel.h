// The "H/W Option" group as a model: how each control is filled from the current part's record,
// how the choices are written into the option bytes and read back out of them.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "catalogue/part_database.h"
#include "project/project_info.h"
#include "workbench/list_model.h"
#include "workbench/option_codec.h"

namespace model {

namespace id {
inline constexpr int kOscList = 1502;
inline constexpr int kIspList = 1503;
inline constexpr int kIapList = 1504;
inline constexpr int kHwpsxList = 1505;
inline constexpr int kHwwidlSet = 1518;
inline constexpr int kHwwidlNow = 1519;
inline constexpr int kIspNow = 1521;
inline constexpr int kIapNow = 1522;
inline constexpr int kHwpsxNow = 1523;
inline constexpr int kOptionSetFirst = 1560;  // 1560..1583
inline constexpr int kOptionNowFirst = 1584;  // 1584..1607
inline constexpr int kOptionRows = 24;
inline constexpr int kSetLabelFirst = 1608;  // 1608..1614, language key 2005
inline constexpr int kSetLabelLast = 1614;
inline constexpr int kNowLabelFirst = 1615;  // 1615..1620, language key 2006
inline constexpr int kNowLabelLast = 1620;
}  // namespace id

// "%.1f K" of k * 0.5.
std::string HalfKLabel(std::int64_t halfKCount);
// "%04Xh - %04Xh".
std::string RangeText(std::int64_t first, std::int64_t last);

// The "~temp.dat" text: section [Read], key Option = hex digits of the bytes, then their
// checksum byte (low byte of the sum), as a private-profile struct writer stores them.
std::string ChipOptionsFileText(std::span<const std::uint8_t> bytes);
bool WriteChipOptionsFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

class OptionPanel {
  public:
    // The panel works on `info.optionBytes` / `info.oscIndex` of the part `currentPart` names.
    OptionPanel(proj::ProjectInfo& info, const std::int16_t& currentPart);
    OptionPanel(const OptionPanel&) = delete;
    OptionPanel& operator=(const OptionPanel&) = delete;

    // Controls.
    ListModel osc{id::kOscList};
    ListModel isp{id::kIspList};
    ListModel iap{id::kIapList};
    ListModel hwpsx{id::kHwpsxList};
    CheckModel hwwidlSet{id::kHwwidlSet};
    CheckModel hwwidlNow{id::kHwwidlNow};
    TextModel ispNow{id::kIspNow};
    TextModel iapNow{id::kIapNow};
    TextModel hwpsxNow{id::kHwpsxNow};
    std::array<CheckModel, id::kOptionRows> setBoxes;  // ids 1560 + i
    std::array<CheckModel, id::kOptionRows> nowBoxes;  // ids 1584 + i

    // Controls by identifier; nullptr for an identifier the panel does not have.
    ListModel* FindList(int controlId);
    CheckModel* FindCheck(int controlId);
    TextModel* FindText(int controlId);

    // Fill operations for the current part.
    void FillIspList();
    void FillIapList();
    void FillOscList();
    void FillHwGroup();
    void FillOptionBoxes(bool clearTicks);

    // Show operations: option bytes to the Set controls.
    void ShowIspField();  // also runs the ISP-change steps
    void ShowIapField();
    void ShowOptionBoxes();
    void ShowHwGroup();
    // Show IspField, FillIapList, show IapField, option boxes, HWENW group.
    void ShowOptionBytes();

    // Compose operations: Set controls to the option bytes.
    void ComposeIspField();
    void ComposeIapField();
    void ComposeOptionBoxes();
    void ComposeHwGroup();
    // IAP field, ISP field, option boxes, HWENW group, in that order.
    void ComposeOptionBytes();

    void ApplyOsc();
    void ShowIspRange();
    void ShowIapRange();

    // Bytes read from a chip: Now column, Now texts and the temporary file.
    void ShowChipOptions(std::span<const std::uint8_t> chipBytes);

    // Operator events (the window has already written the new selection / tick into the model).
    void OnIspChanged();
    void OnIapChanged();
    void OnOscChanged();
    void OnOptionBoxClicked(int controlId);

    // The whole panel rebuilt for a newly applied part from its default option bytes, in the
    // order a part change uses. It applies the record's default oscillator (bytes and oscIndex),
    // so a project load uses ShowOptionBytes and selects its own oscIndex instead.
    void RebuildForPart();

    // Value of the selected ISP entry, 0 when none.
    std::uint32_t IspSize() const;

    // Where ShowChipOptions writes "~temp.dat"; the temporary folder by default.
    void SetChipOptionsFile(std::filesystem::path path) { chipOptionsFile_ = std::move(path); }
    const std::filesystem::path& ChipOptionsFile() const { return chipOptionsFile_; }

  private:
    cat::Part part() const { return cat::Part(currentPart_); }
    std::span<std::uint8_t> bytes() { return info_.optionBytes; }
    std::uint32_t IapMask() const;
    bool IapWithoutHalfK() const;  // mask 0xFE and iapLimit - ispSize = 0x10000

    proj::ProjectInfo& info_;
    const std::int16_t& currentPart_;
    std::filesystem::path chipOptionsFile_;
};

}  // namespace model
