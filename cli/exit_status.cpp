#include "cli/exit_status.h"

namespace cli {

int ExitStatus(const core::Outcome& outcome) {
    return outcome.passed() ? kExitPassed : kExitFailed;
}

core::Outcome Overall(const core::Outcome& operation, std::span<const writer::StepRecord> steps) {
    core::Outcome all = operation;
    for (const writer::StepRecord& step : steps) all &= step.outcome;
    return all;
}

int ExitStatus(const core::Outcome& operation, std::span<const writer::StepRecord> steps) {
    return ExitStatus(Overall(operation, steps));
}

}  // namespace cli
