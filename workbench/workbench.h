// The main window's state without widgets: the part selection, the project record, the option
// panel, the status line. The window mirrors it and forwards the operator's events to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/operator_ports.h"
#include "project/project_info.h"
#include "workbench/list_model.h"
#include "workbench/option_panel.h"

namespace model {

namespace id {
inline constexpr int kSeriesList = 1500;
inline constexpr int kPartList = 1501;
inline constexpr int kFilepath = 1524;
inline constexpr int kFilesize = 1525;
inline constexpr int kChecksum = 1526;
}  // namespace id

// Unsigned 32-bit sum of `count` bytes from `offset`; bytes outside `data` are not counted.
std::uint32_t ByteSum(std::span<const std::uint8_t> data, std::size_t count,
                      std::size_t offset = 0);

struct Areas {
    std::uint32_t apLength = 0;
    std::uint32_t ispStart = 0;
    std::uint32_t ispLength = 0;
    std::uint32_t total = 0;  // bytes the progress bar counts
};

// What a change touched, for the window's re-mirroring.
enum Change : unsigned {
    kChangeSeriesList = 1u << 0,
    kChangePartList = 1u << 1,
    kChangeOptionPanel = 1u << 2,
    kChangeStatusLine = 1u << 3,
    kChangeProject = 1u << 4,  // info / currentPart
    kChangeAll = 0x1Fu,
};

class Workbench {
  public:
    Workbench();
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    // The ports the model drives; either may be null (nothing is then done with it).
    void Attach(core::CodeBufferPort* buffer, core::MessageSink* log);
    core::CodeBufferPort* buffer() const { return buffer_; }
    core::MessageSink* log() const { return log_; }

    // Called after every operation of this class that changed something (once per outermost
    // call), with the Change bits it touched. Direct edits of `panel` or `info` by other code
    // are reported by that code with NotifyChanged.
    std::function<void(unsigned)> onChanged;
    void NotifyChanged(unsigned changes = kChangeAll);

    // State.
    std::int16_t currentPart = -2;  // -2: next selection applies; -1: ApplyPart running
    proj::ProjectInfo info;
    ListModel series{id::kSeriesList};
    ListModel parts{id::kPartList};
    OptionPanel panel;
    TextModel filepath{id::kFilepath};
    TextModel filesize{id::kFilesize};
    TextModel checksum{id::kChecksum};
    std::string userIspPath;          // the remembered user ISP-code path, cleared by a part change
    std::uint32_t customSetting = 0;  // key 0x0019 of the current part

    // Part selection.
    void FillSeriesList();
    void FillPartList();  // applies the first part
    void ApplyPart();
    // Operator events: a series or a part chosen at `position`.
    void OnSeriesSelected(int position);
    void OnPartSelected(int position);
    // Selects `partIndex`'s series, refills the part list and, when the part is listed, selects
    // it and applies it again (currentPart -2 first). False when it is not listed (the first part
    // of the series then stays applied).
    bool SelectPartByIndex(int partIndex);
    // Start-up restoration from the stored "PartNo" (-1: none stored) and the writer family,
    // with every fallback. Returns the part applied (currentPart).
    int RestorePart(int storedPartNo, std::uint32_t family);
    // Item value of the selected part entry, -1 when none ("PartNo" at exit).
    int SelectedPartIndex() const;
    // Language change: series list re-texted at the same position, option names/descriptions.
    void OnLanguageChanged();

    // Option panel events, forwarded to the panel and reported.
    void OnIspChanged(int position);
    void OnIapChanged(int position);
    void OnOscChanged(int position);
    void OnOptionBoxClicked(int controlId, bool ticked);
    void OnHwwidlClicked(bool ticked);
    void OnHwpsxChanged(int position);
    void ComposeOptionBytes();
    void ShowChipOptions(std::span<const std::uint8_t> chipBytes);

    // Code buffer.
    void OnBufferChanged();  // the buffer's change notification
    bool IsBufferEmpty() const;
    Areas ProgramAreas() const;      // what Program, Verify and Auto cover
    std::uint32_t CodeSize() const;  // of the current part, 0 when none
    // Status line texts (blank all three).
    void BlankStatusLine();

  private:
    class Scope;
    friend class Scope;
    void Touch(unsigned changes) { pending_ |= changes; }

    core::CodeBufferPort* buffer_ = nullptr;
    core::MessageSink* log_ = nullptr;
    int depth_ = 0;
    unsigned pending_ = 0;
};

}  // namespace model
