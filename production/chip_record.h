// One operation on one chip as the production record keeps it, and the questions asked of the
// record: which chips (a filter) and how the days went (per day and writer).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/outcome.h"

namespace production {

struct StepRecord {
    std::string name;  // as the log names the step: "Program", "Verify", ...
    core::Ending ending = core::Ending::kNotStarted;
    std::int64_t elapsedMs = 0;

    friend bool operator==(const StepRecord&, const StepRecord&) = default;
};

struct ChipRecord {
    std::int64_t id = 0;       // given by the record when the chip is appended
    std::string timeUtc;       // when the chip began: "2024-05-01T08:30:00.125Z"
    std::string station;       // the host name
    std::string writerName;    // the path or socket the writer was chosen by
    std::string writerSerial;  // its USB serial string; empty when it has none
    std::string partName;
    int partIndex = 0;
    std::string projectFile;     // empty when the image came from elsewhere
    std::uint16_t checksum = 0;  // the code checksum as the window shows it
    std::string sha256;          // 64 lower-case hexadecimal digits
    std::string sequence;        // the serial string the number counts in
    std::optional<std::uint32_t> serial;
    std::vector<StepRecord> steps;
    core::Ending result = core::Ending::kNotStarted;
    std::int64_t elapsedMs = 0;
    std::string version;  // of the program that made the record

    friend bool operator==(const ChipRecord&, const ChipRecord&) = default;
};

// A record begun now, on this station, by this program; the caller fills in the rest.
ChipRecord NewChip();
// Checksum and SHA-256 of the bytes programmed into the chip, its serial number included.
void SetImage(ChipRecord& chip, std::span<const std::uint8_t> image);

std::string_view ProgramVersion();
std::string StationName();
// The current time in the record's form, "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string NowUtc();
// A date ("2024-05-01") or a date and time ("2024-05-01T08:30", seconds, milliseconds, "Z" or
// an offset such as "+02:00" optional; without an offset the time is UTC) in the record's
// form; nothing when the text is neither.
std::optional<std::string> UtcText(std::string_view text);

// The stored name of an ending: "passed", "failed" or "not started". A name the program does
// not know (the database is shared, and may have been edited) reads as failed.
core::Ending EndingFromName(std::string_view name);

// Which chips a listing holds; an empty field matches every chip.
struct Filter {
    std::string sinceUtc;  // in the record's form (UtcText)
    std::optional<std::uint32_t> serial;
    std::string writer;  // its name or its USB serial string
};

// The chips one writer did on one day (UTC).
struct DayWriterStats {
    std::string day;  // "2024-05-01"
    std::string writer;
    std::int64_t chips = 0;
    std::int64_t passed = 0;
    std::int64_t failed = 0;

    // Passed chips in percent of all chips; 0 when there are none.
    double YieldPercent() const { return chips ? 100.0 * passed / chips : 0.0; }
};

}  // namespace production
