#include "cli/chip_record.h"

#include <cstdio>

#include "catalogue/part_database.h"
#include "cli/exit_status.h"
#include "project/program_image.h"
#include "workbench/workbench.h"

namespace cli {

namespace {

struct StepName {
    std::string_view step;
    const char* logged;
};
// The writer's step names as the log labels them.
constexpr StepName kStepNames[] = {
    {"check-id", "Check ID"},
    {"erase", "Erase"},
    {"blank-check", "Blank Check"},
    {"program", "Program"},
    {"verify", "Verify"},
    {"dump", "Dump Target"},
    {"whole-chip-erase", "Whole-Chip Erase"},
    {"write-option", "Write Option"},
    {"read-option", "Read Option"},
};

std::string LoggedName(std::string_view step) {
    for (const StepName& name : kStepNames) {
        if (name.step == step) return name.logged;
    }
    return std::string(step);
}

constexpr std::string_view kHidSerialPrefix = "hid:serial=";

}  // namespace

std::string SerialProblem(const production::SerialPlan& plan, const model::Workbench& bench) {
    const model::Areas areas = bench.ProgramAreas();
    std::vector<production::ByteRange> occupied;
    if (areas.ispLength > 0) occupied.push_back({areas.ispStart, areas.ispStart + areas.ispLength});
    const std::vector<std::uint8_t> image =
        bench.buffer() ? bench.buffer()->Bytes() : std::vector<std::uint8_t>{};
    return plan.Check(image, bench.CodeSize(), occupied);
}

void PlaceSerial(const production::SerialPlan& plan, std::uint32_t number, Session& session) {
    model::Workbench& bench = session.bench;
    const proj::ByteVector laid = proj::MergeProgramImage(
        bench.info, session.buffer.Bytes(), plan.Field(number), plan.address,
        proj::BufferGeometry{bench.CodeSize(), bench.panel.IspSize()});
    session.buffer.SetBytes(laid);
}

void SetWriter(production::ChipRecord& chip, const std::string& name) {
    chip.writerName = name;
    if (name.starts_with(kHidSerialPrefix))
        chip.writerSerial = name.substr(kHidSerialPrefix.size());
}

void DescribeOperation(production::ChipRecord& chip, const model::Workbench& bench,
                       std::span<const writer::StepRecord> steps, const core::Outcome& overall) {
    chip.partIndex = bench.currentPart;
    if (bench.currentPart >= 0) chip.partName = cat::Part(bench.currentPart).Name();
    const std::vector<std::uint8_t> image =
        bench.buffer() ? bench.buffer()->Bytes() : std::vector<std::uint8_t>{};
    production::SetImage(chip, image);
    for (const writer::StepRecord& step : steps) {
        chip.steps.push_back({LoggedName(step.name), step.outcome.ending(), step.elapsedMs});
    }
    chip.result = overall.ending();
}

int AppendChip(production::Store& store, const production::ChipRecord& chip) {
    const core::Outcome kept = store.Append(chip);
    if (kept.passed()) return kExitPassed;
    std::fprintf(stderr,
                 "writer-cli: the chip's record was not written to %s: %s; the chip stays as it "
                 "was programmed\n",
                 store.Where().c_str(), kept.why().c_str());
    return kExitFailed;
}

}  // namespace cli
