// The writer side of the main window: the command set, the operation bracket, the composite
// operations, the Auto batch and the firmware check. It reaches the operator only through the
// log, the questions and the Host; the window and writer-cli each provide them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/operator_ports.h"
#include "core/outcome.h"
#include "workbench/workbench.h"
#include "writer/host.h"
#include "writer/writer_link.h"

namespace writer {

// Main-window buttons that start a writer operation.
namespace button {
inline constexpr int kDumpTarget = 1003;
inline constexpr int kOffline = 1005;
inline constexpr int kCheckId = 1006;
inline constexpr int kErase = 1007;
inline constexpr int kBlankCheck = 1008;
inline constexpr int kProgram = 1009;
inline constexpr int kVerify = 1010;
inline constexpr int kAuto = 1011;
inline constexpr int kWholeChipErase = 1012;
inline constexpr int kWriteOption = 1013;
inline constexpr int kReadOption = 1014;
}  // namespace button

// Auto step bits.
namespace step {
inline constexpr std::uint8_t kWholeChipErase = 0x01;
inline constexpr std::uint8_t kBlankCheck = 0x02;
inline constexpr std::uint8_t kProgram = 0x04;
inline constexpr std::uint8_t kVerify = 0x08;
inline constexpr std::uint8_t kWriteOption = 0x10;
inline constexpr std::uint8_t kErase = 0x20;
}  // namespace step

using FirmwareReply = std::array<std::uint8_t, 6>;

// One step of an operation, as writer-cli reports it: the name of its operation
// ("check-id", "program", ...), how it ended, and how long it took.
struct StepRecord {
    std::string_view name;
    core::Outcome outcome;
    std::uint32_t elapsedMs = 0;
};

// The busy flag; whoever watches it (the window greys its controls) hears every change.
class BusyFlag {
  public:
    BusyFlag& operator=(bool value) {
        const bool changed = value != value_;
        value_ = value;
        if (changed && onChange) onChange(value);
        return *this;
    }
    operator bool() const { return value_; }
    std::function<void(bool busy)> onChange;

  private:
    bool value_ = false;
};

class Writer {
  public:
    Writer(model::Workbench& bench, WriterLink& link, Host& host, core::MessageSink& log,
           core::Questions& questions);
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    WriterLink& link() { return link_; }
    model::Workbench& bench() { return bench_; }
    core::MessageSink& log() { return log_; }
    core::Questions& questions() { return questions_; }
    Host& host() { return host_; }

    // Set while a handler runs; a second operation started from inside the pump is turned away.
    BusyFlag busy;
    // Set between BeginOperation and EndOperation.
    bool operationOpen = false;

    // Millisecond ticks for the elapsed times; a steady clock unless a test sets another.
    std::function<std::uint32_t()> ticks;
    // The DFU upgrade of an image. Unset: the writer's DFU image is never compared, so no DFU
    // upgrade is offered.
    std::function<core::Outcome(std::span<const std::uint8_t> image)> dfuUpgrade;

    // Commands. Each writes its label, verdict and elapsed time unless quiet.
    core::Outcome FirmwareVersion(FirmwareReply& reply);
    core::Outcome CheckId(bool quiet);
    core::Outcome WholeChipErase(bool quiet);
    core::Outcome EraseArea(std::uint32_t length, std::uint32_t start, bool quiet);
    core::Outcome WriteMemory(const std::uint8_t* data, std::uint32_t length, std::uint32_t start,
                              bool quiet);
    core::Outcome ProgramOption(const std::uint8_t* bytes, std::uint32_t count, bool quiet);
    core::Outcome WriteCode(const std::uint8_t* data, std::uint32_t length, bool quiet);
    core::Outcome WriteInfo(const std::uint8_t* record, std::uint32_t length, bool quiet);
    core::Outcome DumpTarget(std::uint8_t* buffer, std::uint32_t length, std::uint32_t start,
                             bool quiet);
    // Keeps the bytes read in `optionBytesRead` when it passes.
    core::Outcome ReadOption(std::uint8_t* buffer, std::uint32_t length, bool quiet);
    core::Outcome Trim(bool quiet);
    // Command 4/0 with the image as its data phase (the writer's own upgrade path).
    core::Outcome UpgradeImage(std::span<const std::uint8_t> image);

