// writer-cli op [--part INDEX | --project FILE.qrx] [STEP ...] [--upgrade ask|yes|no] OPERATION
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/session.h"
#include "cli/upgrade_path.h"
#include "project/file_io.h"
#include "writer/writer.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli op [--part INDEX | --project FILE.qrx] [--load FILE]\n"
    "                     [--load-at HEXADDR FILE] [--isp builtin|FILE] [--upgrade ask|yes|no]\n"
    "                     OPERATION\n\n"
    "Runs one writer operation as the window's button does, on the writer TUNNIX_DEVICE names.\n"
    "OPERATION: check-id, erase, blank-check, program, verify, dump OUT.bin, whole-chip-erase,\n"
    "  write-option, read-option, auto [MASK] (MASK as 0x1F or decimal; without it the\n"
    "  project's Auto steps).\n"
    "--part selects a part by index; --project loads a QRX project (part, options, layout, Auto\n"
    "  steps); neither: the part the window would open on for the attached writer's family.\n"
    "  The other build steps of 'writer-cli project build' (--option, --osc, ...) apply too,\n"
    "  in the order given.\n"
    "--upgrade answers the writer firmware question: ask (on the terminal; refused without one,\n"
    "  the default), yes, no.\n"
    "Standard output carries the message log, one line per log line, ending in \"\\n\".\n"
    "On a terminal, standard error shows the progress of each transfer.\n"
    "Exit status: 0 every step passed, 1 a step failed or no writer answered, 2 bad arguments.\n";

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

// Remembers whether an operation got as far as opening the writer.
class OpHost : public cli::ConsoleHost {
  public:
    bool opened = false;
    void ShowProgressBar(bool shown) override {
        if (shown) opened = true;
        ConsoleHost::ShowProgressBar(shown);
    }
};

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    std::optional<std::uint32_t> part;
    std::string project;
    cli::UpgradeAnswer answer = cli::UpgradeAnswer::Ask;
    std::vector<std::size_t> steps;
    const Operation* operation = nullptr;
    std::vector<std::string> operands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const int arity = cli::StepArity(a);
        if (operation) {
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

    cli::Session session;
    OpHost host;
    cli::ConsoleQuestions questions(answer);
    writer::WriterLink link(host);
    if (!link.Load(questions)) return 1;
    writer::Writer writer(session.bench, link, host, session.log, questions);
    cli::UpgradePath upgradePath(writer);  // the firmware check may upgrade through dfu

    if (cli::OpenPartAndProject(session, writer, part, project) != 0) return 1;
    for (const std::size_t at : steps) {
        if (cli::ApplyStep(session, args, at) != 0) return 1;
    }

    bool ok = false;
    if (isAuto) {
        ok = writer.RunAuto(static_cast<std::uint8_t>(mask.value_or(session.bench.info.autoSteps)));
    } else {
        ok = writer.OnButton(operation->button);
    }
    if (!host.opened) {
        std::fputs(
            "writer-cli: the writer was not opened (no writer answered, or its firmware was "
            "not brought up to date)\n",
            stderr);
        return 1;
    }
    if (isDump && writer.dumpPassed) {
        const std::vector<std::uint8_t> bytes = session.buffer.Bytes();
        if (!proj::WriteFileReplacing(operands[0], {std::span<const std::uint8_t>(bytes)}, false)) {
            std::fprintf(stderr, "writer-cli: cannot write %s\n", operands[0].c_str());
            return 1;
        }
    }
    return ok ? 0 : 1;
}

const cli::Register kRegister{{"op", "run a writer operation (check-id, program, auto, ...)", Run}};

}  // namespace
