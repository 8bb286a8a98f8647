#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue/lookup.h"
#include "project/project_info.h"

namespace {

TEST(ProjectInfoReset, GivesEveryFieldItsResetValue) {
    proj::ProjectInfo info;
    info.dataLength = 77;
    info.sourceName.fill('x');
    info.trailerLength = 9;
    proj::ResetProjectInfo(info);

    EXPECT_EQ(std::string_view(info.magic.data(), info.magic.size()), "Corvane. Writer");
    EXPECT_EQ(info.partIndex, 0xFFFF);
    EXPECT_EQ(info.layout, proj::LAYOUT_AP_ISP);
    EXPECT_EQ(info.autoSteps, 0x1F);
    EXPECT_EQ(info.ispSource, proj::ISP_SRC_NONE);
    EXPECT_TRUE(std::all_of(info.optionBytes.begin(), info.optionBytes.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(info.SerialString(), "            ");
    EXPECT_EQ(info.formatKind, 5);
    EXPECT_EQ(info.formatVersion, cat::ProjectVersion());
    EXPECT_EQ(info.dataLength, 0u);
    EXPECT_EQ(info.trailerLength, 0);
    EXPECT_EQ(info.sourceNameLength, 0);
    EXPECT_TRUE(
        std::all_of(info.sourceName.begin(), info.sourceName.end(), [](char c) { return c == 0; }));
    EXPECT_EQ(info.serialAddress, 0u);
    EXPECT_EQ(info.customFlag, 0);
}

TEST(ProjectInfoNames, AreCutToTheLengthByte) {
    proj::ProjectInfo info;
    proj::ResetProjectInfo(info);
    info.SetSourceName("main.hex");
    EXPECT_EQ(info.SourceName(), "main.hex");
    info.SetIspName(std::string(300, 'a'));
    EXPECT_EQ(info.IspName().size(), 255u);
}

}  // namespace
