// writer-cli upgrade [--part INDEX] [--force]
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/session.h"
#include "cli/upgrade_path.h"
#include "writer/writer.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli upgrade [--part INDEX] [--force]\n\n"
    "Brings the writer TUNNIX_DEVICE names to the firmware carried for a part: each image the\n"
    "writer does not run is upgraded, as before an operation in the window, without asking.\n"
    "--part selects the part by index; without it, the part the window would open on for the\n"
    "  attached writer's family (family 0 when the writer gives none).\n"
    "--force upgrades the part's loader image through dfu whatever the writer reports; it is\n"
    "  what brings back a writer left in its loader by an upgrade that did not finish.\n"
    "Standard output carries the message log; on a terminal, standard error shows the progress.\n"
    "Exit status: 0 the writer runs the part's firmware, 1 it does not (or no writer answered),\n"
    "2 bad arguments.\n";

int Usage(const std::string& why) {
    return cli::UsageError(kHelp, why);
}

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    std::optional<std::uint32_t> part;
    bool force = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--part" && i + 1 < args.size()) {
            part = cli::ParseNumberArg(args[++i]);
            if (!part) return Usage("bad part index '" + args[i] + "'");
        } else if (args[i] == "--force") {
            force = true;
        } else {
            return Usage("unexpected argument '" + args[i] + "'");
        }
    }

    cli::Session session;
    cli::ConsoleHost host;
    cli::ConsoleQuestions questions(cli::UpgradeAnswer::Yes);
    writer::WriterLink link(host);
    if (!link.Load(questions)) return 1;
    writer::Writer writer(session.bench, link, host, session.log, questions);
    if (part) {
        if (session.SelectPart(*part) != 0) return 1;
    } else {
        const auto family = writer.ProbeFamily();
        if (!family && !force) {
            std::fprintf(stderr, "writer-cli: %s\n", cli::NoWriterReason(std::nullopt).c_str());
            return 1;
        }
        // A writer that gives no family (one in its loader) is forced to family 0's image, as
        // the window's forced upgrade at opening does.
        session.bench.RestorePart(-1, family.value_or(0));
    }
    return cli::UpgradeWriter(writer, force);
}

const cli::Register kRegister{{"upgrade", "bring the writer to a part's firmware", Run}};

}  // namespace
