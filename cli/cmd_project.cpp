// writer-cli project show FILE.qrx [--json]
// writer-cli project build --part INDEX [STEP ...] -o OUT.qrx
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/part_database.h"
#include "cli/command.h"
#include "cli/json.h"
#include "project/file_io.h"
#include "project/qrx_file.h"
#include "workbench/file_actions.h"
#include "workbench/vector_code_buffer.h"
#include "workbench/workbench.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli project show FILE.qrx [--json]\n"
    "       writer-cli project build --part INDEX [STEP ...] -o OUT.qrx\n\n"
    "show: reads the project's trailer (without questions) and prints every field of the\n"
    "  project record; a refused file exits with status 2.\n"
    "build: selects the part, applies the steps in the order given, and saves the project as\n"
    "  Save *.QRX does. A failing step prints its log lines, writes nothing and exits with 1.\n"
    "  steps: --load FILE            load as \"AP (Code)\"\n"
    "         --load-at HEXADDR FILE load as \"IAP (Data)\" at that address\n"
    "         --isp builtin | --isp FILE\n"
    "         --isp-space POS | --iap-space POS   list positions\n"
    "         --option NAME=on|off   tick or untick an option's Set box\n"
    "         --osc VALUE            OSC List entry by value\n"
    "         --auto MASK  --max-counter N  --serial-enable 0|1  --auto-increment 0|1\n"
    "         --serial-address HEX  --serial-string TEXT  --serial-number HEX\n"
    "         --custom-id HEX  --string-id TEXT   answers of the Custom Setting dialog\n";

// The message log on standard output: "\r\n" becomes a line break, other bytes stay.
class StdoutLog : public core::MessageSink {
  public:
    void Clear() override {}
    void Append(std::string_view text) override {
        std::string out;
        out.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
            out += text[i];
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
    }
};

// Message boxes go to standard error; questions are answered Yes.
class StderrQuestions : public core::Questions {
  public:
    void Inform(std::string_view caption, std::string_view text) override { Show(caption, text); }
    bool AskOkCancel(std::string_view caption, std::string_view text) override {
        Show(caption, text);
        return true;
    }
    bool AskYesNo(std::string_view caption, std::string_view text) override {
        Show(caption, text);
        return true;
    }

  private:
    static void Show(std::string_view caption, std::string_view text) {
        if (!caption.empty())
            std::fprintf(stderr, "%.*s: ", static_cast<int>(caption.size()), caption.data());
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
};

// Records the reader's refusal instead of showing it.
class RecordingQuestions : public core::Questions {
  public:
    void Inform(std::string_view, std::string_view) override {}
    bool AskOkCancel(std::string_view, std::string_view) override { return true; }
    bool AskYesNo(std::string_view, std::string_view) override { return true; }
};

// Answers the file dialogs from the command line.
class OptionDialogs : public proj::FileDialogs {
  public:
    std::uint32_t placeAddress = 0;
    std::optional<proj::IspChoice> isp;
    std::optional<std::uint8_t> customId;
    std::optional<std::string> stringId;
    std::string output;

