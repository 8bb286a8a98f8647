#include "writer/info_block.h"

#include <optional>

#include "catalogue/part_database.h"
#include "core/bytes.h"
#include "workbench/option_codec.h"
#include "workbench/option_panel.h"
#include "writer/offline_record.h"

namespace writer {

namespace {

using core::Format;
using record::Get;

// The option bytes the block carries, from the record's option bytes to the end of the block.
std::span<const std::uint8_t> OptionArea(const InfoBlock& block) {
    return std::span<const std::uint8_t>(block).subspan(record::kOptionBytes);
}

// The record of the part the block names, when there is one.
std::optional<cat::Part> PartOf(int partIndex) {
    if (partIndex < 0 || partIndex > cat::kMaxPartIndex) return std::nullopt;
    cat::Part part(partIndex);
    if (!part.Exists()) return std::nullopt;
    return part;
}

}  // namespace

int ResolveInfoPartIndex(InfoBlock& block) {
    const std::size_t m = Get(block, record::kOptionCount);
    if (Get(block, record::kLength) == record::kFixedLength + m) {
        // 60 + m + 1 is at most 316: always inside the block.
        record::Put(block, record::kPartIndex, Get(block, record::PartIndexAfterOptions(m)));
    }
    return static_cast<int>(Get(block, record::kPartIndex));
}

InfoReadout ReadoutOf(const InfoBlock& block, int partIndex, const InfoLists& lists) {
    InfoReadout out;
    const std::span<const std::uint8_t> b(block);
    const auto options = OptionArea(block);
    const std::optional<cat::Part> part = PartOf(partIndex);

    out.partNo = lists.parts.TextOfValue(partIndex);
    out.filesize = Format("%08X", Get(b, record::kApLength));
    out.checksum = Format("%04X", Get(b, record::kCodeChecksum));
    out.maxCounter = Format("%u", Get(b, record::kMaxCounter));
    out.oscList = lists.osc.TextOfValue(Get(b, record::kOscIndex));
    out.currentCounter = Format("%u", core::GetLE(b, kCounterOffset, 4));

    std::int64_t ispSize = 0;
    if (part) {
        if (const auto field = part->Field(cat::key::kIspField)) {
            const std::uint32_t v = model::ReadOptionWord(options, field->byteIndex);
            const auto position = static_cast<int>(model::IspPositionFromWord(v, *field));
            // A position beyond the list shows nothing and counts as no ISP space.
            out.ispSpace = lists.isp.Text(position);
            ispSize = lists.isp.Value(position);
        }
        if (const auto field = part->Field(cat::key::kIapField)) {
            const std::uint32_t v = model::ReadOptionWord(options, field->byteIndex);
            const std::int64_t rest = std::int64_t{part->CodeSize()} - ispSize;
            // A page above the free space counts as no IAP area.
            const std::int64_t size = model::ChipIapBytesFromWord(v, field->mask, rest).value_or(0);
            out.iapSpace = model::HalfKLabel(size / model::kIapStep);
        }
        for (int i = 0; i < kInfoOptionRows; ++i) {
            auto& row = out.options[static_cast<std::size_t>(i)];
            if (const auto bit = part->OptionBitAt(i)) {
                row.name = bit->name;
                // byteIndex is 8-bit: 60 + 255 is inside the block.
                row.ticked = (options[bit->byteIndex] & bit->mask) == 0;
            }
        }
    }

    if (Get(b, record::kSerialEnabled) != 0) {
        // A NUL among the field's bytes ends the text.
        const auto* text =
            reinterpret_cast<const char*>(block.data() + record::kSerialString.offset);
        const auto width = static_cast<std::size_t>(record::kSerialString.width);
        std::size_t length = 0;
        while (length < width && text[length] != '\0') ++length;
        out.string.assign(text, length);
        const std::uint32_t first = Get(b, record::kSerialNumber);
        out.number = Format("%08X", first) + (Get(b, record::kAutoIncrement) != 0 ? "+" : "");
        const std::uint32_t start = Get(b, record::kSerialAddress);
        out.startAddress = Format("%08X", start);
        out.endAddress = Format("%08X", start + 15u);
        const std::uint32_t progress = core::GetBE(b, kSerialProgressOffset, 4);
        out.currentSerialNum = Format("%08X", progress == 0 ? first : progress + first - 1u);
    }
    return out;
}

std::span<const InfoField> InfoFields() {
    static const InfoField kFields[] = {
        {1034, "PartNo.", &InfoReadout::partNo},
        {1039, "Filesize", &InfoReadout::filesize},
        {1040, "Checksum", &InfoReadout::checksum},
        {1027, "ISP Space", &InfoReadout::ispSpace},
        {1028, "IAP Space", &InfoReadout::iapSpace},
        {1041, "MaxCounter", &InfoReadout::maxCounter},
        {1029, "OSC List", &InfoReadout::oscList},
        {1051, "String", &InfoReadout::string},
        {1052, "Number", &InfoReadout::number},
        {1053, "Start Address", &InfoReadout::startAddress},
        {1054, "End Address", &InfoReadout::endAddress},
        {1059, "Current Counter", &InfoReadout::currentCounter},
        {1060, "Current Serial Num", &InfoReadout::currentSerialNum},
    };
    return kFields;
}

}  // namespace writer
