// Merge and insertion rules as pure functions: layouts, and bounds when the buffer does not hold
// what the record says.
#include "project/program_image.h"

#include <gtest/gtest.h>

using namespace proj;

namespace {

ProjectInfo Fresh() {
    ProjectInfo info;
    ResetProjectInfo(info);
    return info;
}

ByteVector Bytes(std::initializer_list<int> values) {
    ByteVector v;
    for (int x : values) v.push_back(static_cast<std::uint8_t>(x));
    return v;
}

}  // namespace

TEST(MergeProgramImage, FirstLoadThenIapDataOverlay) {
    ProjectInfo info = Fresh();
    const BufferGeometry g{0x1000, 0};
    ByteVector buffer = MergeProgramImage(info, {}, Bytes({1, 2, 3, 4}), 0, g);
    EXPECT_EQ(buffer, Bytes({1, 2, 3, 4}));
    EXPECT_EQ(info.layout, LAYOUT_AP_ONLY);
    EXPECT_EQ(info.apLength, 4u);
    buffer = MergeProgramImage(info, buffer, Bytes({9, 8}), 10, g);
    EXPECT_EQ(buffer, Bytes({1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 9, 8}));
    EXPECT_EQ(info.apLength, 12u);
    // A smaller image inside the buffer keeps its size; LAYOUT_NONE merges the same way.
    info.layout = LAYOUT_NONE;
    buffer = MergeProgramImage(info, buffer, Bytes({7}), 1, g);
    EXPECT_EQ(buffer.size(), 12u);
    EXPECT_EQ(buffer[1], 7);
    EXPECT_EQ(info.layout, LAYOUT_NONE);
    // The first load placed above 0 starts with a fresh 0xFF block.
    info = Fresh();
    EXPECT_EQ(MergeProgramImage(info, {}, Bytes({5}), 2, g), Bytes({0xFF, 0xFF, 5}));
    // An empty HEX image at address 0 leaves the buffer empty.
    info = Fresh();
    EXPECT_TRUE(MergeProgramImage(info, {}, {}, 0, g).empty());
    EXPECT_EQ(info.layout, LAYOUT_AP_ONLY);
}

TEST(MergeProgramImage, IspCodeStaysAtTheTop) {
    const BufferGeometry g{0x100, 0x40};
    // Insert into an empty buffer: the code alone.
    ProjectInfo info = Fresh();
    const ByteVector code(0x30, 0xA5);
    ByteVector buffer = ComposeIspBuffer(info, {}, code, g);
    info.ispLength = 0x30;
    EXPECT_EQ(buffer, code);
    EXPECT_EQ(info.layout, LAYOUT_ISP_ONLY);
    // A binary load then yields the full-size buffer with the code moved to the top.
    buffer = MergeProgramImage(info, buffer, Bytes({1, 2}), 0, g);
    ASSERT_EQ(buffer.size(), 0x100u);
    EXPECT_EQ(info.layout, LAYOUT_AP_ISP);
    EXPECT_EQ(info.apLength, 2u);
    EXPECT_EQ(buffer[0xC0], 0xA5);
    EXPECT_EQ(buffer[0xEF], 0xA5);
    EXPECT_EQ(buffer[0xF0], 0xFF);
    EXPECT_EQ(buffer[2], 0xFF);
    // Later loads lay over the full buffer and keep the code.
    buffer = MergeProgramImage(info, buffer, Bytes({3, 3, 3, 3}), 0x10, g);
    EXPECT_EQ(buffer.size(), 0x100u);
    EXPECT_EQ(buffer[0x10], 3);
    EXPECT_EQ(buffer[0xC0], 0xA5);
    EXPECT_EQ(info.apLength, 0x14u);
    // Re-inserting drops what the ISP area held and any application byte above it.
    buffer[0xBF] = 0x11;
    buffer = ComposeIspBuffer(info, buffer, ByteVector(0x10, 0x5A), g);
    EXPECT_EQ(buffer.size(), 0x100u);
    EXPECT_EQ(buffer[0xBF], 0x11);
    EXPECT_EQ(buffer[0xC0], 0x5A);
    EXPECT_EQ(buffer[0xD0], 0xFF);
    EXPECT_EQ(info.layout, LAYOUT_AP_ISP);
}

