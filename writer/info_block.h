// The writer's 512-byte information block: the off-line record it holds, its counters, and the
// texts the Information dialog and `writer-cli offline info` show for it. Every read stays
// inside the block whatever its bytes say.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "workbench/list_model.h"

namespace writer {

inline constexpr std::size_t kInfoBlockSize = 512;
inline constexpr std::size_t kCounterOffset = 504;         // little-endian
inline constexpr std::size_t kSerialProgressOffset = 508;  // big-endian
inline constexpr int kInfoOptionRows = 24;

using InfoBlock = std::array<std::uint8_t, kInfoBlockSize>;

// When the record's length field matches its option count, the part index stored after the
// option bytes is copied over offset 4. Returns the 16-bit value at offset 4 afterwards.
int ResolveInfoPartIndex(InfoBlock& block);

struct InfoOptionRow {
    std::string name;
    bool ticked = false;
};

// Every text of the Information dialog.
struct InfoReadout {
    std::string partNo, filesize, checksum, ispSpace, iapSpace, maxCounter, oscList;
    std::string string, number, startAddress, endAddress, currentCounter, currentSerialNum;
    std::array<InfoOptionRow, kInfoOptionRows> options;
};

// The main window's lists the readout takes its texts from.
struct InfoLists {
    const model::ListModel& parts;
    const model::ListModel& isp;
    const model::ListModel& osc;
};

// The texts for `block`, whose part index is `partIndex` (ResolveInfoPartIndex). A part index
// that names no part record leaves the part's fields empty.
InfoReadout ReadoutOf(const InfoBlock& block, int partIndex, const InfoLists& lists);

// The labels in dialog order: language key, English text, and the readout's field.
struct InfoField {
    int key;
    const char* english;
    std::string InfoReadout::*text;
};
std::span<const InfoField> InfoFields();

}  // namespace writer
