// What `op` adds for a production line: the chip's serial number, taken from the production
// record and laid into the code image before it is programmed, and the chip's entry in the
// record afterwards.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "cli/session.h"
#include "production/chip_record.h"
#include "production/serial_plan.h"
#include "production/store.h"
#include "writer/writer.h"

namespace cli {

// Why the serial field cannot go into the image for the selected part: past its code space, or
// over bytes the image or its ISP code uses. Empty when it can.
std::string SerialProblem(const production::SerialPlan& plan, const model::Workbench& bench);

// Lays the field for `number` into the code buffer as a file loaded at its address would be
// laid, so Program and Verify cover it.
void PlaceSerial(const production::SerialPlan& plan, std::uint32_t number, Session& session);

// The writer's name as the record keeps it, and its USB serial string when the name gives one.
void SetWriter(production::ChipRecord& chip, const std::string& name);

// The part, the image programmed, each step and the overall result, into `chip`.
void DescribeOperation(production::ChipRecord& chip, const model::Workbench& bench,
                       std::span<const writer::StepRecord> steps, const core::Outcome& overall);

// Appends the chip. kExitPassed when it is kept; otherwise kExitFailed with the reason on
// standard error (the chip itself stays as it was programmed).
int AppendChip(production::Store& store, const production::ChipRecord& chip);

}  // namespace cli
