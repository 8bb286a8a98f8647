// How writer-cli turns the way an action ended into its exit status: one place for every
// subcommand, so a failure cannot leave with 0.
#pragma once

#include <span>

#include "core/outcome.h"
#include "writer/writer.h"

namespace cli {

inline constexpr int kExitPassed = 0;
inline constexpr int kExitFailed = 1;  // failed, or never started
inline constexpr int kExitUsage = 2;

// 0 only for a pass.
int ExitStatus(const core::Outcome& outcome);
// How a writer operation ended as a whole: the first of it and its steps that did not pass. A
// step skipped for an empty buffer counts here: what was asked for was not done.
core::Outcome Overall(const core::Outcome& operation, std::span<const writer::StepRecord> steps);
// A writer operation: 0 only when it ran and every step it ran passed.
int ExitStatus(const core::Outcome& operation, std::span<const writer::StepRecord> steps);

}  // namespace cli
