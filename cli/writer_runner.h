// What every writer-cli subcommand that drives a writer shares (op, offline, upgrade): the
// options they have in common, the wiring of the session to the writer, the part and project
// they open, and how a writer that was never opened is reported.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/console_host.h"
#include "cli/session.h"
#include "cli/upgrade_path.h"
#include "writer/writer.h"

namespace cli {

// The shared options a subcommand takes; --writer NAME always.
enum SharedOption : unsigned {
    kPartOption = 1u << 0,     // --part INDEX
    kProjectOption = 1u << 1,  // --project FILE.qrx and the build steps
    kUpgradeOption = 1u << 2,  // --upgrade ask|yes|no
};

struct WriterOptions {
    WriterOptions(const char* usage, unsigned taken) : help(usage), shared(taken) {}

    const char* help;  // the subcommand's usage text
    unsigned shared;   // SharedOption bits
    std::optional<std::uint32_t> part;
    std::string project;
    UpgradeAnswer answer = UpgradeAnswer::Ask;
    std::optional<std::string> writer;  // --writer NAME
    std::vector<std::size_t> steps;     // positions of the build steps in the command line

    enum class Taken { kNo, kYes, kBad };
    // Takes args[i] when it is a shared option, moving i past its values; kBad leaves the reason
    // in `why`.
    Taken Take(const std::vector<std::string>& args, std::size_t& i);
    std::string why;

    // What is wrong with the command line as a whole once read; empty when nothing is. Every
    // step's value is checked here, before the writer is asked anything.
    std::string Problem(const std::vector<std::string>& args) const;

    // The usage error every subcommand gives: "writer-cli: WHY", then its usage text; status 2.
    int Usage(const std::string& reason) const { return UsageError(help, reason); }
};

// Makes NAME the writer the link opens: a TUNNIX_DEVICE value, or what `writer-cli writers`
// lists (a device node, a USB serial string, a virtual writer's socket). Empty when chosen,
// else why not (the name matches none or several, with what is attached). `serial` takes the
// chosen writer's USB serial string where it is known.
std::string ChooseWriter(const std::string& name, std::string* serial = nullptr);
// The name of the writer the link opens, as far as the command line and environment say.
std::string ChosenWriterName();

// The session wired to the writer: log, questions, link, writer and the firmware upgrade.
class WriterRunner {
  public:
    // `log` takes the message log's lines instead of standard output when given.
    explicit WriterRunner(const WriterOptions& options, core::MessageSink* log = nullptr);
    WriterRunner(const WriterRunner&) = delete;
    WriterRunner& operator=(const WriterRunner&) = delete;

    // Loads the transport library. 0 when loaded, else the exit status (its box was shown).
    int Load();
    // Load, then the part (--part, else the one the window opens on for the attached writer's
    // family), the project, and the steps in their order. 0 when ready, else the exit status.
    int Prepare(const std::vector<std::string>& args);

    // "writer-cli: WHY" on standard error, or the usual words when there is no reason;
    // returns the status of a writer that was not opened.
    static int NotOpened(const std::string& why = {});

    const WriterOptions& options;
    Session session;
    ConsoleHost host;
    ConsoleQuestions questions;
    writer::WriterLink link;
    writer::Writer writer;
    UpgradePath upgrade;       // the firmware check may upgrade through dfu
    std::string writerSerial;  // the --writer's USB serial string, once Load has chosen it
};

}  // namespace cli
