// The operation bracket, the composite operations, the buttons' handlers and the Auto batch.
#include <algorithm>

#include "catalogue/part_database.h"
#include "writer/writer.h"

namespace writer {

core::Outcome Writer::BeginOperation() {
    if (const core::Outcome firmware = CheckFirmware(); !firmware.passed()) {
        // A failed upgrade has had its line and box; only a writer that could not be asked at
        // all may have a reason still to give.
        return core::Outcome::NotStarted(firmware.notStarted() ? firmware.why() : std::string());
    }
    if (operationOpen) return core::Outcome::NotStarted();
    operationOpen = true;
    steps.clear();
    bench_.ComposeOptionBytes();
    log_.Clear();
    if (!link_.Connect()) {
        log_.Append("Writer connect fail !\r\n");
        operationOpen = false;
        return core::Outcome::NotStarted();
    }
    log_.Append("----Begin----\r\n");
    host_.SetProgressPosition(0);
    host_.ShowProgressBar(true);
    host_.Repaint();
    return core::Outcome::Passed();
}

void Writer::EndOperation() {
    host_.ShowProgressBar(false);
    if (link_.DeadlinePassed()) log_.Append(kDeadlinePassed);
    log_.Append("-----End-----\r\n");
    link_.Disconnect();
    operationOpen = false;
}

std::vector<std::uint8_t> Writer::Image() const {
    std::vector<std::uint8_t> image(bench_.CodeSize(), 0xFF);
    if (core::CodeBufferPort* buffer = bench_.buffer()) {
        const std::vector<std::uint8_t> bytes = buffer->Bytes();
        std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
    }
    return image;
}

namespace {

// Progress counters as ProgramAreas leaves them.
model::Areas TakeAreas(const model::Workbench& bench, WriterLink& link) {
    const model::Areas areas = bench.ProgramAreas();
    link.progressTotal = areas.apLength + areas.ispLength;
    link.progressDone = 0;
    return areas;
}

// Where the ISP bytes sit in the image: at their address after an AP area, from offset 0 in
// an ISP-only buffer.
std::uint32_t IspSource(const model::Areas& areas) {
    return areas.apLength > 0 ? areas.ispStart : 0;
}

// The `length` image bytes at `offset`, or none when they would run past it.
const std::uint8_t* Slice(const std::vector<std::uint8_t>& image, std::uint32_t offset,
                          std::uint32_t length) {
    if (static_cast<std::uint64_t>(offset) + length > image.size()) return nullptr;
    return image.data() + offset;
}

}  // namespace

core::Outcome Writer::BlankCheck() {
    const std::uint32_t start = Now();
    log_.Append("Blank Check => ");
    const model::Areas areas = TakeAreas(bench_, link_);
    auto blank = [this](std::uint32_t length, std::uint32_t address) {
        std::vector<std::uint8_t> read(length, 0);
        return DumpTarget(read.data(), length, address, true).passed() &&
               std::all_of(read.begin(), read.end(), [](std::uint8_t b) { return b == 0xFF; });
    };
    bool ok = true;
    if (areas.apLength > 0) ok = blank(areas.apLength, 0);
    if (ok && areas.ispLength > 0) ok = blank(areas.ispLength, areas.ispStart);
    log_.Append(ok ? "Pass !\t" : "Fail !\t");
    log_.Append(Elapsed(start));
    return core::Outcome::From(ok);
}

core::Outcome Writer::Erase() {
    const model::Areas areas = TakeAreas(bench_, link_);
    core::Outcome erased = core::Outcome::Passed();
    if (areas.apLength > 0) {
        erased = EraseArea(areas.apLength, 0, false);
        if (areas.ispLength == 0) return erased;
    }
    // Quiet after the AP line: its failure shows in no line, only in the outcome.
    erased &= EraseArea(areas.ispLength, areas.ispStart, areas.apLength > 0);
    return erased;
}

core::Outcome Writer::Program() {
    const model::Areas areas = TakeAreas(bench_, link_);
    if (bench_.IsBufferEmpty()) {
        log_.Append("Code Buffer is empty, and skips PROGRAM !\r\n");
        return core::Outcome::NotStarted("the code buffer is empty");
    }
    const std::uint32_t start = Now();
    log_.Append("Program => ");
    const std::vector<std::uint8_t> image = Image();
    bool ok = true;
    if (areas.apLength > 0) {
        const std::uint8_t* ap = Slice(image, 0, areas.apLength);
        ok = ap && WriteMemory(ap, areas.apLength, 0, true).passed();
    }
    if (ok && areas.ispLength > 0) {
        const std::uint8_t* isp = Slice(image, IspSource(areas), areas.ispLength);
        ok = isp && WriteMemory(isp, areas.ispLength, areas.ispStart, true).passed();
    }
    log_.Append(ok ? "Pass !\t\t" : "Fail !\t\t");
    log_.Append(Elapsed(start));
    return core::Outcome::From(ok);
}

bool Writer::ReadMatches(std::uint32_t length, std::uint32_t address,
                         const std::uint8_t* expected) {
    if (!expected) return false;
    std::vector<std::uint8_t> read(length, 0);
    return DumpTarget(read.data(), length, address, true).passed() &&
           std::equal(read.begin(), read.end(), expected);
}

core::Outcome Writer::Verify() {
    const model::Areas areas = TakeAreas(bench_, link_);
    if (bench_.IsBufferEmpty()) {
        log_.Append("Code Buffer is empty, and skips VERIFY !\r\n");
        return core::Outcome::NotStarted("the code buffer is empty");
    }
    const std::uint32_t start = Now();
    log_.Append("Verify => ");
    const std::vector<std::uint8_t> image = Image();
    bool ok = true;
    if (areas.apLength > 0) ok = ReadMatches(areas.apLength, 0, Slice(image, 0, areas.apLength));
    if (ok && areas.ispLength > 0) {
        ok = ReadMatches(areas.ispLength, areas.ispStart,
                         Slice(image, IspSource(areas), areas.ispLength));
    }
    log_.Append(ok ? "Pass !\t\t" : "Fail !\t\t");
    log_.Append(Elapsed(start));
    return core::Outcome::From(ok);
}

core::Outcome Writer::Dump() {
    const std::uint32_t size = bench_.CodeSize();
    link_.progressTotal = size;
    link_.progressDone = 0;
    std::vector<std::uint8_t> read(size, 0);
    const core::Outcome dumped = DumpTarget(read.data(), size, 0, false);
    if (dumped.passed()) {
        if (core::CodeBufferPort* buffer = bench_.buffer()) buffer->SetBytes(read);
    }
    return dumped;
}

core::Outcome Writer::ReadOptionShown() {
    std::array<std::uint8_t, 256> options{};
    const std::uint32_t count = std::min<std::uint32_t>(bench_.info.optionCount, options.size());
    const core::Outcome read = ReadOption(options.data(), count, false);
    if (read.passed()) bench_.ShowChipOptions(std::span<const std::uint8_t>(options.data(), count));
    return read;
}

const core::Outcome& Writer::Step(std::string_view name,
                                  const std::function<core::Outcome()>& run) {
    const std::uint32_t start = Now();
    core::Outcome outcome = run();
    steps.push_back({name, std::move(outcome), Now() - start});
    return steps.back().outcome;
}

core::Outcome Writer::Guarded(const std::function<void()>& run) {
    if (busy) return core::Outcome::NotStarted();
    busy = true;
    steps.clear();
    core::Outcome outcome = BeginOperation();
    if (outcome.passed()) {
        run();
        EndOperation();
        // A skip is not a failure of the operation; it stays in its step.
        for (const StepRecord& step : steps) {
            if (step.outcome.failed()) outcome &= step.outcome;
        }
        if (link_.DeadlinePassed()) outcome &= core::Outcome::Failed("the deadline passed");
    }
    busy = false;
    return outcome;
}

core::Outcome Writer::OnButton(int id) {
    auto checkId = [this] { return Step("check-id", [this] { return CheckId(false); }).passed(); };
    auto afterCheckId = [this, checkId](std::string_view name,
                                        const std::function<core::Outcome()>& then) {
        return Guarded([this, checkId, name, then] {
            if (checkId()) Step(name, then);
        });
    };
    auto alone = [this](std::string_view name, const std::function<core::Outcome()>& run) {
        return Guarded([this, name, run] { Step(name, run); });
    };
    switch (id) {
        case button::kCheckId:
            return alone("check-id", [this] { return CheckId(false); });
        case button::kErase:
            return afterCheckId("erase", [this] { return Erase(); });
        case button::kBlankCheck:
            return afterCheckId("blank-check", [this] { return BlankCheck(); });
        case button::kProgram:
            return afterCheckId("program", [this] { return Program(); });
        case button::kVerify:
            return afterCheckId("verify", [this] { return Verify(); });
        case button::kDumpTarget:
            return Guarded([this, checkId] {
                if (!checkId()) return;
                Step("dump", [this] { return Dump(); });
                Step("read-option", [this] { return ReadOptionShown(); });
            });
        case button::kWholeChipErase:
            return alone("whole-chip-erase", [this] { return WholeChipErase(false); });
        case button::kWriteOption:
            return afterCheckId("write-option", [this] {
                return ProgramOption(bench_.info.optionBytes.data(), bench_.info.optionCount,
                                     false);
            });
        case button::kReadOption:
            return afterCheckId("read-option", [this] { return ReadOptionShown(); });
        default:
            return core::Outcome::NotStarted();
    }
}

core::Outcome Writer::RunAuto(std::uint8_t mask) {
    if (busy) return core::Outcome::NotStarted();
    bench_.info.autoSteps = mask;
    return Guarded([this, mask] {
        auto stops = [this](std::string_view name, const std::function<core::Outcome()>& run) {
            return Step(name, run).failed();
        };
        if ((mask & step::kWholeChipErase) &&
            stops("whole-chip-erase", [this] { return WholeChipErase(false); })) {
            return;
        }
        if (stops("check-id", [this] { return CheckId(false); })) return;
        // Erase never stops the batch.
        if ((mask & step::kErase) && !(mask & step::kWholeChipErase)) {
            Step("erase", [this] { return Erase(); });
        }
        if ((mask & step::kBlankCheck) && stops("blank-check", [this] { return BlankCheck(); }))
            return;
        if ((mask & step::kProgram) && stops("program", [this] { return Program(); })) return;
        if ((mask & step::kVerify) && stops("verify", [this] { return Verify(); })) return;
        if (mask & step::kWriteOption) {
            Step("write-option", [this] {
                return ProgramOption(bench_.info.optionBytes.data(), bench_.info.optionCount,
                                     false);
            });
        }
    });
}

}  // namespace writer
