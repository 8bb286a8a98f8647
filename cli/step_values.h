// The build steps (--load, --isp, --option, --max-counter, ...) that `project build`, `op` and
// `offline download` apply in the order given, as the window's controls and the Off-Line Mode
// dialog would. One table holds each step's values, their check and what the step does.
// Values are checked before anything runs, so that a bad argument is refused with status 2 and
// nothing is half done; the dialog's fields are then set through the dialog's own setters.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace model {
class Workbench;
}

namespace cli {

struct Session;

// The number of values a step takes (0: not a step).
int StepArity(const std::string& arg);

// What is wrong with `value` for `step`; empty when nothing is. Limits that depend on the part
// (the serial start address) are left to StartAddressProblem.
std::string StepValueProblem(const std::string& step, const std::string& value);

// --serial-address beyond the selected part's limit (its code size less 16); empty when within.
std::string StartAddressProblem(const model::Workbench& bench, const std::string& value);

// The serial start address the record holds after the steps (a project's own), brought under
// the part's limit as the Off-Line Mode dialog does; the correction is said on standard error.
void CorrectStartAddress(model::Workbench& bench);

// Applies the steps at `at` (positions in `args`) in order. 0 when all passed; 1 when one failed
// (its lines were printed); 2 after the usage text for a value StepValueProblem refuses (check
// them all first, so nothing is half done) or a start address beyond the part it reaches (a
// --load may change the part).
int ApplySteps(Session& session, const std::vector<std::string>& args,
               std::span<const std::size_t> at, const char* help);

}  // namespace cli
