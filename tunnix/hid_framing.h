// Report framing of a real writer: 64-byte reports whose byte 0 counts the payload bytes that
// follow (1 to 63); output reports are preceded by report id 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tnx {

inline constexpr std::size_t kReportSize = 64;
inline constexpr std::size_t kReportPayload = kReportSize - 1;

using OutputReport = std::array<std::uint8_t, kReportSize + 1>;  // report id, then the report

std::vector<OutputReport> EncodeReports(const std::uint8_t* data, std::size_t length);

// The payload of an input report of which `received` bytes arrived; a count that claims more
// than arrived is cut to what did.
std::span<const std::uint8_t> DecodeReport(const std::uint8_t* report, std::size_t received);

}  // namespace tnx
