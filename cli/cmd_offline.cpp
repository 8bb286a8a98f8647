// writer-cli offline download [--part INDEX | --project FILE.qrx] [STEP ...] [--writer NAME]
// writer-cli offline info [--json] [--writer NAME]
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/exit_status.h"
#include "cli/json.h"
#include "cli/step_values.h"
#include "cli/writer_runner.h"
#include "core/utf8.h"
#include "writer/offline.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli offline download [--part INDEX | --project FILE.qrx] [--load FILE]\n"
    "                                   [--load-at HEXADDR FILE] [--isp builtin|FILE]\n"
    "                                   [--max-counter N] [--serial-enable 0|1]\n"
    "                                   [--auto-increment 0|1] [--serial-address HEX]\n"
    "                                   [--serial-string TEXT] [--serial-number HEX]\n"
    "                                   [--auto MASK] [--upgrade ask|yes|no] [--writer NAME]\n"
    "       writer-cli offline info [--json] [--upgrade ask|yes|no] [--writer NAME]\n\n"
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
    "--writer NAME chooses the writer: a device node, USB serial string or socket as 'writer-cli\n"
    "  writers' lists them, or a TUNNIX_DEVICE value; without it, the one TUNNIX_DEVICE names.\n"
    "Standard output carries the message log, one line per log line.\n"
    "Exit status: 0 passed, 1 a command failed or no writer answered, 2 bad arguments.\n";

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

// Write Code, then Write Info, as the dialog's Download does.
int Download(cli::WriterRunner& run) {
    cli::CorrectStartAddress(run.session.bench);
    const model::Workbench& bench = run.session.bench;
    const bool empty = bench.IsBufferEmpty();
    const bool nothing = std::uint64_t{bench.info.apLength} + bench.info.ispLength == 0;
    const core::Outcome outcome = writer::DownloadOffline(run.writer);
    if (empty) {
        // The log's line has no line break of its own.
        std::fputc('\n', stdout);
        return cli::kExitFailed;
    }
    if (nothing) {
        std::fputs("writer-cli: nothing to download: no AP bytes and no ISP code\n", stderr);
        return cli::kExitFailed;
    }
    if (!run.host.opened) return cli::WriterRunner::NotOpened();
    if (!outcome.passed() && !outcome.why().empty())
        std::fprintf(stderr, "writer-cli: %s\n", outcome.why().c_str());
    return cli::ExitStatus(outcome);
}

// Read Info, its fields printed as text or JSON.
int Info(cli::WriterRunner& run, bool json) {
    writer::ReadInfoOptions options;
    options.restoreLog = false;  // the terminal still shows the lines
    options.show = [json](const writer::InfoBlock&, const writer::InfoReadout& readout) {
        const std::string text = json ? InfoJson(readout) : InfoText(readout);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    };
    const bool read = writer::ReadInfo(run.writer, options);
    if (!run.host.opened) return cli::WriterRunner::NotOpened();
    return read ? cli::kExitPassed : cli::kExitFailed;
}

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    const bool download = !args.empty() && args[0] == "download";
    cli::WriterOptions options(
        kHelp, download ? cli::kPartOption | cli::kProjectOption | cli::kUpgradeOption
                        : cli::kUpgradeOption);
    if (args.empty()) return options.Usage("download or info expected");
    if (!download && args[0] != "info")
        return options.Usage("unknown offline command '" + args[0] + "'");
    bool json = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const auto taken = options.Take(args, i);
        if (taken == cli::WriterOptions::Taken::kBad) return options.Usage(options.why);
        if (taken == cli::WriterOptions::Taken::kYes) continue;
        if (download || args[i] != "--json")
            return options.Usage("unexpected argument '" + args[i] + "'");
        json = true;
    }
    if (const std::string why = options.Problem(args); !why.empty()) return options.Usage(why);

    StderrLog stderrLog;
    cli::WriterRunner run(options, json ? &stderrLog : nullptr);
    if (const int status = run.Prepare(args); status != cli::kExitPassed) return status;
    return download ? Download(run) : Info(run, json);
}

const cli::Register kRegister{
    {"offline", "off-line mode: download to the writer, read its information", Run}};

}  // namespace
