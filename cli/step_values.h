// The build steps' values checked before anything runs, so that a bad argument is refused with
// status 2 and nothing is half done: every number must be one, and the values the window's
// fields keep within limits must be within them.
#pragma once

#include <string>

namespace model {
class Workbench;
}

namespace cli {

// What is wrong with `value` for `step`; empty when nothing is. Limits that depend on the part
// (the serial start address) are left to StartAddressProblem.
std::string StepValueProblem(const std::string& step, const std::string& value);

// --serial-address beyond the selected part's limit (its code size less 16); empty when within.
std::string StartAddressProblem(const model::Workbench& bench, const std::string& value);

// The serial start address the record holds after the steps (a project's own), brought under
// the part's limit as the Off-Line Mode dialog does; the correction is said on standard error.
void CorrectStartAddress(model::Workbench& bench);

}  // namespace cli