    // The operation bracket. Not started: no writer, firmware not current, or already open.
    core::Outcome BeginOperation();
    void EndOperation();

    // Composites, run inside an open operation. Erase and the skips of Program and Verify for
    // an empty buffer never stop a batch, but their outcomes say what really happened: Erase
    // fails when either area's erase failed, a skip is "not started".
    core::Outcome BlankCheck();
    core::Outcome Erase();
    core::Outcome Program();
    core::Outcome Verify();

    // A main-window button's handler (Check ID, Erase, Blank Check, Program, Verify, Dump
    // Target, Whole-Chip Erase, Write Option, Read Option). Not started when turned away or when
    // the operation could not begin (the why, when there is one, is for the operator); failed
    // when a step failed; every step's own outcome is in `steps`.
    core::Outcome OnButton(int id);
    // The Auto batch in its fixed order; stores `mask` in the project first.
    core::Outcome RunAuto(std::uint8_t mask);

    // The steps of the last operation, from its BeginOperation on.
    std::vector<StepRecord> steps;
    // The option bytes of the last Read Option that passed.
    std::vector<std::uint8_t> optionBytesRead;

    // Before every operation: the writer's firmware against the images carried for the part,
    // upgraded after the operator agrees. Anything but passed: the operation must not start.
    core::Outcome CheckFirmware();
    // The attached writer's firmware family (reply byte 0), none when no writer connects.
    std::optional<std::uint32_t> ProbeFamily();

    // Elapsed-time text " [s.mmm\"]\r\n" for ticks taken at `start`.
    std::string Elapsed(std::uint32_t start) const;
    std::uint32_t Now() const;

  private:
    void Say(std::string_view text, bool quiet = false);
    // Label, exchange with a status byte, data phase, verdict, elapsed time.
    core::Outcome StatusCommand(std::string_view label, std::uint8_t command,
                                std::uint8_t subcommand, std::uint32_t p1, std::uint32_t p2,
                                std::string_view pass, std::string_view fail, bool quiet,
                                const std::function<bool()>& dataPhase = {});
    std::uint32_t DeviceCode();               // read fresh; also stored in the project's partIndex
    std::vector<std::uint8_t> Image() const;  // codeSize bytes of 0xFF under the buffer
    bool ReadMatches(std::uint32_t length, std::uint32_t start, const std::uint8_t* expected);
    // Runs one step of an operation and records it in `steps`; the outcome returned is the
    // recorded one, good until the next step.
    const core::Outcome& Step(std::string_view name, const std::function<core::Outcome()>& run);
    core::Outcome Guarded(const std::function<void()>& run);
    // Dump Target's two steps: the chip into the buffer, then its options whatever the first
    // gave.
    core::Outcome Dump();
    core::Outcome ReadOptionShown();
    bool AskUpgrade();

    model::Workbench& bench_;
    WriterLink& link_;
    Host& host_;
    core::MessageSink& log_;
    core::Questions& questions_;
};

// The English texts the firmware question and the upgrade failure fall back to.
inline constexpr std::string_view kUpgradeQuestion =
    "Unmatched firmware version on the writer .\r\nPress <OK> to update or <Cancel> to quit .";
inline constexpr std::string_view kUpgradeFailed = "Upgrade fail !\r\nPlease contact Corvane !";
// Why no operation starts on a writer whose application is gone but whose loader answers.
inline constexpr std::string_view kStrandedInLoader =
    "The writer answers only in its loader: a firmware upgrade did not finish.\n"
    "Run 'writer-cli upgrade --force' to finish it.";
// The line that ends an operation which ran past the link's deadline.
inline constexpr std::string_view kDeadlinePassed = "Operation deadline passed !\r\n";

}  // namespace writer
