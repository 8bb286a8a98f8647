#include "cli/session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "catalogue/part_database.h"

namespace cli {

void StdoutLog::Write(std::string_view text) {
    if (keepLines) return;
    if (beforeWrite) beforeWrite();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void StdoutLog::EndLine() {
    if (partial_.empty()) return;
    if (keepLines) lines.push_back(partial_);
    Write("\n");
    partial_.clear();
}

void StdoutLog::Append(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    if (out.empty()) return;
    Write(out);
    for (const char c : out) {
        if (c != '\n') {
            partial_ += c;
            continue;
        }
        if (keepLines) lines.push_back(partial_);
        partial_.clear();
    }
}

void StderrQuestions::Show(std::string_view caption, std::string_view text) {
    if (!caption.empty())
        std::fprintf(stderr, "%.*s: ", static_cast<int>(caption.size()), caption.data());
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}
void StderrQuestions::Inform(std::string_view caption, std::string_view text) {
    Show(caption, text);
}
bool StderrQuestions::AskOkCancel(std::string_view caption, std::string_view text) {
    Show(caption, text);
    return true;
}
bool StderrQuestions::AskYesNo(std::string_view caption, std::string_view text) {
    Show(caption, text);
    return true;
}

std::optional<std::string> OptionDialogs::OpenProgramFile() {
    if (open.empty()) return std::nullopt;
    return open;
}

void OptionDialogs::CustomSetting(std::uint8_t& id, std::string& text) {
    if (customId) id = *customId;
    if (stringId) text = stringId->substr(0, 16);
}

namespace {

std::optional<std::uint32_t> ParseUnsigned(const std::string& text, int base) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, base);
    if (errno || *end || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

bool HasHexPrefix(const std::string& text) {
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

}  // namespace

std::optional<std::uint32_t> ParseNumberArg(const std::string& text) {
    if (HasHexPrefix(text)) return ParseUnsigned(text.substr(2), 16);
    return ParseUnsigned(text, 10);
}

std::optional<std::uint32_t> ParseHexArg(const std::string& text) {
    if (HasHexPrefix(text)) return ParseUnsigned(text.substr(2), 16);
    return ParseUnsigned(text, 16);
}

int Fail(const char* what, const std::string& arg) {
    std::fprintf(stderr, "writer-cli: %s: %s\n", what, arg.c_str());
    return 1;
}

int UsageError(const char* help, const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "writer-cli: %s\n\n", why.c_str());
    std::fputs(help, stderr);
    return 2;
}

Session::Session() {
    bench.Attach(&buffer, &log);
    buffer.onChange = [this] { bench.OnBufferChanged(); };
    bench.FillSeriesList();
}

int Session::SelectPart(std::uint32_t partIndex) {
    if (partIndex > static_cast<std::uint32_t>(cat::kMaxPartIndex) ||
        !cat::Part(static_cast<int>(partIndex)).Exists()) {
        return Fail("no such part", std::to_string(partIndex));
    }
    if (!bench.SelectPartByIndex(static_cast<int>(partIndex)))
        return Fail("part is not listed", std::to_string(partIndex));
    return 0;
}

int StepArity(const std::string& a) {
    if (a == "--load-at") return 2;
    static const char* const kOneValue[] = {"--load",           "--isp",
                                            "--isp-space",      "--iap-space",
                                            "--option",         "--osc",
                                            "--auto",           "--max-counter",
                                            "--serial-enable",  "--auto-increment",
                                            "--serial-address", "--serial-string",
                                            "--serial-number",  "--custom-id",
                                            "--string-id"};
    for (const char* name : kOneValue) {
        if (a == name) return 1;
    }
    return 0;
}

int ApplyStep(Session& s, const std::vector<std::string>& args, std::size_t at) {
    model::Workbench& bench = s.bench;
    const std::string& step = args[at];
    const std::string& value = args[at + 1];
    if (step == "--load" || step == "--load-at") {
        std::string path = value;
        s.dialogs.placeAddress = 0;
        if (step == "--load-at") {
            const auto address = ParseHexArg(value);
            if (!address) return Fail("bad address", value);
            s.dialogs.placeAddress = *address;
            path = args[at + 2];
        }
        return proj::LoadFileAtStartup(bench, path, s.dialogs, s.questions).passed() ? 0 : 1;
    }
    if (step == "--isp") {
        s.dialogs.isp = value == "builtin" ? proj::IspChoice{proj::ISP_SRC_BUILTIN, {}}
                                           : proj::IspChoice{proj::ISP_SRC_USER, value};
        return proj::InsertIspButton(bench, s.dialogs).passed() ? 0 : 1;
    }
    if (step == "--isp-space" || step == "--iap-space") {
        model::ListModel& list = step == "--isp-space" ? bench.panel.isp : bench.panel.iap;
        const auto pos = ParseNumberArg(value);
        if (!list.enabled || !pos || *pos >= static_cast<std::uint32_t>(list.Count()))
            return Fail("no such list position", step + " " + value);
        if (step == "--isp-space") {
            bench.OnIspChanged(static_cast<int>(*pos));
        } else {
            bench.OnIapChanged(static_cast<int>(*pos));
        }
        return 0;
    }
    if (step == "--option") {
        const auto eq = value.find('=');
        const std::string name = value.substr(0, eq);
        const std::string state = eq == std::string::npos ? "" : value.substr(eq + 1);
        if (state != "on" && state != "off") return Fail("expected NAME=on|off", value);
        model::CheckModel* box = nullptr;
        for (auto& set : bench.panel.setBoxes) {
            if (set.enabled && set.text == name) box = &set;
        }
        if (!box) return Fail("the part has no option", name);
        bench.OnOptionBoxClicked(box->id, state == "on");
        return 0;
    }
    if (step == "--osc") {
        const auto osc = ParseNumberArg(value);
        const int pos = osc ? bench.panel.osc.SelectByValue(*osc) : -1;
        if (!bench.panel.osc.enabled || pos < 0) return Fail("no such OSC List value", value);
        bench.OnOscChanged(pos);
        return 0;
    }
    if (step == "--custom-id") {
        const auto id = ParseHexArg(value);
        if (!id || *id > 0xFF) return Fail("bad custom id", value);
        s.dialogs.customId = static_cast<std::uint8_t>(*id);
        return 0;
    }
    if (step == "--string-id") {
        s.dialogs.stringId = value;
        return 0;
    }
    if (step == "--serial-string") {
        // Never cut: a character cut in half would be stored.
        if (value.size() > bench.info.serialString.size())
            return Fail("longer than 12 bytes", step + " " + value);
        bench.info.serialString.fill(' ');
        std::copy(value.begin(), value.end(), bench.info.serialString.begin());
        return 0;
    }
    const bool hex = step == "--serial-address" || step == "--serial-number";
    const auto number = hex ? ParseHexArg(value) : ParseNumberArg(value);
    if (!number) return Fail("bad number", step + " " + value);
    const std::uint32_t n = *number;
    auto& info = bench.info;
    if (step == "--auto" && n <= 0xFF) {
        info.autoSteps = static_cast<std::uint8_t>(n);
    } else if (step == "--max-counter" && n <= 0xFFFF) {
        info.maxCounter = static_cast<std::uint16_t>(n);
    } else if (step == "--serial-enable" && n <= 1) {
        info.serialEnabled = static_cast<std::uint8_t>(n);
    } else if (step == "--auto-increment" && n <= 1) {
        info.autoIncrement = static_cast<std::uint8_t>(n);
    } else if (step == "--serial-address") {
        info.serialAddress = n;
    } else if (step == "--serial-number") {
        info.serialNumber = n;
    } else {
        return Fail("value out of range", step + " " + value);
    }
    return 0;
}

}  // namespace cli
