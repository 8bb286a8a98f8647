#include "cli/op_report.h"

#include <cstdio>

#include "cli/json.h"

namespace cli {

std::string OptionBytesLine(std::span<const std::uint8_t> bytes) {
    std::string line = "Option bytes:";
    for (const std::uint8_t b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    return line;
}

std::string OperationJson(const OperationReport& r) {
    std::string out = "{\"operation\":" + JsonString(r.operation);
    const bool opened = !r.outcome.notStarted();
    out += std::string(",\"opened\":") + (opened ? "true" : "false");
    if (!opened && !r.outcome.why().empty()) out += ",\"why\":" + JsonString(r.outcome.why());
    out += ",\"steps\":[";
    for (std::size_t i = 0; i < r.steps.size(); ++i) {
        const writer::StepRecord& step = r.steps[i];
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", step.elapsedMs * 0.001);
        out += i ? "," : "";
        out += "{\"step\":" + JsonString(step.name) +
               ",\"result\":" + JsonString(core::EndingName(step.outcome.ending())) +
               ",\"seconds\":" + seconds;
        if (!step.outcome.why().empty()) out += ",\"why\":" + JsonString(step.outcome.why());
        out += "}";
    }
    out += "],\"option_bytes\":[";
    for (std::size_t i = 0; i < r.optionBytes.size(); ++i) {
        out += (i ? "," : "") + std::to_string(r.optionBytes[i]);
    }
    out += "],\"log\":[";
    for (std::size_t i = 0; i < r.logLines.size(); ++i) {
        out += (i ? "," : "") + JsonString(r.logLines[i]);
    }
    out += "]";
    if (r.serial) out += ",\"serial\":" + std::to_string(*r.serial);
    out += ",\"exit_status\":" + std::to_string(r.exitStatus) + "}";
    return out;
}

}  // namespace cli
