// writer-cli upgrade [--part INDEX] [--writer NAME] [--force]
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/exit_status.h"
#include "cli/writer_runner.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli upgrade [--part INDEX] [--writer NAME] [--force]\n\n"
    "Brings the writer to the firmware carried for a part: each image the writer does not run\n"
    "is upgraded, as before an operation in the window, without asking.\n"
    "--writer NAME chooses the writer: a device node, USB serial string or socket as 'writer-cli\n"
    "  writers' lists them, or a TUNNIX_DEVICE value; without it, the one TUNNIX_DEVICE names.\n"
    "--part selects the part by index; without it, the part the window would open on for the\n"
    "  attached writer's family (family 0 when the writer gives none).\n"
    "--force upgrades the part's loader image through dfu whatever the writer reports; it is\n"
    "  what brings back a writer left in its loader by an upgrade that did not finish.\n"
    "Standard output carries the message log; on a terminal, standard error shows the progress.\n"
    "Exit status: 0 the writer runs the part's firmware, 1 it does not (or no writer answered),\n"
    "2 bad arguments.\n";

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    cli::WriterOptions options(kHelp, cli::kPartOption);
    options.answer = cli::UpgradeAnswer::Yes;
    bool force = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto taken = options.Take(args, i);
        if (taken == cli::WriterOptions::Taken::kBad) return options.Usage(options.why);
        if (taken == cli::WriterOptions::Taken::kYes) continue;
        if (args[i] != "--force") return options.Usage("unexpected argument '" + args[i] + "'");
        force = true;
    }
    if (const std::string why = options.Problem(args); !why.empty()) return options.Usage(why);

    cli::WriterRunner run(options);
    if (const int status = run.Load(); status != cli::kExitPassed) return status;
    if (options.part) {
        if (run.session.SelectPart(*options.part) != 0) return cli::kExitFailed;
    } else {
        const auto family = run.writer.ProbeFamily();
        if (!family && !force)
            return cli::WriterRunner::NotOpened(cli::NoWriterReason(std::nullopt));
        // A writer that gives no family (one in its loader) is forced to family 0's image, as
        // the window's forced upgrade at opening does.
        run.session.bench.RestorePart(-1, family.value_or(0));
    }
    return cli::UpgradeWriter(run.upgrade, force);
}

const cli::Register kRegister{{"upgrade", "bring the writer to a part's firmware", Run}};

}  // namespace
