// writer-cli op [--part INDEX | --project FILE.qrx] [STEP ...] [--upgrade ask|yes|no]
//               [--deadline SECONDS] [--json] OPERATION
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/exit_status.h"
#include "cli/op_report.h"
#include "cli/session.h"
#include "cli/upgrade_path.h"
#include "project/file_io.h"
#include "writer/writer.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli op [--part INDEX | --project FILE.qrx] [--load FILE]\n"
    "                     [--load-at HEXADDR FILE] [--isp builtin|FILE] [--upgrade ask|yes|no]\n"
    "                     [--deadline SECONDS] [--json] OPERATION\n\n"
    "Runs one writer operation as the window's button does, on the writer TUNNIX_DEVICE names.\n"
    "OPERATION: check-id, erase, blank-check, program, verify, dump OUT.bin, whole-chip-erase,\n"
    "  write-option, read-option, auto [MASK] (MASK as 0x1F or decimal; without it the\n"
    "  project's Auto steps). Options go before the operation.\n"
    "--part selects a part by index; --project loads a QRX project (part, options, layout, Auto\n"
    "  steps); neither: the part the window would open on for the attached writer's family.\n"
    "  The other build steps of 'writer-cli project build' (--option, --osc, ...) apply too,\n"
    "  in the order given.\n"
    "--upgrade answers the writer firmware question: ask (on the terminal; refused without one,\n"
    "  the default), yes, no.\n"
    "--deadline ends an operation that runs longer than SECONDS, as a failure with its own\n"
    "  line; without it an operation takes as long as the writer does, as in the window.\n"
    "--json prints one JSON object instead of the log: the log's lines, each step with its\n"
    "  result and seconds, the option bytes read and the exit status.\n"
    "Standard output carries the message log, one line per log line, each ending in \"\\n\".\n"
    "  It is the window's log as a stream: where the window clears its log (when an operation\n"
    "  begins) the lines before stay, the load's among them. Option bytes read are printed\n"
    "  after the log as \"Option bytes: 9F FF ...\".\n"
    "On a terminal, standard error shows a progress bar while a transfer moves.\n"
    "Exit status: 0 every step passed; 1 a step failed, program or verify was skipped for an\n"
    "  empty code buffer, or the writer was not opened; 2 bad arguments.\n";

int Usage(const std::string& why) {
    return cli::UsageError(kHelp, why);
}

struct Operation {
    const char* name;
    int button;
};
constexpr Operation kOperations[] = {
    {"check-id", writer::button::kCheckId},
    {"erase", writer::button::kErase},
    {"blank-check", writer::button::kBlankCheck},
    {"program", writer::button::kProgram},
    {"verify", writer::button::kVerify},
    {"dump", writer::button::kDumpTarget},
    {"whole-chip-erase", writer::button::kWholeChipErase},
    {"write-option", writer::button::kWriteOption},
    {"read-option", writer::button::kReadOption},
    {"auto", writer::button::kAuto},
};

// Whether a file can be written at `path` (a new one in its folder, or over the one there),
// asked before the chip is read so the read is not wasted.
bool CanWrite(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file(path);
    if (fs::is_directory(file, ec)) return false;
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return false;
    return !fs::exists(file, ec) || ::access(file.c_str(), W_OK) == 0;
}

// Says on standard error why nothing ran, or what was asked for and skipped.
void TellWhatDidNotRun(const core::Outcome& outcome, const writer::Writer& writer) {
    if (outcome.notStarted()) {
        const std::string why =
            outcome.why().empty()
                ? "the writer was not opened (no writer answered, or its firmware was not "
                  "brought up to date)"
                : outcome.why();
        std::fprintf(stderr, "writer-cli: %s\n", why.c_str());
        return;
    }
    for (const writer::StepRecord& step : writer.steps) {
        if (!step.outcome.notStarted()) continue;
        const char* what = step.name == "verify" ? "verified" : "programmed";
        std::fprintf(stderr, "writer-cli: %.*s: nothing was %s: %s\n",
                     static_cast<int>(step.name.size()), step.name.data(), what,
                     step.outcome.why().c_str());
    }
}

