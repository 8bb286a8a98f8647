// What writer-cli op prints after the log: the option bytes read, and with --json the whole
// result as one object for scripts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/outcome.h"
#include "writer/writer.h"

namespace cli {

// "Option bytes: 9F FF ..." (without a line end).
std::string OptionBytesLine(std::span<const std::uint8_t> bytes);

struct OperationReport {
    std::string_view operation;
    core::Outcome outcome;  // of the operation as a whole
    std::span<const writer::StepRecord> steps;
    std::span<const std::uint8_t> optionBytes;
    std::span<const std::string> logLines;
    std::optional<std::uint32_t> serial;  // the number the chip was given
    int exitStatus = 0;
};
// One JSON object on one line: operation, whether the writer was opened (and why not, when
// known), each step with its result and seconds, the option bytes read, the log's lines, the
// serial number (when one was given) and the exit status.
std::string OperationJson(const OperationReport& report);

}  // namespace cli
