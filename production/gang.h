// A gang run: the same operation on several writers at once, each in a process of its own.
// Here is what needs no processes: which writers, what each one's output says, and the
// summary at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "production/writers.h"

namespace production {

struct GangWriter {
    std::string name;       // as the operator named it, or as the listing shows it
    std::string selection;  // the TUNNIX_DEVICE value its process gets
};

struct GangChoice {
    std::vector<GangWriter> writers;
    std::string problem;  // a name that matches none or several, or names a writer twice
};

// "all": every attached writer not in its loader, each named by its USB serial string when
// no other writer has it, else by its path. Else names separated by commas.
GangChoice ChooseGang(std::string_view writerList, const std::vector<AttachedWriter>& attached);

// One writer's run as its process's output tells it.
class GangProgress {
  public:
    // Bytes of the operation's log: the lines completed by them, in order. An unfinished line
    // ("Program => ") names the step under way; "Serial number: N" the chip's number.
    std::vector<std::string> TakeLog(std::string_view bytes);
    // Bytes from the gang channel ("progress P" lines).
    void TakeChannel(std::string_view bytes);
    // What is left of an unfinished log line when the process has ended.
    std::optional<std::string> FlushLog();

    const std::string& step() const { return step_; }
    unsigned percent() const { return percent_; }
    const std::optional<std::uint32_t>& serial() const { return serial_; }

  private:
    void NoteStep(const std::string& text);
    std::string partial_;
    std::string channel_;
    std::string step_;
    unsigned percent_ = 0;
    std::optional<std::uint32_t> serial_;
};

struct GangOutcome {
    std::string name;
    std::optional<std::uint32_t> serial;
    int exitStatus = 1;  // the operation's, or 1 when its process was killed
    std::int64_t elapsedMs = 0;
};

// The table at the end: writer, serial number, result, elapsed; then the totals.
std::string GangSummary(const std::vector<GangOutcome>& outcomes);
// The command that runs `operationArgs` again on the writers that failed; empty when none did.
std::string RerunCommand(const std::vector<GangOutcome>& outcomes,
                         const std::vector<std::string>& operationArgs);

}  // namespace production
