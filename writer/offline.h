// Off-line mode on the writer: the download of the code block and the information record, and
// the readout of what the writer holds.
#pragma once

#include <functional>

#include "core/outcome.h"
#include "writer/info_block.h"
#include "writer/writer.h"

namespace writer {

// Download: Write Code of the code block, then Write Info of the record when it passed. Passed
// when both passed. An AP or ISP range beyond the part's code space is refused before anything
// is sent ("Write Code => Fail !" and the reason); after a Write Info that failed behind a passed
// Write Code the writer is given a record that stops stand-alone runs where it takes one, and
// the log says what the writer holds.
core::Outcome DownloadOffline(Writer& writer);

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
