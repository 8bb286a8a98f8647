#include "cli/writer_runner.h"

#include <cstdio>
#include <cstdlib>

#include "cli/exit_status.h"
#include "cli/step_values.h"
#include "production/writers.h"
#include "workbench/file_actions.h"

namespace cli {

namespace {

constexpr const char* kDeviceVariable = "TUNNIX_DEVICE";

}  // namespace

WriterOptions::Taken WriterOptions::Take(const std::vector<std::string>& args, std::size_t& i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--writer" && hasValue) {
        writer = args[++i];
        return Taken::kYes;
    }
    if ((shared & kPartOption) && a == "--part" && hasValue) {
        part = ParseNumberArg(args[++i]);
        why = "bad part index '" + args[i] + "'";
        return part ? Taken::kYes : Taken::kBad;
    }
    if ((shared & kUpgradeOption) && a == "--upgrade" && hasValue) {
        const auto parsed = ParseUpgradeAnswer(args[++i]);
        why = "--upgrade takes ask, yes or no";
        if (!parsed) return Taken::kBad;
        answer = *parsed;
        return Taken::kYes;
    }
    if (!(shared & kProjectOption)) return Taken::kNo;
    if (a == "--project" && hasValue) {
        project = args[++i];
        return Taken::kYes;
    }
    const int arity = StepArity(a);
    if (arity > 0 && i + static_cast<std::size_t>(arity) < args.size()) {
        steps.push_back(i);
        i += static_cast<std::size_t>(arity);
        return Taken::kYes;
    }
    return Taken::kNo;
}

std::string WriterOptions::Problem(const std::vector<std::string>& args) const {
    if (part && !project.empty()) return "--part and --project exclude each other";
    if (writer && writer->empty()) return "--writer needs a name";
    for (const std::size_t at : steps) {
        std::string problem = StepValueProblem(args[at], args[at + 1]);
        if (!problem.empty()) return problem;
    }
    return {};
}

std::string ChooseWriter(const std::string& name, std::string* serial) {
    const bool deviceValue =
        name == "hid" || name.starts_with("hid:") || name.starts_with("vwriter:");
    std::string selection = name;
    if (!deviceValue) {
        const production::WriterChoice choice = production::ResolveWriter(name);
        if (choice.selection.empty()) return choice.problem;
        selection = choice.selection;
        if (serial) *serial = choice.serial;
    }
    ::setenv(kDeviceVariable, selection.c_str(), 1);
    return {};
}

std::string ChosenWriterName() {
    const char* name = std::getenv(kDeviceVariable);
    return name ? name : "";
}

WriterRunner::WriterRunner(const WriterOptions& opts, core::MessageSink* log)
    : options(opts),
      questions(opts.answer),
      link(host),
      writer(session.bench, link, host, log ? *log : session.log, questions),
      upgrade(writer) {
    if (log) session.bench.Attach(&session.buffer, log);
    host.ShareTerminalWith(session.log);
}

int WriterRunner::Load() {
    if (options.writer) {
        const std::string problem = ChooseWriter(*options.writer, &writerSerial);
        if (!problem.empty()) {
            std::fprintf(stderr, "writer-cli: %s", problem.c_str());
            return kExitFailed;
        }
    }
    return link.Load(questions) ? kExitPassed : kExitFailed;
}

int WriterRunner::Prepare(const std::vector<std::string>& args) {
    if (const int status = Load(); status != kExitPassed) return status;
    if (options.part) {
        if (session.SelectPart(*options.part) != 0) return kExitFailed;
    } else {
        // As the window opens with an empty profile: the attached writer's family decides.
        session.bench.RestorePart(-1, writer.ProbeFamily().value_or(0));
    }
    if (!options.project.empty()) {
        session.dialogs.open = options.project;
        if (!model::LoadFileAtStartup(session.bench, options.project, session.dialogs,
                                      session.questions)
                 .passed()) {
            return kExitFailed;
        }
    }
    return ApplySteps(session, args, options.steps, options.help);
}

int WriterRunner::NotOpened(const std::string& why) {
    const std::string text = why.empty() ? "the writer was not opened (no writer answered, or its "
                                           "firmware was not brought up to date)"
                                         : why;
    std::fprintf(stderr, "writer-cli: %s\n", text.c_str());
    return kExitFailed;
}

}  // namespace cli
