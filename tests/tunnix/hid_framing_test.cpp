// The report framing a real writer gets: what goes out, and what is believed of what comes in.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "tunnix/hid_framing.h"

using tnx::DecodeReport;
using tnx::EncodeReports;

TEST(HidFraming, AChunkIsSplitIntoCountedReportsWithIdZero) {
    std::vector<std::uint8_t> chunk(128);
    std::iota(chunk.begin(), chunk.end(), 0);
    const auto reports = EncodeReports(chunk.data(), chunk.size());
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0][1], 63);
    EXPECT_EQ(reports[1][1], 63);
    EXPECT_EQ(reports[2][1], 2);
    std::vector<std::uint8_t> joined;
    for (const auto& r : reports) {
        EXPECT_EQ(r[0], 0);  // report id
        const auto payload = DecodeReport(r.data() + 1, r.size() - 1);
        ASSERT_TRUE(payload);
        joined.insert(joined.end(), payload->begin(), payload->end());
    }
    EXPECT_EQ(joined, chunk);
    // Padding after a short payload is zero.
    for (std::size_t i = 4; i < reports[2].size(); ++i) EXPECT_EQ(reports[2][i], 0) << i;
    EXPECT_TRUE(EncodeReports(chunk.data(), 0).empty());
    EXPECT_EQ(EncodeReports(chunk.data(), 16).size(), 1u);
}

// A report is believed only when it is exactly one of the writer's: anything else would turn a
// report id, a count or padding into data.
TEST(HidFraming, OnlyAWholeReportWithAPlausibleCountIsBelieved) {
    std::uint8_t report[65] = {};
    report[0] = 63;
    report[63] = 0xAB;
    const auto full = DecodeReport(report, 64);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->size(), 63u);
    EXPECT_EQ(full->back(), 0xAB);
    report[0] = 1;
    ASSERT_TRUE(DecodeReport(report, 64));
    EXPECT_EQ(DecodeReport(report, 64)->size(), 1u);
    EXPECT_FALSE(DecodeReport(report, 32));  // short
    EXPECT_FALSE(DecodeReport(report, 65));  // a report id in front
    EXPECT_FALSE(DecodeReport(report, 0));
    report[0] = 64;  // claims more than a report holds
    EXPECT_FALSE(DecodeReport(report, 64));
    report[0] = 0;
    EXPECT_FALSE(DecodeReport(report, 64));
}
