#include "writer/info_block.h"

#include <cstdio>
#include <optional>

#include "catalogue/part_database.h"
#include "workbench/option_codec.h"
#include "workbench/option_panel.h"
#include "writer/offline_record.h"

namespace writer {

namespace {

constexpr std::size_t kOptionOffset = 60;

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[64];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::uint32_t GetBE32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    const std::uint32_t le = GetLE(bytes, offset, 4);
    return (le >> 24) | ((le >> 8) & 0xFF00u) | ((le << 8) & 0xFF0000u) | (le << 24);
}

// The option bytes the block carries, from offset 60 to the end of the block.
std::span<const std::uint8_t> OptionArea(const InfoBlock& block) {
    return std::span<const std::uint8_t>(block).subspan(kOptionOffset);
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
    const std::size_t m = block[59];
    if (GetLE(block, 2, 2) == kRecordFixedLength + m) {
        // 60 + m + 1 is at most 316: always inside the block.
        block[4] = block[kOptionOffset + m];
        block[5] = block[kOptionOffset + m + 1];
    }
    return static_cast<int>(GetLE(block, 4, 2));
}

InfoReadout ReadoutOf(const InfoBlock& block, int partIndex, const InfoLists& lists) {
    InfoReadout out;
    const std::span<const std::uint8_t> b(block);
    const auto options = OptionArea(block);
    const std::optional<cat::Part> part = PartOf(partIndex);

    out.partNo = lists.parts.TextOfValue(partIndex);
    out.filesize = Format("%08X", GetLE(b, 16, 4));
    out.checksum = Format("%04X", GetLE(b, 20, 2));
    out.maxCounter = Format("%u", GetLE(b, 23, 2));
    out.oscList = lists.osc.TextOfValue(block[22]);
    out.currentCounter = Format("%u", GetLE(b, kCounterOffset, 4));

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

    if (block[25] != 0) {
        // The field holds 12 bytes; a NUL among them ends the text.
        const auto* text = reinterpret_cast<const char*>(block.data() + 31);
        std::size_t length = 0;
        while (length < 12 && text[length] != '\0') ++length;
        out.string.assign(text, length);
        const std::uint32_t first = GetLE(b, 43, 4);
        out.number = Format("%08X", first) + (block[26] != 0 ? "+" : "");
        const std::uint32_t start = GetLE(b, 27, 4);
        out.startAddress = Format("%08X", start);
        out.endAddress = Format("%08X", start + 15u);
        const std::uint32_t progress = GetBE32(b, kSerialProgressOffset);
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
