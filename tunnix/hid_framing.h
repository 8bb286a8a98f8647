// Report framing of a real writer: 64-byte reports whose byte 0 counts the payload bytes that
// follow (1 to 63); output reports are preceded by report id 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tnx {

inline constexpr std::size_t kReportSize = 64;
inline constexpr std::size_t kReportPayload = kReportSize - 1;

using OutputReport = std::array<std::uint8_t, kReportSize + 1>;  // report id, then the report

std::vector<OutputReport> EncodeReports(const std::uint8_t* data, std::size_t length);

// The payload of an input report of which `received` bytes arrived, or nullopt when it is not
// one of the writer's: anything but exactly kReportSize bytes (a short report, or one with a
// report id in front) or a count outside 1 to 63. Taking such a report at its word would turn
// its id or padding into data.
std::optional<std::span<const std::uint8_t>> DecodeReport(const std::uint8_t* report,
                                                          std::size_t received);

}  // namespace tnx
