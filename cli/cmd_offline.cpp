// writer-cli offline download [--part INDEX | --project FILE.qrx] [STEP ...]
// writer-cli offline info [--json]
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/part_database.h"
#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/json.h"
#include "cli/session.h"
#include "cli/upgrade_path.h"
#include "writer/offline.h"
#include "writer/offline_config.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli offline download [--part INDEX | --project FILE.qrx] [--load FILE]\n"
    "                                   [--load-at HEXADDR FILE] [--isp builtin|FILE]\n"
    "                                   [--max-counter N] [--serial-enable 0|1]\n"
    "                                   [--auto-increment 0|1] [--serial-address HEX]\n"
    "                                   [--serial-string TEXT] [--serial-number HEX]\n"
    "                                   [--auto MASK] [--upgrade ask|yes|no]\n"
    "       writer-cli offline info [--json] [--upgrade ask|yes|no]\n\n"
    "download: prepares the writer for stand-alone programming as the Off-Line Mode dialog's\n"
    "  Download does: Write Code of the code buffer, then Write Info of the off-line record.\n"
    "  The steps apply in the order given, as in 'writer-cli project build'. Values beyond the\n"
    "  dialog's limits (MaxCounter above 65535, a serial string above 12 bytes, a start address\n"
    "  above the code size less 16) are refused with status 2 before anything is sent.\n"
    "info: reads the writer's information block as Read Info does, switches to the part it was\n"
    "  made for, and prints every field of the Information dialog, then the 24 option rows.\n"
    "  With --json the fields come as one JSON object on standard output (keys are the labels\n"
    "  and \"options\") and the message log goes to standard error.\n"
    "Standard output carries the message log, one line per log line.\n"
    "Exit status: 0 passed, 1 a command failed or no writer answered, 2 bad arguments.\n";

int Usage(const std::string& why) {
    return cli::UsageError(kHelp, why);
}

// "writer-cli: WHAT" on standard error; status 2.
int Refuse(const std::string& what) {
    std::fprintf(stderr, "writer-cli: %s\n", what.c_str());
    return 2;
}

// The log on standard error, so that standard output carries only the JSON object.
class StderrLog : public core::MessageSink {
  public:
    void Clear() override {}
    void Append(std::string_view text) override {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
            std::fputc(text[i], stderr);
        }
    }
};

// Remembers whether an operation got as far as opening the writer.
class OfflineHost : public cli::ConsoleHost {
  public:
    bool opened = false;
    void ShowProgressBar(bool shown) override {
        if (shown) opened = true;
        ConsoleHost::ShowProgressBar(shown);
    }
};

// The limits of the Off-Line Mode dialog for the steps that set its fields; an empty text when
// the value is within them. Syntax errors are left to ApplyStep.
std::string OutOfLimits(const cli::Session& session, const std::string& step,
                        const std::string& value, bool partKnown = true) {
    if (step == "--max-counter") {
        const auto n = cli::ParseNumberArg(value);
        if (n && *n > writer::offline::kMaxCounterLimit)
            return "--max-counter " + value + " is above 65535";
    } else if (step == "--serial-string") {
        if (value.size() > proj::kSerialStringLength)
            return "--serial-string '" + value + "' is longer than 12 bytes";
    } else if (step == "--serial-address" && partKnown) {
        const auto n = cli::ParseHexArg(value);
        const std::uint32_t limit = writer::offline::StartAddressLimit(session.bench.CodeSize());
        if (n && *n > limit) {
            return "--serial-address " + value + " is above " + writer::offline::Hex8(limit) +
                   ", the part's code size less 16";
        }
    } else if (step == "--serial-enable" || step == "--auto-increment") {
        const auto n = cli::ParseNumberArg(value);
        if (!n || *n > 1) return step + " takes 0 or 1";
    } else if (step == "--serial-number") {
        const auto n = cli::ParseHexArg(value);
        if (!n) return "--serial-number " + value + " is not a hexadecimal number of 8 digits";
    } else if (step == "--auto") {
        const auto n = cli::ParseNumberArg(value);
        if (!n || *n > 0xFF) return "--auto " + value + " is not a mask from 0 to 0xFF";
    }
    return {};
}

std::string InfoText(const writer::InfoReadout& readout) {
    std::string out;
    for (const writer::InfoField& field : writer::InfoFields()) {
        out += field.english;
        out += ": ";
        out += readout.*field.text;
        out += '\n';
    }
    out += "Options:\n";
    for (const auto& row : readout.options) {
        out += row.ticked ? "  [x] " : "  [ ] ";
        out += row.name;
        out += '\n';
    }
    return out;
}

