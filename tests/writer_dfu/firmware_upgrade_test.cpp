// The firmware check and the DFU upgrade end to end: a Writer over a plain workbench, the real
// libtunnix.so and libdfu.so, a virtual writer that re-enumerates, and writer-cli upgrade.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "harness.h"
#include "workbench/vector_code_buffer.h"
#include "workbench/workbench.h"
#include "writer/dfu_upgrade.h"
#include "writer/dfu_upgrade_forced.h"
#include "writer/dfu_upgrade_notification.h"
#include "writer/writer.h"

namespace {

// Every line ever written, with "|" where the log was cleared.
class HistoryLog : public core::MessageSink {
  public:
    void Clear() override { history += "|"; }
    void Append(std::string_view t) override { history += t; }
    std::string history;
};

class AnsweringQuestions : public core::Questions {
  public:
    void Inform(std::string_view caption, std::string_view text) override {
        boxes.push_back(std::string(caption) + "|" + std::string(text));
    }
    bool AskOkCancel(std::string_view, std::string_view) override {
        ++asked;
        return answer;
    }
    bool AskYesNo(std::string_view, std::string_view text) override {
        yesNo.emplace_back(text);
        return answer;
    }
    bool answer = true;
    int asked = 0;
    std::vector<std::string> boxes, yesNo;
};

// Waits for real, so the writer is back after its restart as it would be for the operator.
class SleepingHost : public writer::Host {
  public:
    void SetProgressPosition(std::uint32_t) override {}
    void ShowProgressBar(bool) override {}
    void PumpMessages() override {}
    void Wait(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

class ValuesView : public writer::UpgradeProgressView {
  public:
    explicit ValuesView(std::vector<std::uint32_t>& v) : v_(v) {}
    void ShowValue(std::uint32_t value) override { v_.push_back(value); }

  private:
    std::vector<std::uint32_t>& v_;
};

// The device watcher for real, or (`deaf`) a registration that never hears of the writer.
class WatchingUi : public writer::UpgradeUi {
  public:
    std::unique_ptr<writer::UpgradeProgressView> ShowProgressDialog() override {
        return std::make_unique<ValuesView>(shown);
    }
    bool RegisterHidNotification() override { return deaf || writer::RegisterHidNotification(); }
    void UnregisterHidNotification() override { writer::UnregisterHidNotification(); }
    bool deaf = false;
    std::vector<std::uint32_t> shown;
};

const std::string kUpgradeFailed = cat::LanguageTextOr(0x07D9, writer::kUpgradeFailed);

class FirmwareUpgradeTest : public ::testing::Test {
  protected:
    void Start(std::vector<std::string> args, int part) {
        cat::SetLanguageID(0);
        args.insert(args.begin(), {"--part", std::to_string(part)});
        device = std::make_unique<vwt::VWriter>(args);
        ASSERT_TRUE(device->Start());
        bench.Attach(&buffer, &log);
        buffer.onChange = [this] { bench.OnBufferChanged(); };
        bench.FillSeriesList();
        Select(part);
        link = std::make_unique<writer::WriterLink>(host);
        ASSERT_TRUE(link->Load(questions));
        writer = std::make_unique<writer::Writer>(bench, *link, host, log, questions);
        writer->ticks = [] { return 0u; };
        dfu = std::make_unique<writer::DfuUpgrade>(host, questions, ui);
        writer->dfuUpgrade = [this](std::span<const std::uint8_t> image) {
            return dfu->Run(image);
        };
        log.history.clear();
    }
    void Select(int part) { ASSERT_TRUE(bench.SelectPartByIndex(part)); }
    // Selects `part` and puts its chip into the writer's socket.
    void Switch(int part) {
        Select(part);
        device->Ctl("part " + std::to_string(part));
        log.history.clear();
    }
    // The writer's firmware identity as "family v1 v2 id v1 v2" in hex.
    std::string Firmware() { return device->StateValue("firmware"); }
    static std::string Expected(int part) {
        const cat::Part p(part);
        const auto dfuImage =
            cat::LookupImage(static_cast<std::uint16_t>(0x100 + p.FirmwareFamily()));
        const auto cmdImage = cat::LookupImage(0x200);
        char text[32];
        std::snprintf(text, sizeof text, "%02X %02X %02X 00 %02X %02X", p.FirmwareFamily(),
                      dfuImage->version1, dfuImage->version2, cmdImage->version1,
                      cmdImage->version2);
        return text;
    }
    int CommandFrames() { return static_cast<int>(device->TraceLines("frame").size()); }

    std::unique_ptr<vwt::VWriter> device;
    model::VectorCodeBuffer buffer;
    model::Workbench bench;
    HistoryLog log;
    AnsweringQuestions questions;
    SleepingHost host;
    WatchingUi ui;
    std::unique_ptr<writer::WriterLink> link;
    std::unique_ptr<writer::Writer> writer;
    std::unique_ptr<writer::DfuUpgrade> dfu;
};

constexpr int kFamily0Part = 1;
constexpr int kFamily3Part = 34;
const std::string kCheckIdPass =
    "----Begin----\r\nCheck ID => Pass !\t\t [0.000\"]\r\n-----End-----\r\n";

}  // namespace

TEST_F(FirmwareUpgradeTest,
       SwitchingFamiliesUpgradesThroughDfuAndTheOperationRunsOnTheNewFirmware) {
    Start({"--firmware", "old"}, kFamily0Part);
    ASSERT_NE(Firmware(), Expected(kFamily0Part));

    // Both images old: one question, both upgrades, one result line, then the operation.
    EXPECT_TRUE(writer->OnButton(writer::button::kCheckId).passed());
    EXPECT_EQ(log.history, "|Upgrade Writer => Pass !\t|" + kCheckIdPass);
    EXPECT_EQ(questions.asked, 1);
    EXPECT_EQ(Firmware(), Expected(kFamily0Part));
    ASSERT_FALSE(ui.shown.empty());
    EXPECT_EQ(ui.shown.front(), 255u);
    for (std::uint32_t v : ui.shown) EXPECT_TRUE(v <= 100 || v == 255) << v;

    // Another family: only the loader image differs.
    Switch(kFamily3Part);
    EXPECT_TRUE(writer->OnButton(writer::button::kCheckId).passed());
    EXPECT_EQ(log.history, "|Upgrade Writer => Pass !\t|" + kCheckIdPass);
    EXPECT_EQ(questions.asked, 2);
    EXPECT_EQ(Firmware(), Expected(kFamily3Part));
    EXPECT_EQ(device->StateValue("mode"), "application");

    // Current now: no question, nothing written before the operation.
    log.history.clear();
    EXPECT_TRUE(writer->OnButton(writer::button::kCheckId).passed());
    EXPECT_EQ(log.history, "|" + kCheckIdPass);
    EXPECT_EQ(questions.asked, 2);
}

TEST_F(FirmwareUpgradeTest, CancelAtTheQuestionLeavesTheLogAndStartsNothing) {
    Start({}, kFamily0Part);
    Switch(kFamily3Part);
    questions.answer = false;
    const int framesBefore = CommandFrames();
    EXPECT_FALSE(writer->OnButton(writer::button::kCheckId).passed());
    EXPECT_EQ(log.history, "");
    EXPECT_EQ(questions.asked, 1);
    EXPECT_EQ(CommandFrames(), framesBefore + 1);  // the firmware reply only
    EXPECT_EQ(Firmware(), Expected(kFamily0Part));
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(FirmwareUpgradeTest, FailedDownloadsEndInFailAndTheBoxWithoutAnOperation) {
    struct Row {
        std::vector<std::string> args;
        std::string library;
        bool boxForLibrary;
        std::size_t frames;  // commands received: no operation after the check
        bool loaderTraffic;
    };
    const Row rows[] = {
        {{"--fault", "loader:download"}, "libdfu.so", false, 1, true},
        {{"--fault", "loader:checksum"}, "libdfu.so", false, 1, true},
        {{}, "libdfu-absent.so", true, 1, false},
        // The writer's own upgrade (command 4) fails: the loader image is not tried at all.
        {{"--firmware", "old", "--fault", "ack0:4/0@1"}, "libdfu.so", false, 2, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.library + " " + (row.args.empty() ? "" : row.args.back()));
        Start(row.args, kFamily0Part);
        Switch(kFamily3Part);
        dfu->libraryFile = row.library;
        EXPECT_FALSE(writer->OnButton(writer::button::kCheckId).passed());
        EXPECT_EQ(log.history, "|Upgrade Writer => Fail !\t");
        std::vector<std::string> boxes{"|" + kUpgradeFailed};
        if (row.boxForLibrary) boxes.insert(boxes.begin(), "Warning|Load DFU.DLL fail !");
        EXPECT_EQ(questions.boxes, boxes);
        EXPECT_EQ(device->TraceLines("frame").size(), row.frames);
        bool loader = false;
        for (const std::string& line : device->TraceLines("event"))
            loader = loader || line.find("loader") != std::string::npos;
        EXPECT_EQ(loader, row.loaderTraffic);
        EXPECT_EQ(ui.shown.empty(), !row.loaderTraffic);  // no progress dialog either
        questions.boxes.clear();
        ui.shown.clear();
        device.reset();
    }
}

TEST_F(FirmwareUpgradeTest, AWriterNotSeenBackInTimeLeavesTheResultToTheRestart) {
    // The writer stays away longer than the wait and no notification arrives: both waits run
    // out, and nothing hangs.
    struct Row {
        std::vector<std::string> faults;
        const char* result;
        bool operationRuns;
    };
    const Row rows[] = {
        {{}, "Pass !\t", true},
        {{"--fault", "loader:restart"}, "Fail !\t", false},  // the loader never answers
    };
    for (const Row& row : rows) {
        std::vector<std::string> args{"--reenumerate-ms", "600"};
        args.insert(args.end(), row.faults.begin(), row.faults.end());
        Start(args, kFamily0Part);
        Switch(kFamily3Part);
        ui.deaf = true;
        dfu->chooseWaitMs = [] { return 200u; };
        EXPECT_EQ(writer->OnButton(writer::button::kCheckId).passed(), row.operationRuns);
        EXPECT_EQ(log.history.substr(0, 19 + std::string(row.result).size()),
                  std::string("|Upgrade Writer => ") + row.result);
        EXPECT_FALSE(dfu->lastLoaderSeen);
        EXPECT_EQ(dfu->lastWaitMs, 200u);
        if (row.operationRuns) {
            EXPECT_EQ(Firmware(), Expected(kFamily3Part));
        }
        device.reset();
    }
}

TEST_F(FirmwareUpgradeTest, ALoaderSlowToComeUpIsWaitedForAsLongAsTheUpgradeWaits) {
    // The loader comes up 5.6 s after the restart: beyond a reply's time-out, within the 10 s
    // an upgrade gives a writer the system lists. The program's own waits are not what waits.
    Start({"--reenumerate-ms", "5600"}, kFamily0Part);
    Switch(kFamily3Part);
    ui.deaf = true;
    dfu->chooseWaitMs = [] { return 0u; };
    const auto image = cat::LookupImage(
        static_cast<std::uint16_t>(0x100 + cat::Part(kFamily3Part).FirmwareFamily()));
    ASSERT_TRUE(image);
    EXPECT_TRUE(dfu->Run(image->bytes()).passed());
    EXPECT_EQ(Firmware(), Expected(kFamily3Part));
}

TEST_F(FirmwareUpgradeTest, CommandLineUpgradeExitsZeroOnlyOnCurrentFirmware) {
    Start({"--firmware", "old", "--fault", "loader:download"}, kFamily0Part);
    const std::string cli = vwt::BinDir() + "/writer-cli upgrade ";
    const std::string errPath = device->Dir() + "/err";
    const auto errors = [&] {
        std::ifstream in(errPath);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const auto run = [&](const std::string& args, std::string& out) {
        FILE* pipe = ::popen((cli + args + " 2>" + errPath).c_str(), "r");
        char chunk[256];
        out.clear();
        while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) out.append(chunk, n);
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string out;
    // The command-4 image goes over, the loader image is refused: not current.
    const std::string inLoader =
        "a writer is attached but its application does not answer: it sits in its loader (a "
        "firmware upgrade left undone); 'writer-cli upgrade --part 34 --force' brings it back\n";
    EXPECT_EQ(run("--part 34", out), 1);
    EXPECT_EQ(out, "Upgrade Writer => Fail !\t\n");
    EXPECT_NE(errors().find("the part's firmware; " + inLoader), std::string::npos) << errors();
    EXPECT_EQ(device->StateValue("mode"), "loader");
    device->Ctl("clear-faults");
    // Left in its loader, the writer answers no command; forcing the loader image brings it back.
    EXPECT_EQ(run("--part 34", out), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(errors(), "writer-cli: " + inLoader);
    EXPECT_EQ(run("--part 34 --force", out), 0);
    EXPECT_EQ(out, "Upgrade Writer => Pass !\t\n");
    EXPECT_EQ(Firmware(), Expected(kFamily3Part));
    EXPECT_EQ(run("--part 34", out), 0);  // already current: nothing to do
    EXPECT_EQ(out, "");
    EXPECT_EQ(run("--bogus", out), 2);
    device->Stop();
    EXPECT_EQ(run("--part 34", out), 1);
    EXPECT_EQ(errors(), "writer-cli: no writer answered\n");
}

TEST_F(FirmwareUpgradeTest, ForcedUpgradeAtOpeningSendsTheFirstLoaderImageWithoutACheck) {
    Start({"--firmware", "old"}, kFamily3Part);
    bench.currentPart = -2;  // no part applied yet while the window opens
    questions.answer = false;
    EXPECT_FALSE(writer::OfferForcedUpgrade(*writer));
    EXPECT_TRUE(ui.shown.empty());
    questions.answer = true;
    EXPECT_TRUE(writer::OfferForcedUpgrade(*writer));
    EXPECT_EQ(questions.yesNo, (std::vector<std::string>(2, "确定要强制升级吗 ?")));
    EXPECT_EQ(Firmware().substr(0, 8), Expected(kFamily0Part).substr(0, 8));  // image 0x100
    EXPECT_TRUE(device->TraceLines("frame").empty());  // no firmware check before it
    EXPECT_EQ(log.history, "");
}
