#include "workbench/workbench.h"

#include <algorithm>

#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "catalogue/part_order.h"
#include "core/bytes.h"

namespace model {

std::uint32_t ByteSum(std::span<const std::uint8_t> data, std::size_t count, std::size_t offset) {
    if (offset >= data.size()) return 0;
    return core::ByteSum(data.subspan(offset, std::min(count, data.size() - offset)));
}

// Collects the change bits of one operator-visible operation and reports them once, when the
// outermost operation returns.
class Workbench::Scope {
  public:
    Scope(Workbench& bench, unsigned changes) : bench_(bench) {
        ++bench_.depth_;
        bench_.Touch(changes);
    }
    ~Scope() {
        if (--bench_.depth_ == 0 && bench_.pending_ != 0) {
            const unsigned changes = bench_.pending_;
            bench_.pending_ = 0;
            if (bench_.onChanged) bench_.onChanged(changes);
        }
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

  private:
    Workbench& bench_;
};

Workbench::Workbench() : panel(info, currentPart) {
    proj::ResetProjectInfo(info);
}

void Workbench::Attach(core::CodeBufferPort* buffer, core::MessageSink* log) {
    buffer_ = buffer;
    log_ = log;
}

void Workbench::NotifyChanged(unsigned changes) {
    Scope scope(*this, changes);
}

// ---- part selection ----

void Workbench::FillSeriesList() {
    Scope scope(*this, kChangeSeriesList);
    const int remembered = series.Selected();
    series.Clear();
    for (auto& entry : cat::OrderedSeries(cat::LanguageID())) {
        series.Add(std::move(entry.name), entry.series);
    }
    series.Select(remembered);
}

void Workbench::FillPartList() {
    Scope scope(*this, kChangePartList);
    const bool anySeries = series.HasSelection();
    const auto wanted = series.ValueOfSelection();
    parts.Clear();
    if (anySeries && wanted >= 0 && wanted <= 255) {
        for (int i : cat::OrderedParts(static_cast<int>(wanted))) parts.Add(cat::Part(i).Name(), i);
    }
    parts.Select(0);
    currentPart = -2;
    ApplyPart();
}

void Workbench::ApplyPart() {
    Scope scope(*this, kChangeAll);
    const auto p = static_cast<std::int16_t>(parts.ValueOfSelection());
    if (p == currentPart) return;

    proj::ResetProjectInfo(info);
    currentPart = -1;
    userIspPath.clear();

    currentPart = p;
    const cat::Part part(p);
    info.partIndex = static_cast<std::uint16_t>(part.DeviceCode());
    const std::uint32_t codeSize = part.CodeSize();
    info.serialAddress = codeSize - 16;
    info.optionCount = static_cast<std::uint8_t>(part.Number(cat::key::kOptionCount));
    customSetting = part.Number(cat::key::kCustomSetting);

    for (std::size_t i = 0; i < info.optionCount; ++i) info.optionBytes[i] = 0xFF;
    if (const auto text = part.Text(cat::key::kDefaultOptions)) {
        const auto numbers = cat::ParseNumberList(*text);
        for (std::size_t i = 0; i < numbers.size() && i < info.optionBytes.size(); ++i) {
            info.optionBytes[i] = static_cast<std::uint8_t>(numbers[i]);
        }
    }

    panel.RebuildForPart();

    if (buffer_) {
        buffer_->ClearAll();
        buffer_->SetCapacity(codeSize);
    }

    panel.iapNow.text.clear();
    panel.ispNow.text.clear();
    BlankStatusLine();
    if (log_) log_->Clear();
}

void Workbench::OnSeriesSelected(int position) {
    Scope scope(*this, kChangeSeriesList);
    series.Select(position);
    FillPartList();
}

void Workbench::OnPartSelected(int position) {
    Scope scope(*this, kChangePartList);
    parts.Select(position);
    ApplyPart();
}

bool Workbench::SelectPartByIndex(int partIndex) {
    Scope scope(*this, kChangeSeriesList | kChangePartList);
    series.SelectByValue(cat::Part(partIndex).Series());
    FillPartList();
    if (parts.SelectByValue(partIndex) < 0) {
        // The first part stays applied; keep its entry selected as FillPartList left it.
        parts.Select(0);
        return false;
    }
    currentPart = -2;
    ApplyPart();
    return true;
}

int Workbench::RestorePart(int storedPartNo, std::uint32_t family) {
    Scope scope(*this, kChangeAll);
    auto fallback = [this] {
        series.Select(0);
        FillPartList();
        parts.Select(0);
        currentPart = -2;
        ApplyPart();
    };
    if (storedPartNo == -1) {
        int found = -1;
        for (int i = 1; i <= cat::kMaxPartIndex; ++i) {
            // The family of a part whose record is missing reads 0 like an absent key, so only
            // parts that exist are considered.
            const cat::Part part(i);
            if (part.Exists() && part.FirmwareFamily() == family) {
                found = i;
                break;
            }
        }
        if (found < 0 || !SelectPartByIndex(found)) fallback();
    } else if (storedPartNo > 0 && storedPartNo <= cat::kMaxPartIndex &&
               cat::Part(storedPartNo).Exists()) {
        // A part whose series is not listed cannot be shown: fall back rather than keep the
        // empty part list's non-part.
        if (!SelectPartByIndex(storedPartNo)) fallback();
    } else {
        fallback();
    }
    return currentPart;
}

int Workbench::SelectedPartIndex() const {
    return parts.HasSelection() ? static_cast<int>(parts.ValueOfSelection()) : -1;
}

void Workbench::OnLanguageChanged() {
    Scope scope(*this, kChangeSeriesList | kChangeOptionPanel);
    FillSeriesList();
    panel.FillOptionBoxes(false);
}

// ---- option panel events ----

void Workbench::OnIspChanged(int position) {
    Scope scope(*this, kChangeOptionPanel);
    panel.isp.Select(position);
    panel.OnIspChanged();
}

void Workbench::OnIapChanged(int position) {
    Scope scope(*this, kChangeOptionPanel);
    panel.iap.Select(position);
    panel.OnIapChanged();
}

void Workbench::OnOscChanged(int position) {
    Scope scope(*this, kChangeOptionPanel | kChangeProject);
    panel.osc.Select(position);
    panel.OnOscChanged();
}

void Workbench::OnOptionBoxClicked(int controlId, bool ticked) {
    Scope scope(*this, kChangeOptionPanel | kChangeProject);
    // Only the Set column takes clicks; the Now column is read-only.
    if (controlId < id::kOptionSetFirst || controlId >= id::kOptionSetFirst + id::kOptionRows) {
        return;
    }
    auto& box = panel.setBoxes[static_cast<std::size_t>(controlId - id::kOptionSetFirst)];
    if (!box.enabled) return;
    box.ticked = ticked;
    panel.OnOptionBoxClicked(controlId);
}

void Workbench::OnHwwidlClicked(bool ticked) {
    Scope scope(*this, kChangeOptionPanel);
    panel.hwwidlSet.ticked = ticked;
}

void Workbench::OnHwpsxChanged(int position) {
    Scope scope(*this, kChangeOptionPanel);
    panel.hwpsx.Select(position);
}

void Workbench::ComposeOptionBytes() {
    Scope scope(*this, kChangeProject);
    panel.ComposeOptionBytes();
}

void Workbench::ShowChipOptions(std::span<const std::uint8_t> chipBytes) {
    Scope scope(*this, kChangeOptionPanel);
    panel.ShowChipOptions(chipBytes);
}

// ---- code buffer ----

void Workbench::OnBufferChanged() {
    Scope scope(*this, kChangeStatusLine | kChangeProject);
    if (!buffer_) return;
    info.dataChecksum = static_cast<std::uint16_t>(buffer_->Checksum());
    checksum.text = core::Format("%04X", static_cast<unsigned>(info.dataChecksum));
    info.dataLength = buffer_->Size();
    filesize.text = core::Format("%d (%Xh)", static_cast<int>(info.dataLength),
                                 static_cast<unsigned>(info.dataLength));
}

bool Workbench::IsBufferEmpty() const {
    return !buffer_ || buffer_->Size() == 0;
}

std::uint32_t Workbench::CodeSize() const {
    return cat::Part(currentPart).CodeSize();
}

Areas Workbench::ProgramAreas() const {
    Areas areas;
    const std::uint32_t codeSize = CodeSize();
    const std::uint32_t ispSize = panel.IspSize();
    areas.ispStart = ispSize <= codeSize ? codeSize - ispSize : 0;
    if (info.layout != proj::LAYOUT_AP_ISP || (!IsBufferEmpty() && info.apLength != 0)) {
        areas.apLength = info.apLength;
        areas.ispLength = info.ispLength;
    } else {
        areas.apLength = codeSize;
        areas.ispLength = 0;
    }
    areas.total = areas.apLength + areas.ispLength;
    return areas;
}

void Workbench::BlankStatusLine() {
    Scope scope(*this, kChangeStatusLine);
    checksum.text.clear();
    filesize.text.clear();
    filepath.text.clear();
}

}  // namespace model
