// Writers chosen by name and the gang's reading of its processes, over a fixed list of
// attached writers: nothing here opens a device.
#include <gtest/gtest.h>

#include "production/gang.h"
#include "production/writers.h"

namespace production {
namespace {

using Kind = AttachedWriter::Kind;

const std::vector<AttachedWriter> kAttached = {
    {Kind::kHid, "/dev/hidraw1", "S1", false},
    {Kind::kHid, "/dev/hidraw2", "S2", false},
    {Kind::kHid, "/dev/hidraw3", "S2", false},  // a serial string two writers share
    {Kind::kHid, "/dev/hidraw4", "", false},
    {Kind::kHid, "/dev/hidraw5", "S5", true},
    {Kind::kVirtual, "/run/vwriter-1.sock", "VW0001", false},
};

TEST(WriterNames, ResolveToOneDeviceValueOrSayWhatIsAttached) {
    const struct {
        const char* name;
        const char* selection;  // empty: refused
        const char* problem;
    } rows[] = {
        {"S1", "hid:serial=S1", ""},
        {"/dev/hidraw1", "hid:serial=S1", ""},
        {"/dev/hidraw2", "hid:/dev/hidraw2", ""},
        {"/dev/hidraw4", "hid:/dev/hidraw4", ""},
        {"VW0001", "vwriter:/run/vwriter-1.sock", ""},
        {"/run/vwriter-1.sock", "vwriter:/run/vwriter-1.sock", ""},
        {"S2", "", "'S2' names several writers"},
        {"S9", "", "'S9' names no attached writer"},
        {"", "", "'' names no attached writer"},
    };
    for (const auto& row : rows) {
        const WriterChoice choice = ResolveWriter(row.name, kAttached);
        EXPECT_EQ(choice.selection, row.selection) << row.name;
        EXPECT_EQ(choice.problem.rfind(row.problem, 0), 0u) << row.name << ": " << choice.problem;
    }
    const std::string problem = ResolveWriter("S9", kAttached).problem;
    EXPECT_NE(problem.find("  /dev/hidraw3  S2\n"), std::string::npos) << problem;
    EXPECT_NE(problem.find("  /dev/hidraw4  -\n"), std::string::npos) << problem;
    EXPECT_NE(problem.find("  /dev/hidraw5  S5  (in its loader)\n"), std::string::npos);
    EXPECT_NE(problem.find("  /run/vwriter-1.sock  VW0001  (virtual)\n"), std::string::npos);
}

TEST(GangChoice, AllNamesEveryWriterNotInItsLoaderAndNamesMustBeOneEach) {
    GangChoice all = ChooseGang("all", kAttached);
    ASSERT_EQ(all.problem, "");
    std::vector<std::string> names;
    for (const GangWriter& w : all.writers) names.push_back(w.name);
    EXPECT_EQ(names, (std::vector<std::string>{"S1", "/dev/hidraw2", "/dev/hidraw3", "/dev/hidraw4",
                                               "VW0001"}));
    EXPECT_EQ(all.writers[1].selection, "hid:/dev/hidraw2");

    for (const char* writerList : {"S1,/dev/hidraw1", "S1,S9", "S1,", "S2"}) {
        const GangChoice refused = ChooseGang(writerList, kAttached);
        EXPECT_TRUE(refused.writers.empty()) << writerList;
        EXPECT_NE(refused.problem, "") << writerList;
    }
    EXPECT_EQ(ChooseGang("all", {}).problem, "no writer is attached\n");
}

TEST(GangProgress, StepFromTheUnfinishedLinePercentFromTheChannelSerialFromItsLine) {
    GangProgress p;
    EXPECT_EQ(p.TakeLog("Load file ... => OK !\n----Begin----\nProg"),
              (std::vector<std::string>{"Load file ... => OK !", "----Begin----"}));
    EXPECT_EQ(p.step(), "Load file ...");
    p.TakeChannel("progress 40\nprog");
    EXPECT_EQ(p.percent(), 40u);
    EXPECT_TRUE(p.TakeLog("ram => ").empty());
    EXPECT_EQ(p.step(), "Program");
    EXPECT_EQ(p.percent(), 0u);  // a new step starts from nothing
    p.TakeChannel("ress 7x\nprogress 250\n");
    EXPECT_EQ(p.percent(), 100u);
    EXPECT_EQ(p.TakeLog("Pass !\nSerial number: 12x\nVerify => "),
              (std::vector<std::string>{"Program => Pass !", "Serial number: 12x"}));
    EXPECT_EQ(p.serial(), std::nullopt);
    EXPECT_EQ(p.FlushLog(), "Verify => ");
    EXPECT_EQ(p.FlushLog(), std::nullopt);
    p.TakeLog("Serial number: 4294967295\n");
    EXPECT_EQ(p.serial(), 4294967295u);
}

TEST(GangSummary, TableAndTheCommandThatRerunsTheFailedWritersOnly) {
    const std::vector<GangOutcome> outcomes = {
        {"LINE-1", 41, 0, 1234}, {"/dev/hid raw", std::nullopt, 1, 60000}, {"it's", 43, 2, 5}};
    EXPECT_EQ(GangSummary(outcomes),
              "writer            serial  result    elapsed\n"
              "LINE-1                41  passed        1.2 s\n"
              "/dev/hid raw           -  failed       60.0 s\n"
              "it's                  43  failed        0.0 s\n"
              "1 of 3 writers passed\n");
    EXPECT_EQ(RerunCommand(outcomes, {"--load", "my file.bin", "--part", "1", "program"}),
              "writer-cli gang --writers '/dev/hid raw,it'\\''s' --load 'my file.bin' --part 1 "
              "program");
    EXPECT_EQ(RerunCommand({outcomes[0]}, {"program"}), "");
}

}  // namespace
}  // namespace production
