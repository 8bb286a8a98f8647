// The production record: one entry per operation on one chip, and the serial numbers taken,
// kept in SQLite on this station, in a PostgreSQL database a whole line shares, or nowhere.
// A store is used by the thread that opened it; threads and processes that work at once each
// open their own on the same record.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/outcome.h"
#include "production/chip_record.h"
#include "production/result.h"

namespace production {

// Numbers counted under one name (the serial string), from `start` in steps of `step`.
struct SerialSequence {
    std::string name;
    std::uint32_t start = 1;
    std::uint32_t step = 1;
};

class Store {
  public:
    virtual ~Store() = default;

    // Where the record is, for messages; never with a password.
    virtual const std::string& Where() const = 0;

    // The sequence's next number, marked taken for good before it is returned: it is never
    // handed out again, whatever becomes of the chip, the program or the station. The first
    // number is `start`; each later one is the last one taken plus `step`, or `start` when
    // that is higher: a start below numbers already taken continues after them (a first
    // number other than `start` tells the operator so).
    virtual Result<std::uint32_t> TakeSerial(const SerialSequence& sequence) = 0;

    // One chip in one transaction: when this passes the chip is on disk. A serial number must
    // have been taken from this record, and goes on one chip only.
    virtual core::Outcome Append(const ChipRecord& chip) = 0;

    // The chips the filter lets through, oldest first.
    virtual Result<std::vector<ChipRecord>> List(const Filter& filter) = 0;

    // Per day and writer, by day, then writer.
    virtual Result<std::vector<DayWriterStats>> Stats() = 0;
};

struct OpenOptions {
    // How long a call waits for others that hold the record before it gives up.
    std::chrono::milliseconds busyDeadline{10000};
};

// Opens the record `--record` names (see ParseRecordUrl), creating it and its tables on first
// use. Refused with a message when it cannot be reached or its tables are of a newer version.
Result<std::unique_ptr<Store>> OpenRecord(std::string_view url, const OpenOptions& options = {});

}  // namespace production
