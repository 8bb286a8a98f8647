// The DFU upgrade's own logic against a scripted libdfu: what the dialog is shown, when the
// polling ends, how the worker's waits and the restart decide the result, and the Go event.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/lookup.h"
#include "platform/device/device_watch.h"
#include "platform/device/writer_ids.h"
#include "writer/dfu_upgrade.h"
#include "writer/dfu_upgrade_texts.h"
#include "writer/go_event.h"

using devwatch::DeviceEvent;

namespace {

class NullHost : public writer::Host {
  public:
    void SetProgressPosition(std::uint32_t) override {}
    void ShowProgressBar(bool) override {}
    void PumpMessages() override { ++pumps; }
    void Wait(std::uint32_t) override {}
    void Repaint() override { ++repaints; }
    int pumps = 0, repaints = 0;
};

class Boxes : public core::Questions {
  public:
    void Inform(std::string_view caption, std::string_view text) override {
        shown.push_back(std::string(caption) + "|" + std::string(text));
    }
    bool AskOkCancel(std::string_view, std::string_view) override { return true; }
    bool AskYesNo(std::string_view, std::string_view) override { return true; }
    std::vector<std::string> shown;
};

struct Recorded {
    std::vector<std::uint32_t> values;
    bool open = false;
};

class ValueView : public writer::UpgradeProgressView {
  public:
    explicit ValueView(Recorded& r) : r_(r) { r_.open = true; }
    ~ValueView() override { r_.open = false; }
    void ShowValue(std::uint32_t v) override { r_.values.push_back(v); }

  private:
    Recorded& r_;
};

class TestUi : public writer::UpgradeUi {
  public:
    std::unique_ptr<writer::UpgradeProgressView> ShowProgressDialog() override {
        return std::make_unique<ValueView>(dialog);
    }
    bool RegisterHidNotification() override {
        ++registrations;
        return registers;
    }
    void UnregisterHidNotification() override { --registrations; }
    Recorded dialog;
    bool registers = true;
    int registrations = 0;
};

// The scripted library: counts handed out one per poll (the last repeats), the download held
// until they are all taken, and the return values of the calls.
struct Script {
    std::mutex mutex;
    std::deque<int> counts;
    int last = 0;
    int isp = 1, download = 1, ap = 1;
    bool deviceChangeOnAp = false;
    std::atomic<bool> countsTaken{false};
    std::vector<std::string> calls;
};
Script* script = nullptr;

void Call(const char* name) {
    std::lock_guard lock(script->mutex);
    script->calls.emplace_back(name);
}
int FakeIsp(unsigned int vid, unsigned int pid) {
    Call(vid == writer_ids::WRITER_VID && pid == writer_ids::WRITER_PID ? "isp" : "isp?");
    return script->isp;
}
int FakeDownload(const unsigned char*, unsigned int zero, unsigned int length, unsigned int sum) {
    Call(zero == 0 && length == 3 && sum == 0x1FE ? "download" : "download?");
    while (!script->countsTaken) std::this_thread::yield();
    return script->download;
}
int FakeAp() {
    Call("ap");
    if (script->deviceChangeOnAp)
        writer::OnDeviceChange(
            DeviceEvent::Arrival,
            devwatch::WriterDeviceName(writer_ids::WRITER_VID, writer_ids::WRITER_ENUM_PID, "7&1"));
    return script->ap;
}
int FakeCount() {
    std::lock_guard lock(script->mutex);
    if (!script->counts.empty()) {
        script->last = script->counts.front();
        script->counts.pop_front();
    }
    if (script->counts.empty()) script->countsTaken = true;
    return script->last;
}
constexpr writer::DfuApi kFake{FakeIsp, FakeAp, FakeDownload, FakeCount};

class DfuUpgradeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        script = &s;
        cat::SetLanguageID(0);
        dfu.chooseWaitMs = [] { return 50u; };
    }
    void TearDown() override { script = nullptr; }
    bool Run() { return dfu.RunBound(kFake, image).passed(); }

    Script s;
    NullHost host;
    Boxes boxes;
    TestUi ui;
    writer::DfuUpgrade dfu{host, boxes, ui};
    std::vector<std::uint8_t> image{0x00, 0xFF, 0xFF};
};

}  // namespace

TEST_F(DfuUpgradeTest, DialogShowsWaitingThenEachNewPercentageOnce) {
    s.counts = {255, 255, 37, 37, 80};
    EXPECT_TRUE(Run());
    EXPECT_EQ(ui.dialog.values, (std::vector<std::uint32_t>{255, 37, 80}));
    EXPECT_FALSE(ui.dialog.open);    // destroyed at the end
    EXPECT_EQ(ui.registrations, 0);  // registered, then unregistered
    EXPECT_EQ(s.calls, (std::vector<std::string>{"isp", "download", "ap"}));
    EXPECT_GT(host.pumps, 0);
    EXPECT_EQ(host.repaints, 1);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(DfuUpgradeTest, PollingEndsWithTheWorkerWhenTheCountNeverWaits) {
    // A library that never reports the waiting state, or never leaves it, cannot hang the window.
    for (const int stuck : {0, 255}) {
        SCOPED_TRACE(stuck);
        s.counts = {stuck};
        s.download = 0;
        s.calls.clear();
        ui.dialog.values.clear();
        EXPECT_FALSE(Run());
        EXPECT_EQ(ui.dialog.values, (std::vector<std::uint32_t>{255}));
        EXPECT_EQ(s.calls, (std::vector<std::string>{"isp", "download"}));  // no restart after a
                                                                            // refused download
    }
}

TEST_F(DfuUpgradeTest, ResultAfterTheDownloadFollowsTheRestartUnlessTheWriterIsSeenBack) {
    struct Row {
        int isp, ap;
        bool registered, deviceChange;
        bool passed;
    };
    const Row rows[] = {
        {1, 1, true, false, true},   // not seen back within the wait: the restart's answer
        {1, 0, true, false, false},  //
        {1, 0, true, true, true},    // seen back: success whatever the restart said
        // Without notifications nothing is awaited and the restart's failure stands, though
        // the first wait, never made as the restart into the loader was refused, counts as seen.
        {1, 0, false, true, false},
        {0, 7, true, false, true},    // any positive answer is success
        {0, -1, true, false, false},  // an error code is not
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << row.isp << row.ap << row.registered << row.deviceChange);
        s.counts = {255, 100};
        s.isp = row.isp;
        s.ap = row.ap;
        s.deviceChangeOnAp = row.deviceChange;
        ui.registers = row.registered;
        EXPECT_EQ(Run(), row.passed);
        EXPECT_EQ(ui.registrations, row.registered ? 0 : 1);
        ui.registrations = 0;
    }
}

