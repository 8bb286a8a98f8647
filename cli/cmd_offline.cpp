// writer-cli offline download [--part INDEX | --project FILE.qrx] [STEP ...]
// writer-cli offline info [--json]
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/json.h"
#include "cli/session.h"
#include "cli/step_values.h"
#include "cli/upgrade_path.h"
#include "core/utf8.h"
#include "writer/offline.h"

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
    "  The steps apply in the order given, as in 'writer-cli project build'. A value that is\n"
    "  not a number, or beyond the dialog's limits (MaxCounter above 65535, a serial string\n"
    "  above 12 bytes, a start address above the code size less 16), is refused with status 2\n"
    "  before anything is sent; a project's own start address above the limit is corrected to\n"
    "  it, as the dialog does. AP or ISP bytes beyond the part's code space are never sent.\n"
    "info: reads the writer's information block as Read Info does, switches to the part it was\n"
    "  made for, and prints every field of the Information dialog, then the 24 option rows.\n"
    "  With --json the fields come as one JSON object on standard output (keys are the labels\n"
    "  and \"options\") and the message log goes to standard error. Bytes that are not UTF-8\n"
    "  text, and control characters, show as \\xHH, and a backslash as \\\\.\n"
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

// Texts from the writer are 8-bit and may be anything (0xFF from an erased writer): both outputs
// show them through the one strict reading, bytes that are not text as escapes.
std::string InfoText(const writer::InfoReadout& readout) {
    std::string out;
    for (const writer::InfoField& field : writer::InfoFields()) {
        out += field.english;
        out += ": ";
        out += core::EscapedUtf8(readout.*field.text);
        out += '\n';
    }
    out += "Options:\n";
    for (const auto& row : readout.options) {
        out += row.ticked ? "  [x] " : "  [ ] ";
        out += core::EscapedUtf8(row.name);
        out += '\n';
    }
    return out;
}

std::string InfoJson(const writer::InfoReadout& readout) {
    std::string out = "{";
    for (const writer::InfoField& field : writer::InfoFields()) {
        out += cli::JsonString(field.english) + ": " +
               cli::JsonString(core::EscapedUtf8(readout.*field.text)) + ", ";
    }
    out += "\"options\": [";
    for (std::size_t i = 0; i < readout.options.size(); ++i) {
        if (i > 0) out += ", ";
        out += "{\"name\": " + cli::JsonString(core::EscapedUtf8(readout.options[i].name)) +
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

    // Every value is checked before the writer is asked anything.
    for (const std::size_t at : steps) {
        const std::string why = cli::StepValueProblem(args[at], args[at + 1]);
        if (!why.empty()) return Refuse(why);
    }
    cli::Session session;
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
    // The start address limit is the part's; a project loaded by --load may change the part, so
    // it is checked again when the step is applied.
    for (const std::size_t at : steps) {
        if (args[at] != "--serial-address") continue;
        const std::string why = cli::StartAddressProblem(session.bench, args[at + 1]);
        if (!why.empty()) return Refuse(why);
    }
    for (const std::size_t at : steps) {
        if (args[at] == "--serial-address") {
            const std::string why = cli::StartAddressProblem(session.bench, args[at + 1]);
            if (!why.empty()) return Refuse(why);
        }
        if (cli::ApplyStep(session, args, at) != 0) return 1;
    }
    if (download) cli::CorrectStartAddress(session.bench);

    bool ok = false;
    std::string why;
    if (download) {
        const model::Workbench& bench = session.bench;
        const bool empty = bench.IsBufferEmpty();
        const bool nothing = std::uint64_t{bench.info.apLength} + bench.info.ispLength == 0;
        const core::Outcome outcome = writer::DownloadOffline(writer);
        ok = outcome.passed();
        why = outcome.why();
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
    if (!ok && !why.empty()) std::fprintf(stderr, "writer-cli: %s\n", why.c_str());
    return ok ? 0 : 1;
}

const cli::Register kRegister{
    {"offline", "off-line mode: download to the writer, read its information", Run}};

}  // namespace
