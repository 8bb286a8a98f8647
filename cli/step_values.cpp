#include "cli/step_values.h"

#include <cstdio>

#include "cli/session.h"
#include "project/project_info.h"
#include "workbench/workbench.h"
#include "writer/offline_config.h"

namespace cli {

namespace {

enum class Kind { kNumber, kHex };

struct Rule {
    const char* step;
    Kind kind;
    std::uint32_t max;
    const char* what;
};

// Steps whose value is one number: its kind and the largest value the step takes.
constexpr Rule kNumberSteps[] = {
    {"--max-counter", Kind::kNumber, writer::offline::kMaxCounterLimit, "a count from 0 to 65535"},
    {"--serial-enable", Kind::kNumber, 1, "0 or 1"},
    {"--auto-increment", Kind::kNumber, 1, "0 or 1"},
    {"--auto", Kind::kNumber, 0xFF, "a mask from 0 to 0xFF"},
    {"--serial-address", Kind::kHex, 0xFFFFFFFFu, "a hexadecimal address of 8 digits"},
    {"--serial-number", Kind::kHex, 0xFFFFFFFFu, "a hexadecimal number of 8 digits"},
    {"--load-at", Kind::kHex, 0xFFFFFFFFu, "a hexadecimal address of 8 digits"},
    {"--custom-id", Kind::kHex, 0xFF, "a hexadecimal byte"},
    {"--isp-space", Kind::kNumber, 0xFFFFFFFFu, "a list position"},
    {"--iap-space", Kind::kNumber, 0xFFFFFFFFu, "a list position"},
    {"--osc", Kind::kNumber, 0xFFFFFFFFu, "an OSC List value"},
};

}  // namespace

std::string StepValueProblem(const std::string& step, const std::string& value) {
    for (const Rule& rule : kNumberSteps) {
        if (step != rule.step) continue;
        const auto n = rule.kind == Kind::kHex ? ParseHexArg(value) : ParseNumberArg(value);
        if (n && *n <= rule.max) return {};
        return step + " " + value + ": expected " + rule.what;
    }
    if (step == "--serial-string" && value.size() > proj::kSerialStringLength)
        return "--serial-string '" + value + "' is longer than 12 bytes";
    if (step == "--option") {
        const auto eq = value.find('=');
        const std::string state = eq == std::string::npos ? "" : value.substr(eq + 1);
        if (state != "on" && state != "off") return "--option " + value + ": expected NAME=on|off";
    }
    return {};
}

std::string StartAddressProblem(const model::Workbench& bench, const std::string& value) {
    const auto n = ParseHexArg(value);
    const std::uint32_t limit = writer::offline::StartAddressLimit(bench.CodeSize());
    if (!n || *n <= limit) return {};
    return "--serial-address " + value + " is above " + writer::offline::Hex8(limit) +
           ", the part's code size less 16";
}

void CorrectStartAddress(model::Workbench& bench) {
    const std::uint32_t held = bench.info.serialAddress;
    const auto edit = writer::offline::CorrectStartAddress(
        bench.info, writer::offline::StartAddressLimit(bench.CodeSize()));
    if (!edit.correction) return;
    std::fprintf(stderr,
                 "writer-cli: the serial start address %s is above %s, the part's code size less "
                 "16; %s is used\n",
                 writer::offline::Hex8(held).c_str(), edit.correction->c_str(),
                 edit.correction->c_str());
}

}  // namespace cli