    std::optional<std::string> OpenProgramFile() override { return std::nullopt; }
    std::optional<std::uint32_t> SelectArea(std::uint32_t) override { return placeAddress; }
    std::optional<std::string> SaveBufferFile() override { return std::nullopt; }
    std::optional<std::string> SaveProjectFile() override { return output; }
    void CustomSetting(std::uint8_t& id, std::string& text) override {
        if (customId) id = *customId;
        if (stringId) text = stringId->substr(0, 16);
    }
    std::optional<proj::IspChoice> InsertIsp() override { return isp; }
};

std::optional<std::uint32_t> ParseUnsigned(const std::string& text, int base) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, base);
    if (errno || *end || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// Decimal, or hexadecimal with 0x.
std::optional<std::uint32_t> ParseNumberArg(const std::string& text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ParseUnsigned(text.substr(2), 16);
    return ParseUnsigned(text, 10);
}

std::optional<std::uint32_t> ParseHexArg(const std::string& text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ParseUnsigned(text.substr(2), 16);
    return ParseUnsigned(text, 16);
}

// Names in a project are 8-bit text from any code page; JSON wants UTF-8. Valid UTF-8 stays as
// it is, every other byte stands for the character of the same number (Latin-1).
std::string JsonText(std::string_view text) {
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        std::size_t len = p[i] < 0x80                    ? 1
                          : p[i] >= 0xC2 && p[i] <= 0xDF ? 2
                          : p[i] >= 0xE0 && p[i] <= 0xEF ? 3
                          : p[i] >= 0xF0 && p[i] <= 0xF4 ? 4
                                                         : 0;
        for (std::size_t k = 1; k < len; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80) len = 0;
        }
        // Overlong three- and four-byte forms, surrogates and code points above U+10FFFF.
        if (len == 3 && ((p[i] == 0xE0 && p[i + 1] < 0xA0) || (p[i] == 0xED && p[i + 1] >= 0xA0)))
            len = 0;
        if (len == 4 && ((p[i] == 0xF0 && p[i + 1] < 0x90) || (p[i] == 0xF4 && p[i + 1] >= 0x90)))
            len = 0;
        if (len == 0) {
            out += static_cast<char>(0xC0 | (p[i] >> 6));
            out += static_cast<char>(0x80 | (p[i] & 0x3F));
            ++i;
        } else {
            out.append(text.substr(i, len));
            i += len;
        }
    }
    return cli::JsonString(out);
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    static const char* const kDigits = "0123456789ABCDEF";
    std::string out;
    for (auto b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

int Show(const std::vector<std::string>& args) {
    bool json = false;
    std::string path;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (path.empty()) {
            path = args[i];
        } else {
            std::fputs(kHelp, stderr);
            return 2;
        }
    }
    if (path.empty()) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    const proj::FileContent file = proj::ReadWholeFile(path);
    if (file.status != proj::ReadStatus::Ok) {
        std::fprintf(stderr, "writer-cli: cannot read %s\n", path.c_str());
        return 1;
    }
    proj::ProjectInfo info;
    RecordingQuestions quiet;
    const proj::TrailerReadResult r = proj::ReadProjectTrailer(info, file.bytes, false, &quiet);
    if (!r.accepted) {
        const std::string text(proj::EnglishMessage(r.errorKey));
        if (json) {
            std::printf("{\"error\": %u, \"message\": %s}\n", r.errorKey,
                        cli::JsonString(text).c_str());
        } else {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
        return 2;
    }
    const std::span<const std::uint8_t> options(info.optionBytes.data(), info.optionCount);
    struct Field {
        const char* name;
        std::optional<std::uint64_t> number;
        std::string text;
    };
    const std::vector<Field> fields = {
        {"sourceName", {}, std::string(info.SourceName())},
        {"dataLength", info.dataLength, {}},
        {"dataChecksum", info.dataChecksum, {}},
        {"partIndex", info.partIndex, {}},
        {"layout", info.layout, {}},
        {"optionCount", info.optionCount, {}},
        {"optionBytes", {}, Hex(options)},
        {"autoSteps", info.autoSteps, {}},
        {"ispSource", info.ispSource, {}},
        {"apLength", info.apLength, {}},
        {"ispLength", info.ispLength, {}},
        {"ispName", {}, std::string(info.IspName())},
        {"oscIndex", info.oscIndex, {}},
        {"maxCounter", info.maxCounter, {}},
        {"serialEnabled", info.serialEnabled, {}},
        {"autoIncrement", info.autoIncrement, {}},
        {"serialAddress", info.serialAddress, {}},
        {"serialString", {}, std::string(info.SerialString())},
        {"serialNumber", info.serialNumber, {}},
        {"saveStamp", {}, Hex(info.saveStamp)},
        {"customFlag", info.customFlag, {}},
        {"formatVersion", info.formatVersion, {}},
        {"formatKind", info.formatKind, {}},
        {"trailerChecksum", info.trailerChecksum, {}},
        {"trailerLength", info.trailerLength, {}},
    };
    if (json) {
        std::string out = "{";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i) out += ", ";
            out += cli::JsonString(fields[i].name) + ": ";
            out += fields[i].number ? std::to_string(*fields[i].number) : JsonText(fields[i].text);
        }
        std::printf("%s}\n", out.c_str());
    } else {
        for (const auto& f : fields) {
            if (f.number) {
                std::printf("%-16s %llu (0x%llX)\n", f.name,
                            static_cast<unsigned long long>(*f.number),
                            static_cast<unsigned long long>(*f.number));
            } else {
                std::printf("%-16s %s\n", f.name, f.text.c_str());
            }
        }
    }
    return 0;
}

int Fail(const char* what, const std::string& arg) {
    std::fprintf(stderr, "writer-cli: %s: %s\n", what, arg.c_str());
    return 1;
}

