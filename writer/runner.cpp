// The operation bracket, the composite operations, the buttons' handlers and the Auto batch.
#include <algorithm>

#include "catalogue/part_database.h"
#include "writer/writer.h"

namespace writer {

bool Writer::BeginOperation() {
    if (!CheckFirmware()) return false;
    if (operationOpen) return false;
    operationOpen = true;
    bench_.ComposeOptionBytes();
    log_.Clear();
    if (!link_.Connect()) {
        log_.Append("Writer connect fail !\r\n");
        operationOpen = false;
        return false;
    }
    log_.Append("----Begin----\r\n");
    host_.SetProgressPosition(0);
    host_.ShowProgressBar(true);
    host_.Repaint();
    return true;
}

void Writer::EndOperation() {
    host_.ShowProgressBar(false);
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

bool Writer::BlankCheck() {
    const std::uint32_t start = Now();
    log_.Append("Blank Check => ");
    const model::Areas areas = TakeAreas(bench_, link_);
    auto blank = [this](std::uint32_t length, std::uint32_t address) {
        std::vector<std::uint8_t> read(length, 0);
        return DumpTarget(read.data(), length, address, true) &&
               std::all_of(read.begin(), read.end(), [](std::uint8_t b) { return b == 0xFF; });
    };
    bool ok = true;
    if (areas.apLength > 0) ok = blank(areas.apLength, 0);
    if (ok && areas.ispLength > 0) ok = blank(areas.ispLength, areas.ispStart);
    log_.Append(ok ? "Pass !\t" : "Fail !\t");
    log_.Append(Elapsed(start));
    return ok;
}

bool Writer::Erase() {
    const model::Areas areas = TakeAreas(bench_, link_);
    if (areas.apLength > 0) {
        EraseArea(areas.apLength, 0, false);
        if (areas.ispLength == 0) return true;
    }
    EraseArea(areas.ispLength, areas.ispStart, areas.apLength > 0);
    return true;
}

bool Writer::Program() {
    const model::Areas areas = TakeAreas(bench_, link_);
    if (bench_.IsBufferEmpty()) {
        log_.Append("Code Buffer is empty, and skips PROGRAM !\r\n");
        return true;
    }
    const std::uint32_t start = Now();
    log_.Append("Program => ");
    const std::vector<std::uint8_t> image = Image();
    bool ok = true;
    if (areas.apLength > 0) {
        const std::uint8_t* ap = Slice(image, 0, areas.apLength);
        ok = ap && WriteMemory(ap, areas.apLength, 0, true);
    }
    if (ok && areas.ispLength > 0) {
        const std::uint8_t* isp = Slice(image, IspSource(areas), areas.ispLength);
        ok = isp && WriteMemory(isp, areas.ispLength, areas.ispStart, true);
    }
    log_.Append(ok ? "Pass !\t\t" : "Fail !\t\t");
    log_.Append(Elapsed(start));
    return ok;
}

bool Writer::ReadMatches(std::uint32_t length, std::uint32_t address,
                         const std::uint8_t* expected) {
    if (!expected) return false;
    std::vector<std::uint8_t> read(length, 0);
    return DumpTarget(read.data(), length, address, true) &&
           std::equal(read.begin(), read.end(), expected);
}

bool Writer::Verify() {
    const model::Areas areas = TakeAreas(bench_, link_);
    if (bench_.IsBufferEmpty()) {
        log_.Append("Code Buffer is empty, and skips VERIFY !\r\n");
        return true;
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
    return ok;
}

bool Writer::Dump() {
    const std::uint32_t size = bench_.CodeSize();
    link_.progressTotal = size;
    link_.progressDone = 0;
    std::vector<std::uint8_t> read(size, 0);
    dumpPassed = DumpTarget(read.data(), size, 0, false);
    if (dumpPassed) {
        if (core::CodeBufferPort* buffer = bench_.buffer()) buffer->SetBytes(read);
    }
    std::array<std::uint8_t, 256> options{};
    const std::uint32_t count = std::min<std::uint32_t>(bench_.info.optionCount, options.size());
    const bool optionsRead = ReadOption(options.data(), count, false);
    if (optionsRead) bench_.ShowChipOptions(std::span<const std::uint8_t>(options.data(), count));
    return dumpPassed && optionsRead;
}

bool Writer::Guarded(const std::function<bool()>& steps) {
    if (busy) return false;
    busy = true;
    bool ok = false;
    if (BeginOperation()) {
        ok = steps();
        EndOperation();
    }
    busy = false;
    return ok;
}

bool Writer::OnButton(int id) {
    auto afterCheckId = [this](const std::function<bool()>& then) {
        return Guarded([this, then] { return CheckId(false) && then(); });
    };
    switch (id) {
        case button::kCheckId:
            return Guarded([this] { return CheckId(false); });
        case button::kErase:
            return afterCheckId([this] { return Erase(); });
        case button::kBlankCheck:
            return afterCheckId([this] { return BlankCheck(); });
        case button::kProgram:
            return afterCheckId([this] { return Program(); });
        case button::kVerify:
            return afterCheckId([this] { return Verify(); });
        case button::kDumpTarget:
            return afterCheckId([this] { return Dump(); });
        case button::kWholeChipErase:
            return Guarded([this] { return WholeChipErase(false); });
        case button::kWriteOption:
            return afterCheckId([this] {
                return ProgramOption(bench_.info.optionBytes.data(), bench_.info.optionCount,
                                     false);
            });
        case button::kReadOption:
            return afterCheckId([this] {
                std::array<std::uint8_t, 256> options{};
                const std::uint32_t count = bench_.info.optionCount;
                if (!ReadOption(options.data(), count, false)) return false;
                bench_.ShowChipOptions(std::span<const std::uint8_t>(options.data(), count));
                return true;
            });
        default:
            return false;
    }
}

bool Writer::RunAuto(std::uint8_t mask) {
    if (busy) return false;
    bench_.info.autoSteps = mask;
    busy = true;
    if (!BeginOperation()) {
        busy = false;
        return false;
    }
    auto run = [&]() {
        if ((mask & step::kWholeChipErase) && !WholeChipErase(false)) return false;
        if (!CheckId(false)) return false;
        if ((mask & step::kErase) && !(mask & step::kWholeChipErase)) Erase();
        if ((mask & step::kBlankCheck) && !BlankCheck()) return false;
        if ((mask & step::kProgram) && !Program()) return false;
        if ((mask & step::kVerify) && !Verify()) return false;
        if (mask & step::kWriteOption) {
            return ProgramOption(bench_.info.optionBytes.data(), bench_.info.optionCount, false);
        }
        return true;
    };
    const bool ok = run();
    EndOperation();
    busy = false;
    return ok;
}

}  // namespace writer