TEST(MergeProgramImage, BuffersThatDisagreeWithTheRecordStayInBounds) {
    // ISP-only code of 0x30 bytes, but the ISP space was set to None by hand afterwards.
    ProjectInfo info = Fresh();
    info.layout = LAYOUT_ISP_ONLY;
    info.ispLength = 0x30;
    ByteVector buffer = MergeProgramImage(info, ByteVector(0x30, 0xA5), Bytes({1}), 0, {0x100, 0});
    EXPECT_EQ(buffer.size(), 0x100u);
    // ... or the operator shortened the buffer to fewer bytes than ispLength.
    info = Fresh();
    info.layout = LAYOUT_ISP_ONLY;
    info.ispLength = 0x30;
    buffer = MergeProgramImage(info, ByteVector(3, 0xA5), Bytes({1}), 0, {0x100, 0x40});
    EXPECT_EQ(buffer[0xC2], 0xA5);
    EXPECT_EQ(buffer[0xC3], 0xFF);
    // AP+ISP with the full buffer cut short by hand.
    info = Fresh();
    info.apLength = 4;
    info.ispLength = 0x10;
    buffer = MergeProgramImage(info, ByteVector(5, 0), Bytes({1}), 0x20, {0x100, 0x40});
    EXPECT_EQ(buffer.size(), 0x100u);
    EXPECT_EQ(buffer[0x20], 1);
    // A project from elsewhere: AP+ISP with application code but no ISP code.
    info = Fresh();
    info.apLength = 8;
    buffer = MergeProgramImage(info, ByteVector(8, 0), Bytes({1, 1}), 2, {0x100, 0});
    EXPECT_EQ(buffer, Bytes({0, 0, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(info.layout, LAYOUT_AP_ONLY);
    // A layout value no layout has merges like LAYOUT_AP_ONLY.
    info = Fresh();
    info.layout = 9;
    EXPECT_EQ(MergeProgramImage(info, Bytes({0, 0}), Bytes({1}), 3, {0x100, 0}),
              Bytes({0, 0, 0xFF, 1}));
    // An ISP space larger than the code space.
    info = Fresh();
    info.apLength = 4;
    buffer = ComposeIspBuffer(info, Bytes({1, 2, 3, 4}), Bytes({7}), {0x10, 0x20});
    EXPECT_EQ(buffer.size(), 0x10u);
    EXPECT_EQ(buffer[0], 7);
}

TEST(IspSpace, FirstSpaceThatHoldsTheCode) {
    const std::uint32_t spaces[] = {0, 0x400, 0x800, 0x1000};
    EXPECT_EQ(ChooseIspSpace(spaces, 0x700, 0x3C00), 2);
    EXPECT_EQ(ChooseIspSpace(spaces, 0x800, 0x3C00), 2);
    EXPECT_EQ(ChooseIspSpace(spaces, 0x1000, 0x3C00), 3);
    EXPECT_EQ(ChooseIspSpace(spaces, 0x1001, 0x3C00), -1);
    EXPECT_EQ(ChooseIspSpace(spaces, 0x900, 0x800), -1);  // would not fit the code space
    // A part without a code size still gets its space chosen; insertion then reports that.
    EXPECT_EQ(ChooseIspSpace(spaces, 0x700, 0), 2);
    EXPECT_EQ(ChooseIspSpace({}, 1, 0x3C00), -1);
}

TEST(IspSpace, BootBitsAreClearedInTheirByteOnly) {
    ProjectInfo info = Fresh();
    info.autoSteps = 0x0F;
    ApplyIspBootBits(info, "0|0x08,1|0x20,300|0x01");
    EXPECT_EQ(info.optionBytes[0], 0xF7);
    EXPECT_EQ(info.optionBytes[1], 0xDF);
    EXPECT_EQ(info.optionBytes[2], 0xFF);
    EXPECT_EQ(info.autoSteps, 0x1F);
}

TEST(FileNames, NamesAndExtensions) {
    EXPECT_EQ(FileNameOf("/a/b/c.hex"), "c.hex");
    EXPECT_EQ(FileNameOf("C:\\dir\\x.bin"), "x.bin");
    EXPECT_EQ(FileNameOf("plain"), "plain");
    EXPECT_TRUE(HasExtension("/x/PROG.HeX", ".hex"));
    EXPECT_FALSE(HasExtension("/x/prog.hex.bin", ".hex"));
    EXPECT_FALSE(HasExtension("/x/hex", ".hex"));
    EXPECT_EQ(ByteSum(ByteVector(0x3C00, 0xFF)), 0x3BC400u);
}

// Every load and store of a field stays inside its bytes whatever offset it is given.
TEST(ByteHelpers, FieldsStayInsideTheirBytes) {
    ByteVector b = Bytes({0x11, 0x22, 0x33, 0x44, 0x55});
    core::PutLE(b, 2, 0xAABBCCDD, 4);  // would end past the last byte
    EXPECT_EQ(b, Bytes({0x11, 0x22, 0x33, 0x44, 0x55}));
    core::PutLE(b, 1, 0xAABBCCDD, 4);
    EXPECT_EQ(b, Bytes({0x11, 0xDD, 0xCC, 0xBB, 0xAA}));
    EXPECT_EQ(core::GetLE(b, 3, 2), 0xAABBu);
    EXPECT_EQ(core::GetBE(b, 3, 2), 0xBBAAu);
    EXPECT_EQ(core::GetLE(b, 4, 2), 0u);
    EXPECT_EQ(core::GetBE(b, static_cast<std::size_t>(-1), 1), 0u);
    EXPECT_EQ(core::Format("%s-%04X", std::string(70, 'x').c_str(), 0xBEEFu).size(), 75u);
}
