// The commands the writer understands: frame, data phase, verdict and log line of each.
#include <chrono>

#include "catalogue/part_database.h"
#include "core/bytes.h"
#include "writer/writer.h"

namespace writer {

namespace {

constexpr std::uint32_t kTrimResultTimeoutMs = 10000;

}  // namespace

Writer::Writer(model::Workbench& bench, WriterLink& link, Host& host, core::MessageSink& log,
               core::Questions& questions)
    : bench_(bench), link_(link), host_(host), log_(log), questions_(questions) {}

std::uint32_t Writer::Now() const {
    if (ticks) return ticks();
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string Writer::Elapsed(std::uint32_t start) const {
    const std::uint32_t ms = Now() - start;  // unsigned: a wrapped tick count still subtracts
    return core::Format(" [%.3f\"]\r\n", ms * 0.001);
}

void Writer::Say(std::string_view text, bool quiet) {
    if (!quiet) log_.Append(text);
}

std::uint32_t Writer::DeviceCode() {
    const std::uint32_t code = cat::Part(bench_.currentPart).DeviceCode();
    bench_.info.partIndex = static_cast<std::uint16_t>(code);
    return code;
}

core::Outcome Writer::StatusCommand(std::string_view label, std::uint8_t command,
                                    std::uint8_t subcommand, std::uint32_t p1, std::uint32_t p2,
                                    std::string_view pass, std::string_view fail, bool quiet,
                                    const std::function<bool()>& dataPhase) {
    const std::uint32_t start = Now();
    Say(label, quiet);
    bool ok = link_.Exchange(command, subcommand, p1, p2, 0, 1, nullptr, 0) != 0;
    if (ok && dataPhase) ok = dataPhase();
    if (!quiet) {
        Say(ok ? pass : fail);
        Say(Elapsed(start));
    }
    return core::Outcome::From(ok);
}

core::Outcome Writer::FirmwareVersion(FirmwareReply& reply) {
    reply.fill(0);
    return core::Outcome::From(link_.Exchange(0, 0, 0, 0, 0, reply.size(), reply.data(), 0) != 0);
}

core::Outcome Writer::CheckId(bool quiet) {
    return StatusCommand("Check ID => ", 0, 1, DeviceCode(), 0, "Pass !\t\t", "Fail !\t\t", quiet);
}

core::Outcome Writer::WholeChipErase(bool quiet) {
    return StatusCommand("Whole-Chip Erase => ", 1, 0, DeviceCode(), 0, "Pass !\t", "Fail !\t",
                         quiet);
}

core::Outcome Writer::EraseArea(std::uint32_t length, std::uint32_t start, bool quiet) {
    const std::uint32_t pages = (length + 511u) >> 9;
    return StatusCommand("Erase => ", 1, 1, start, pages, "Pass !\t\t", "Fail !\t\t", quiet);
}

core::Outcome Writer::WriteMemory(const std::uint8_t* data, std::uint32_t length,
                                  std::uint32_t start, bool quiet) {
    return StatusCommand("Write Memory => ", 2, 0, start, length, "Pass !\t", "Fail !\t", quiet,
                         [&] { return link_.BulkWrite(data, length, 0); });
}

core::Outcome Writer::ProgramOption(const std::uint8_t* bytes, std::uint32_t count, bool quiet) {
    const std::uint32_t start = Now();
    Say("Program Option => ", quiet);
    bool ok = Trim(true).passed();
    if (ok) {
        // Parts with more than nine option bytes take the first eight.
        const std::uint32_t sent = count > 9 ? 8 : count;
        link_.progressDone = 0;
        link_.progressTotal = sent;
        ok =
            link_.Exchange(2, 1, 0, sent, 0, 1, nullptr, 0) != 0 && link_.BulkWrite(bytes, sent, 0);
    }
    if (!quiet) {
        Say(ok ? "Pass !\t" : "Fail !\t");
        Say(Elapsed(start));
    }
    return core::Outcome::From(ok);
}

core::Outcome Writer::WriteCode(const std::uint8_t* data, std::uint32_t length, bool quiet) {
    link_.progressTotal = length;
    link_.progressDone = 0;
    return StatusCommand("Write Code => ", 2, 2, 0, length, "Pass !\t", "Fail !\t", quiet,
                         [&] { return link_.BulkWrite(data, length, 0); });
}

core::Outcome Writer::WriteInfo(const std::uint8_t* record, std::uint32_t length, bool quiet) {
    link_.progressTotal = length;
    link_.progressDone = 0;
    return StatusCommand("Write Info => ", 2, 3, 0, length, "Pass !\t", "Fail !\t", quiet,
                         [&] { return link_.BulkWrite(record, length, 0); });
}

core::Outcome Writer::DumpTarget(std::uint8_t* buffer, std::uint32_t length, std::uint32_t start,
                                 bool quiet) {
    return StatusCommand("Dump Target => ", 3, 0, start, length, "Pass !\t", "Fail !\t", quiet,
                         [&] { return link_.BulkRead(buffer, length, 0); });
}

core::Outcome Writer::ReadOption(std::uint8_t* buffer, std::uint32_t length, bool quiet) {
    link_.progressDone = 0;
    link_.progressTotal = length;
    core::Outcome read = StatusCommand("Read Opiton => ", 3, 1, 0, length, "Pass !\t", "Fail !\t",
                                       quiet, [&] { return link_.BulkRead(buffer, length, 0); });
    if (read.passed()) optionBytesRead.assign(buffer, buffer + length);
    return read;
}

core::Outcome Writer::Trim(bool /*quiet*/) {
    const cat::Part part(bench_.currentPart);
    if (part.Number(cat::key::kOscAvailable) == 0) return core::Outcome::Passed();
    link_.progressDone = 0;
    link_.progressTotal = 1;
    const std::uint32_t device = DeviceCode();
    const std::uint32_t osc = static_cast<std::uint32_t>(bench_.panel.osc.ValueOfSelection());
    if (link_.Exchange(3, 4, device, osc, 0, 1, nullptr, 0) == 0) return core::Outcome::Failed();
    std::uint8_t result = 0;
    return core::Outcome::From(link_.BulkRead(&result, 1, kTrimResultTimeoutMs) && result != 0);
}

core::Outcome Writer::UpgradeImage(std::span<const std::uint8_t> image) {
    const auto length = static_cast<std::uint32_t>(image.size());
    link_.progressTotal = length;
    link_.progressDone = 0;
    return core::Outcome::From(link_.Exchange(4, 0, 0, length, 0, 1, nullptr, 0) != 0 &&
                               link_.BulkWrite(image.data(), length, 0));
}

}  // namespace writer
