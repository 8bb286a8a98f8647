// Off-line mode on the writer: the download of the code block and the information record, and
// the readout of what the writer holds.
#pragma once

#include <functional>

#include "writer/info_block.h"
#include "writer/writer.h"

namespace writer {

// The image the download never grows beyond (far above any chip's code space), so a damaged
// project's lengths cannot ask for gigabytes.
inline constexpr std::uint64_t kMaxOfflineImage = 1u << 24;

// Download: Write Code of the code block, then Write Info of the record when it passed. Returns
// true when both passed; false when turned away, stopped, or a command failed.
bool DownloadOffline(Writer& writer);

struct ReadInfoOptions {
    // Shows the Information dialog for the block (modally); unset, nothing is shown.
    std::function<void(const InfoBlock& block, const InfoReadout& readout)> show;
    // Put the log's text back after a part switch cleared it. A terminal, whose lines stay on
    // the screen anyway, turns this off.
    bool restoreLog = true;
};

// Read Info: the 512-byte block, the switch of the main window to the block's part, and the
// Information dialog. Returns true when the block was read.
bool ReadInfo(Writer& writer, const ReadInfoOptions& options);

}  // namespace writer
