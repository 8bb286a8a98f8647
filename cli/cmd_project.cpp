// writer-cli project show FILE.qrx [--json]
// writer-cli project build --part INDEX [STEP ...] -o OUT.qrx
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/json.h"
#include "cli/session.h"
#include "cli/step_values.h"
#include "project/file_io.h"
#include "project/qrx_file.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli project show FILE.qrx [--json]\n"
    "       writer-cli project build --part INDEX [STEP ...] -o OUT.qrx\n\n"
    "show: reads the project's trailer (without questions) and prints every field of the\n"
    "  project record; a refused file exits with status 2.\n"
    "build: selects the part, applies the steps in the order given, and saves the project as\n"
    "  Save *.QRX does. A failing step prints its log lines, writes nothing and exits with 1;\n"
    "  a value that is not a number or is beyond the Off-Line Mode dialog's limits exits with 2\n"
    "  before anything runs. A project's own serial start address above the part's limit is\n"
    "  corrected to it, as the dialog does.\n"
    "  steps: --load FILE            load as \"AP (Code)\"\n"
    "         --load-at HEXADDR FILE load as \"IAP (Data)\" at that address\n"
    "         --isp builtin | --isp FILE\n"
    "         --isp-space POS | --iap-space POS   list positions\n"
    "         --option NAME=on|off   tick or untick an option's Set box\n"
    "         --osc VALUE            OSC List entry by value\n"
    "         --auto MASK  --max-counter N  --serial-enable 0|1  --auto-increment 0|1\n"
    "         --serial-address HEX  --serial-string TEXT  --serial-number HEX\n"
    "         --custom-id HEX  --string-id TEXT   answers of the Custom Setting dialog\n";

// Records the reader's refusal instead of showing it.
class RecordingQuestions : public core::Questions {
  public:
    void Inform(std::string_view, std::string_view) override {}
    bool AskOkCancel(std::string_view, std::string_view) override { return true; }
    bool AskYesNo(std::string_view, std::string_view) override { return true; }
};

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

// A name for the text output: its bytes as they are, except that control characters and the
// backslash are escaped as in JSON, so a NUL or a line break inside the name stays visible and
// cannot end or split the line.
std::string PlainText(std::string_view text) {
    static const char* const kDigits = "0123456789abcdef";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
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
            return cli::UsageError(kHelp, "");
        }
    }
    if (path.empty()) {
        return cli::UsageError(kHelp, "");
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
                const std::string text = PlainText(f.text);
                std::printf("%-16s %s\n", f.name, text.c_str());
            }
        }
    }
    return 0;
}

int Build(const std::vector<std::string>& args) {
    // The part and the output first; the steps run afterwards in their order.
    std::optional<std::uint32_t> part;
    std::string output;
    std::vector<std::size_t> steps;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const int arity = cli::StepArity(a);
        if (a == "--part" && i + 1 < args.size()) {
            part = cli::ParseNumberArg(args[++i]);
            if (!part) return cli::Fail("bad part index", args[i]);
        } else if (a == "-o" && i + 1 < args.size()) {
            output = args[++i];
        } else if (arity > 0 && i + arity < args.size()) {
            steps.push_back(i);
            i += arity;
        } else {
            return cli::UsageError(kHelp, "unexpected argument '" + a + "'");
        }
    }
    if (!part || output.empty()) {
        return cli::UsageError(kHelp, "");
    }
    for (const std::size_t at : steps) {
        const std::string why = cli::StepValueProblem(args[at], args[at + 1]);
        if (!why.empty()) return cli::UsageError(kHelp, why);
    }
    cli::Session session;
    session.dialogs.output = output;
    if (session.SelectPart(*part) != 0) return 1;
    if (const int status = cli::ApplySteps(session, args, steps, kHelp); status != 0) return status;
    cli::CorrectStartAddress(session.bench);
    return proj::SaveProjectButton(session.bench, session.dialogs, proj::CurrentSaveEntropy()) ? 0
                                                                                               : 1;
}

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (!args.empty() && args[0] == "show") return Show(args);
    if (!args.empty() && args[0] == "build") return Build(args);
    return cli::UsageError(kHelp, "");
}

const cli::Register kRegister{{"project", "show a QRX project's record, or build a project", Run}};

}  // namespace
