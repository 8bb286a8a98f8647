#include "cli/step_values.h"

#include <cstdio>

#include "cli/session.h"
#include "project/project_info.h"
#include "workbench/file_actions.h"
#include "workbench/workbench.h"
#include "writer/offline_config.h"

namespace cli {

namespace {

// How a step's first value reads.
enum class Kind {
    kText,     // anything
    kNumber,   // decimal, or hexadecimal after 0x
    kDecimal,  // decimal digits only, as the dialog's number fields take
    kHex,      // hexadecimal, 0x optional
};

using Apply = int (*)(Session&, const std::string* values);  // 0 passed, 1 failed

struct Step {
    const char* name;
    int arity;
    Kind kind;
    std::uint32_t max;
    const char* what;  // the values a number step takes, for the refusal
    Apply apply;
};

std::optional<std::uint32_t> Read(Kind kind, const std::string& value) {
    switch (kind) {
        case Kind::kHex:
            return ParseHexArg(value);
        case Kind::kDecimal:
            if (value.size() > 1 && (value[1] == 'x' || value[1] == 'X')) return std::nullopt;
            return ParseNumberArg(value);
        case Kind::kNumber:
        case Kind::kText:
            break;
    }
    return ParseNumberArg(value);
}

int Passed(const core::Outcome& outcome) {
    return outcome.passed() ? 0 : 1;
}

int Load(Session& s, std::uint32_t place, const std::string& path) {
    s.dialogs.placeAddress = place;
    return Passed(proj::LoadFileAtStartup(s.bench, path, s.dialogs, s.questions));
}

int SelectSpace(Session& s, const std::string& step, const std::string& value) {
    const bool isp = step == "--isp-space";
    const model::ListModel& list = isp ? s.bench.panel.isp : s.bench.panel.iap;
    const std::uint32_t pos = *ParseNumberArg(value);
    if (!list.enabled || pos >= static_cast<std::uint32_t>(list.Count()))
        return Fail("no such list position", step + " " + value);
    isp ? s.bench.OnIspChanged(static_cast<int>(pos)) : s.bench.OnIapChanged(static_cast<int>(pos));
    return 0;
}

int SetOption(Session& s, const std::string& value) {
    const auto eq = value.find('=');
    const std::string name = value.substr(0, eq);
    model::CheckModel* box = nullptr;
    for (auto& set : s.bench.panel.setBoxes) {
        if (set.enabled && set.text == name) box = &set;
    }
    if (!box) return Fail("the part has no option", name);
    s.bench.OnOptionBoxClicked(box->id, value.substr(eq + 1) == "on");
    return 0;
}

int SetOsc(Session& s, const std::string& value) {
    const int pos = s.bench.panel.osc.SelectByValue(*ParseNumberArg(value));
    if (!s.bench.panel.osc.enabled || pos < 0) return Fail("no such OSC List value", value);
    s.bench.OnOscChanged(pos);
    return 0;
}

namespace off = writer::offline;

constexpr std::uint32_t kAny = 0xFFFFFFFFu;

// The off-line fields go through the Off-Line Mode dialog's setters.
constexpr Step kSteps[] = {
    {"--load", 1, Kind::kText, 0, "",
     [](Session& s, const std::string* v) { return Load(s, 0, v[0]); }},
    {"--load-at", 2, Kind::kHex, kAny, "a hexadecimal address of 8 digits",
     [](Session& s, const std::string* v) { return Load(s, *ParseHexArg(v[0]), v[1]); }},
    {"--isp", 1, Kind::kText, 0, "",
     [](Session& s, const std::string* v) {
         s.dialogs.isp = v[0] == "builtin" ? proj::IspChoice{proj::ISP_SRC_BUILTIN, {}}
                                           : proj::IspChoice{proj::ISP_SRC_USER, v[0]};
         return Passed(proj::InsertIspButton(s.bench, s.dialogs));
     }},
    {"--isp-space", 1, Kind::kNumber, kAny, "a list position",
     [](Session& s, const std::string* v) { return SelectSpace(s, "--isp-space", v[0]); }},
    {"--iap-space", 1, Kind::kNumber, kAny, "a list position",
     [](Session& s, const std::string* v) { return SelectSpace(s, "--iap-space", v[0]); }},
    {"--option", 1, Kind::kText, 0, "",
     [](Session& s, const std::string* v) { return SetOption(s, v[0]); }},
    {"--osc", 1, Kind::kNumber, kAny, "an OSC List value",
     [](Session& s, const std::string* v) { return SetOsc(s, v[0]); }},
    {"--auto", 1, Kind::kNumber, 0xFF, "a mask from 0 to 0xFF",
     [](Session& s, const std::string* v) {
         s.bench.info.autoSteps = static_cast<std::uint8_t>(*ParseNumberArg(v[0]));
         return 0;
     }},
    {"--max-counter", 1, Kind::kDecimal, off::kMaxCounterLimit, "a count from 0 to 65535",
     [](Session& s, const std::string* v) {
         off::SetMaxCounter(s.bench.info, v[0]);
         return 0;
     }},
    {"--serial-enable", 1, Kind::kNumber, 1, "0 or 1",
     [](Session& s, const std::string* v) {
         off::SetSerialEnabled(s.bench.info, *ParseNumberArg(v[0]) == 1);
         return 0;
     }},
    {"--auto-increment", 1, Kind::kNumber, 1, "0 or 1",
     [](Session& s, const std::string* v) {
         off::SetAutoIncrement(s.bench.info, *ParseNumberArg(v[0]) == 1);
         return 0;
     }},
    {"--serial-address", 1, Kind::kHex, kAny, "a hexadecimal address of 8 digits",
     [](Session& s, const std::string* v) {
         off::SetStartAddress(s.bench.info, v[0], off::StartAddressLimit(s.bench.CodeSize()));
         return 0;
     }},
    {"--serial-string", 1, Kind::kText, 0, "",
     [](Session& s, const std::string* v) {
         off::SetSerialString(s.bench.info, v[0]);
         return 0;
     }},
    {"--serial-number", 1, Kind::kHex, kAny, "a hexadecimal number of 8 digits",
     [](Session& s, const std::string* v) {
         off::SetSerialNumber(s.bench.info, v[0]);
         return 0;
     }},
    {"--custom-id", 1, Kind::kHex, 0xFF, "a hexadecimal byte",
     [](Session& s, const std::string* v) {
         s.dialogs.customId = static_cast<std::uint8_t>(*ParseHexArg(v[0]));
         return 0;
     }},
    {"--string-id", 1, Kind::kText, 0, "",
     [](Session& s, const std::string* v) {
         s.dialogs.stringId = v[0];
         return 0;
     }},
};

const Step* FindStep(const std::string& name) {
    for (const Step& step : kSteps) {
        if (name == step.name) return &step;
    }
    return nullptr;
}

}  // namespace

int StepArity(const std::string& arg) {
    const Step* step = FindStep(arg);
    return step ? step->arity : 0;
}

std::string StepValueProblem(const std::string& name, const std::string& value) {
    const Step* step = FindStep(name);
    if (!step) return {};
    if (step->kind != Kind::kText) {
        const auto n = Read(step->kind, value);
        if (n && *n <= step->max) return {};
        return name + " " + value + ": expected " + step->what;
    }
    if (name == "--serial-string" && value.size() > proj::kSerialStringLength)
        return "--serial-string '" + value + "' is longer than 12 bytes";
    if (name == "--option") {
        const auto eq = value.find('=');
        const std::string state = eq == std::string::npos ? "" : value.substr(eq + 1);
        if (state != "on" && state != "off") return "--option " + value + ": expected NAME=on|off";
    }
    return {};
}

std::string StartAddressProblem(const model::Workbench& bench, const std::string& value) {
    const auto n = ParseHexArg(value);
    const std::uint32_t limit = off::StartAddressLimit(bench.CodeSize());
    if (!n || *n <= limit) return {};
    return "--serial-address " + value + " is above " + off::Hex8(limit) +
           ", the part's code size less 16";
}

void CorrectStartAddress(model::Workbench& bench) {
    const std::uint32_t held = bench.info.serialAddress;
    const auto edit =
        off::CorrectStartAddress(bench.info, off::StartAddressLimit(bench.CodeSize()));
    if (!edit.correction) return;
    std::fprintf(stderr,
                 "writer-cli: the serial start address %s is above %s, the part's code size less "
                 "16; %s is used\n",
                 off::Hex8(held).c_str(), edit.correction->c_str(), edit.correction->c_str());
}

int ApplySteps(Session& session, const std::vector<std::string>& args,
               std::span<const std::size_t> at, const char* help) {
    for (const std::size_t i : at) {
        // Checked again here: the steps read their values as checked ones.
        std::string why = StepValueProblem(args[i], args[i + 1]);
        if (why.empty() && args[i] == "--serial-address")
            why = StartAddressProblem(session.bench, args[i + 1]);
        if (!why.empty()) return UsageError(help, why);
        if (FindStep(args[i])->apply(session, &args[i + 1]) != 0) return 1;
    }
    return 0;
}

}  // namespace cli
