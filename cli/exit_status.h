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
// A writer operation: 0 only when it ran and every step it ran passed. A step skipped for an
// empty buffer counts as failed here: what was asked for was not done.
int ExitStatus(const core::Outcome& operation, std::span<const writer::StepRecord> steps);

}  // namespace cli