const writer::StepRecord* FindStep(const writer::Writer& writer, std::string_view name) {
    for (const writer::StepRecord& step : writer.steps) {
        if (step.name == name) return &step;
    }
    return nullptr;
}

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    std::optional<std::uint32_t> part;
    std::string project;
    cli::UpgradeAnswer answer = cli::UpgradeAnswer::Ask;
    std::optional<std::uint32_t> deadline;
    bool json = false;
    std::vector<std::size_t> steps;
    const Operation* operation = nullptr;
    std::vector<std::string> operands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const int arity = cli::StepArity(a);
        if (operation) {
            if (a.starts_with("--")) return Usage("options go before the operation: '" + a + "'");
            operands.push_back(a);
        } else if (a == "--part" && i + 1 < args.size()) {
            part = cli::ParseNumberArg(args[++i]);
            if (!part) return Usage("bad part index '" + args[i] + "'");
        } else if (a == "--project" && i + 1 < args.size()) {
            project = args[++i];
        } else if (a == "--upgrade" && i + 1 < args.size()) {
            const auto parsed = cli::ParseUpgradeAnswer(args[++i]);
            if (!parsed) return Usage("--upgrade takes ask, yes or no");
            answer = *parsed;
        } else if (a == "--deadline" && i + 1 < args.size()) {
            deadline = cli::ParseNumberArg(args[++i]);
            if (!deadline || *deadline == 0) return Usage("bad deadline '" + args[i] + "'");
        } else if (a == "--json") {
            json = true;
        } else if (arity > 0 && i + arity < args.size()) {
            steps.push_back(i);
            i += static_cast<std::size_t>(arity);
        } else {
            for (const Operation& op : kOperations) {
                if (a == op.name) operation = &op;
            }
            if (!operation) return Usage("unexpected argument '" + a + "'");
        }
    }
    if (!operation) return Usage("no operation");
    if (part && !project.empty()) return Usage("--part and --project exclude each other");
    const bool isDump = operation->button == writer::button::kDumpTarget;
    const bool isAuto = operation->button == writer::button::kAuto;
    std::optional<std::uint32_t> mask;
    if (isDump && operands.size() != 1) return Usage("dump takes one output file");
    if (isAuto && operands.size() > 1) return Usage("auto takes at most one mask");
    if (!isDump && !isAuto && !operands.empty()) return Usage("unexpected '" + operands[0] + "'");
    if (isAuto && operands.size() == 1) {
        mask = cli::ParseNumberArg(operands[0]);
        if (!mask || *mask > 0xFF) return Usage("bad Auto mask '" + operands[0] + "'");
    }
    if (isDump && !CanWrite(operands[0])) return cli::Fail("cannot write", operands[0]);

    cli::Session session;
    session.log.keepLines = json;
    cli::ConsoleHost host;
    host.ShareTerminalWith(session.log);
    cli::ConsoleQuestions questions(answer);
    writer::WriterLink link(host);
    if (!link.Load(questions)) return cli::kExitFailed;
    writer::Writer writer(session.bench, link, host, session.log, questions);
    cli::UpgradePath upgradePath(writer);  // the firmware check may upgrade through dfu

    if (cli::OpenPartAndProject(session, writer, part, project) != 0) return cli::kExitFailed;
    for (const std::size_t at : steps) {
        if (cli::ApplyStep(session, args, at) != 0) return cli::kExitFailed;
    }

    if (deadline)
        link.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(*deadline);
    const core::Outcome outcome =
        isAuto
            ? writer.RunAuto(static_cast<std::uint8_t>(mask.value_or(session.bench.info.autoSteps)))
            : writer.OnButton(operation->button);
    session.log.EndLine();
    TellWhatDidNotRun(outcome, writer);

    int status = cli::ExitStatus(outcome, writer.steps);
    const writer::StepRecord* dumped = FindStep(writer, "dump");
    if (isDump && dumped && dumped->outcome.passed()) {
        const std::vector<std::uint8_t> bytes = session.buffer.Bytes();
        if (!proj::WriteFileReplacing(operands[0], {std::span<const std::uint8_t>(bytes)}, false))
            status = cli::Fail("cannot write", operands[0]);
    }
    if (json) {
        const cli::OperationReport report{operation->name,        outcome,           writer.steps,
                                          writer.optionBytesRead, session.log.lines, status};
        std::printf("%s\n", cli::OperationJson(report).c_str());
    } else if (!writer.optionBytesRead.empty()) {
        std::printf("%s\n", cli::OptionBytesLine(writer.optionBytesRead).c_str());
    }
    return status;
}

const cli::Register kRegister{{"op", "run a writer operation (check-id, program, auto, ...)", Run}};

}  // namespace