TEST_F(DfuUpgradeTest, AGoEventThatCannotBeCreatedIsReportedAndNotAwaited) {
    dfu.goEventName = "K7v190\\" + std::string(writer_ids::kWriterInterfaceGuid);
    dfu.chooseWaitMs = [] { return 600000u; };  // a wait that happened would hang the test
    s.counts = {255, 100};
    s.isp = 0;
    s.ap = 0;
    EXPECT_FALSE(Run());
    EXPECT_EQ(boxes.shown, (std::vector<std::string>{"|Create Go Event Fail ! \n\r Err Code = 3"}));
    EXPECT_FALSE(dfu.lastLoaderSeen);

    int error = 0;
    EXPECT_EQ(writer::CreateGoEvent(std::string(300, 'x'), &error), nullptr);
    EXPECT_EQ(error, writer::kErrorNameTooLong);
}

TEST_F(DfuUpgradeTest, AMissingLibraryIsReportedAndNothingRuns) {
    dfu.libraryFile = "libdfu-absent.so";
    EXPECT_TRUE(dfu.Run(image).notStarted());
    EXPECT_EQ(boxes.shown, (std::vector<std::string>{"Warning|Load DFU.DLL fail !"}));
    EXPECT_TRUE(ui.dialog.values.empty());
    EXPECT_EQ(ui.registrations, 0);
    EXPECT_EQ(host.repaints, 0);
}

TEST(GoEvent, DeviceChangesOfTheWriterSetTheNamedEventWhileItLives) {
    const std::string name = writer_ids::GoEventName();
    EXPECT_FALSE(writer::OnDeviceChange(
        DeviceEvent::Arrival,
        devwatch::WriterDeviceName(writer_ids::WRITER_VID, writer_ids::WRITER_ENUM_PID,
                                   "1")));  // no event yet
    auto go = writer::CreateGoEvent(name);
    ASSERT_TRUE(go);
    EXPECT_EQ(writer::CreateGoEvent(name), go);  // opened, not made anew
    struct Row {
        std::uint32_t event;
        std::string device;
        bool sets;
    };
    const Row rows[] = {
        {0x8000, "\\\\?\\HID#Vid_2f17&Pid_7a50#6&1#{guid}", true},
        {0x8004, "\\\\?\\hid#VID_2F17&PID_7A50#6&1#{guid}", true},   // case is ignored
        {0x8000, "\\\\?\\HID#Vid_2f17&Pid_7a51#6&1#{guid}", false},  // the application pid
        {0x8000, "\\\\?\\HID#Vid_2f17&Pid_7a50", false},             // no '#' after the pid
        {0x8003, "\\\\?\\HID#Vid_2f17&Pid_7a50#6&1#{guid}", false},  // removal pending only
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.device);
        go->Reset();
        EXPECT_EQ(writer::OnDeviceChange(static_cast<DeviceEvent>(row.event), row.device),
                  row.sets);
        EXPECT_EQ(go->IsSet(), row.sets);
        EXPECT_EQ(go->Wait(0), row.sets);
    }
    go.reset();
    EXPECT_EQ(writer::FindGoEvent(name), nullptr);  // released with its last holder
}

TEST(UpgradeTexts, MessageBreaksAndProgressTexts) {
    struct Row {
        int language;
        std::string in, out;
    };
    const Row rows[] = {
        {0, "Updating firmware now, please do not turn off power",
         "Updating firmware now, \nplease do not turn off power"},
        {1, "正在更新固件，请勿关闭电源或拔出USB线缆！",
         "正在更新固件，请勿\n关闭电源或拔出USB线缆！"},
        {1, "A正在更新固件，请勿关闭", "A正在更新固件，请\n勿关闭"},  // never inside a character
        {1, "USB线缆已经连接好了吗", "USB线缆已经连接好\n了吗"},      // ASCII counts one byte
        {0, "Short text", "Short text"},
        {1, "正在更新固件，请勿", "正在更新固件，请勿"},  // nothing after the break
    };
    for (const Row& row : rows)
        EXPECT_EQ(writer::BreakUpgradeMessage(row.in, row.language), row.out);

    cat::SetLanguageID(0);
    EXPECT_EQ(writer::UpgradeMessageText().substr(0, 24), "Updating firmware now, \n");
}