int Build(const std::vector<std::string>& args) {
    // The part and the output first; the steps run afterwards in their order.
    std::optional<std::uint32_t> part;
    OptionDialogs dialogs;
    std::vector<std::size_t> steps;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto needs = [&](std::size_t n) { return i + n < args.size(); };
        if (a == "--part" && needs(1)) {
            part = ParseNumberArg(args[++i]);
            if (!part) return Fail("bad part index", args[i]);
        } else if (a == "-o" && needs(1)) {
            dialogs.output = args[++i];
        } else if (a == "--load-at" && needs(2)) {
            steps.push_back(i);
            i += 2;
        } else if ((a == "--load" || a == "--isp" || a == "--isp-space" || a == "--iap-space" ||
                    a == "--option" || a == "--osc" || a == "--auto" || a == "--max-counter" ||
                    a == "--serial-enable" || a == "--auto-increment" || a == "--serial-address" ||
                    a == "--serial-string" || a == "--serial-number" || a == "--custom-id" ||
                    a == "--string-id") &&
                   needs(1)) {
            steps.push_back(i);
            ++i;
        } else {
            std::fprintf(stderr, "writer-cli: unexpected argument '%s'\n\n%s", a.c_str(), kHelp);
            return 2;
        }
    }
    if (!part || dialogs.output.empty()) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    if (*part > static_cast<std::uint32_t>(cat::kMaxPartIndex) ||
        !cat::Part(static_cast<int>(*part)).Exists()) {
        return Fail("no such part", std::to_string(*part));
    }

    model::VectorCodeBuffer buffer;
    StdoutLog log;
    StderrQuestions questions;
    model::Workbench bench;
    bench.Attach(&buffer, &log);
    buffer.onChange = [&bench] { bench.OnBufferChanged(); };
    bench.FillSeriesList();
    if (!bench.SelectPartByIndex(static_cast<int>(*part)))
        return Fail("part is not listed", std::to_string(*part));

    for (const std::size_t at : steps) {
        const std::string& step = args[at];
        const std::string& value = args[at + 1];
        if (step == "--load" || step == "--load-at") {
            std::string path = value;
            dialogs.placeAddress = 0;
            if (step == "--load-at") {
                const auto address = ParseHexArg(value);
                if (!address) return Fail("bad address", value);
                dialogs.placeAddress = *address;
                path = args[at + 2];
            }
            if (proj::LoadFileAtStartup(bench, path, dialogs, questions) != proj::kLoadOk) return 1;
        } else if (step == "--isp") {
            dialogs.isp = value == "builtin" ? proj::IspChoice{proj::ISP_SRC_BUILTIN, {}}
                                             : proj::IspChoice{proj::ISP_SRC_USER, value};
            if (!proj::InsertIspButton(bench, dialogs)) return 1;
        } else if (step == "--isp-space" || step == "--iap-space") {
            model::ListModel& list = step == "--isp-space" ? bench.panel.isp : bench.panel.iap;
            const auto pos = ParseNumberArg(value);
            if (!list.enabled || !pos || *pos >= static_cast<std::uint32_t>(list.Count())) {
                return Fail("no such list position", step + " " + value);
            }
            if (step == "--isp-space") {
                bench.OnIspChanged(static_cast<int>(*pos));
            } else {
                bench.OnIapChanged(static_cast<int>(*pos));
            }
        } else if (step == "--option") {
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
        } else if (step == "--osc") {
            const auto osc = ParseNumberArg(value);
            const int pos = osc ? bench.panel.osc.SelectByValue(*osc) : -1;
            if (!bench.panel.osc.enabled || pos < 0) return Fail("no such OSC List value", value);
            bench.OnOscChanged(pos);
        } else if (step == "--custom-id") {
            const auto id = ParseHexArg(value);
            if (!id || *id > 0xFF) return Fail("bad custom id", value);
            dialogs.customId = static_cast<std::uint8_t>(*id);
        } else if (step == "--string-id") {
            dialogs.stringId = value;
        } else if (step == "--serial-string") {
            bench.info.serialString.fill(' ');
            std::copy_n(value.begin(), std::min(value.size(), bench.info.serialString.size()),
                        bench.info.serialString.begin());
        } else {
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
        }
    }
    return proj::SaveProjectButton(bench, dialogs, proj::CurrentSaveEntropy()) ? 0 : 1;
}

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (!args.empty() && args[0] == "show") return Show(args);
    if (!args.empty() && args[0] == "build") return Build(args);
    std::fputs(kHelp, stderr);
    return 2;
}

const cli::Register kRegister{{"project", "show a QRX project's record, or build a project", Run}};

}  // namespace