// Texts from the writer are 8-bit; JSON wants UTF-8. Valid UTF-8 stays, anything else is read
// byte by byte as Latin-1.
std::string JsonText(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    bool valid = true;
    for (std::size_t i = 0; i < text.size() && valid;) {
        const std::size_t len = p[i] < 0x80             ? 1
                                : (p[i] & 0xE0) == 0xC0 ? 2
                                : (p[i] & 0xF0) == 0xE0 ? 3
                                : (p[i] & 0xF8) == 0xF0 ? 4
                                                        : 0;
        valid = len > 0 && i + len <= text.size() && !(len == 2 && p[i] < 0xC2);
        for (std::size_t k = 1; valid && k < len; ++k) valid = (p[i + k] & 0xC0) == 0x80;
        i += len;
    }
    if (valid) return cli::JsonString(text);
    std::string latin;
    for (const unsigned char c : text) {
        if (c < 0x80) {
            latin += static_cast<char>(c);
        } else {
            latin += static_cast<char>(0xC0 | (c >> 6));
            latin += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return cli::JsonString(latin);
}

std::string InfoJson(const writer::InfoReadout& readout) {
    std::string out = "{";
    for (const writer::InfoField& field : writer::InfoFields()) {
        out += cli::JsonString(field.english) + ": " + JsonText(readout.*field.text) + ", ";
    }
    out += "\"options\": [";
    for (std::size_t i = 0; i < readout.options.size(); ++i) {
        if (i > 0) out += ", ";
        out += "{\"name\": " + JsonText(readout.options[i].name) +
               ", \"ticked\": " + (readout.options[i].ticked ? "true" : "false") + "}";
    }
    return out + "]}\n";
}

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.empty()) return Usage("download or info expected");
    const std::string& verb = args[0];
    if (verb != "download" && verb != "info")
        return Usage("unknown offline command '" + verb + "'");
    const bool download = verb == "download";

    std::optional<std::uint32_t> part;
    std::string project;
    bool json = false;
    cli::UpgradeAnswer answer = cli::UpgradeAnswer::Ask;
    std::vector<std::size_t> steps;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const int arity = cli::StepArity(a);
        if (a == "--upgrade" && i + 1 < args.size()) {
            const auto parsed = cli::ParseUpgradeAnswer(args[++i]);
            if (!parsed) return Usage("--upgrade takes ask, yes or no");
            answer = *parsed;
        } else if (!download && a == "--json") {
            json = true;
        } else if (download && a == "--part" && i + 1 < args.size()) {
            part = cli::ParseNumberArg(args[++i]);
            if (!part) return Usage("bad part index '" + args[i] + "'");
        } else if (download && a == "--project" && i + 1 < args.size()) {
            project = args[++i];
        } else if (download && arity > 0 && i + arity < args.size()) {
            steps.push_back(i);
            i += static_cast<std::size_t>(arity);
        } else {
            return Usage("unexpected argument '" + a + "'");
        }
    }
    if (part && !project.empty()) return Usage("--part and --project exclude each other");

    cli::Session session;
    // Values that do not depend on the part are refused before the writer is asked anything.
    for (const std::size_t at : steps) {
        const std::string why = OutOfLimits(session, args[at], args[at + 1], false);
        if (!why.empty()) return Refuse(why);
    }
    StderrLog stderrLog;
    core::MessageSink& log = json ? static_cast<core::MessageSink&>(stderrLog) : session.log;
    session.bench.Attach(&session.buffer, &log);
    OfflineHost host;
    cli::ConsoleQuestions questions(answer);
    writer::WriterLink link(host);
    if (!link.Load(questions)) return 1;
    writer::Writer writer(session.bench, link, host, log, questions);
    cli::UpgradePath upgradePath(writer);  // the firmware check may upgrade through dfu

    if (cli::OpenPartAndProject(session, writer, part, project) != 0) return 1;
    // Every value is checked before the first step runs, and again when it is applied, since a
    // project loaded by --load may change the part and with it the start address limit.
    for (const std::size_t at : steps) {
        const std::string why = OutOfLimits(session, args[at], args[at + 1]);
        if (!why.empty()) return Refuse(why);
    }
    for (const std::size_t at : steps) {
        const std::string why = OutOfLimits(session, args[at], args[at + 1]);
        if (!why.empty()) return Refuse(why);
        if (cli::ApplyStep(session, args, at) != 0) return 1;
    }

    bool ok = false;
    if (download) {
        const model::Workbench& bench = session.bench;
        const bool empty = bench.IsBufferEmpty();
        const bool nothing = std::uint64_t{bench.info.apLength} + bench.info.ispLength == 0;
        ok = writer::DownloadOffline(writer);
        if (empty) {
            // The log's line has no line break of its own.
            std::fputc('\n', stdout);
            return 1;
        }
        if (nothing) {
            std::fputs("writer-cli: nothing to download: no AP bytes and no ISP code\n", stderr);
            return 1;
        }
    } else {
        writer::ReadInfoOptions options;
        options.restoreLog = false;  // the terminal still shows the lines
        options.show = [json](const writer::InfoBlock&, const writer::InfoReadout& readout) {
            const std::string text = json ? InfoJson(readout) : InfoText(readout);
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
        };
        ok = writer::ReadInfo(writer, options);
    }
    if (!host.opened) {
        std::fputs(
            "writer-cli: the writer was not opened (no writer answered, or its firmware was "
            "not brought up to date)\n",
            stderr);
        return 1;
    }
    return ok ? 0 : 1;
}

const cli::Register kRegister{
    {"offline", "off-line mode: download to the writer, read its information", Run}};

}  // namespace
