// Firmware upgrades (command 4 and the loader path with its re-enumeration), device watching,
// state kept across restarts, USB pacing and the trace.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "catalogue/part_database.h"
#include "harness.h"
#include "platform/device/device_watch.h"
#include "platform/device/writer_ids.h"

using namespace vwt;
using devwatch::DeviceEvent;

namespace {

// Collects watcher events and waits, bounded, for a given sequence.
class EventLog {
  public:
    void Add(DeviceEvent e, const std::string& name) {
        std::lock_guard lock(mutex_);
        events_.push_back(e);
        names_.push_back(name);
        cv_.notify_all();
    }
    bool WaitFor(std::size_t count, int ms = 3000) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms),
                            [&] { return events_.size() >= count; });
    }
    std::vector<DeviceEvent> Events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::string> Names() {
        std::lock_guard lock(mutex_);
        return names_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<DeviceEvent> events_;
    std::vector<std::string> names_;
};

Bytes FirmwareReply() {
    Link link;
    link.Frame(0, 0);
    return link.Receive(6);
}

std::uint8_t Family() {
    return static_cast<std::uint8_t>(cat::Part(1).FirmwareFamily() & 0xFF);
}

}  // namespace

TEST(FirmwareUpgrade, CommandFourAdoptsTheSignatureOfAGoodImageOnly) {
    VWriter dev({"--firmware", "old"});
    const Bytes before = FirmwareReply();
    ASSERT_EQ(before.size(), 6u);
    Link link;
    const Bytes image = MakeImage(0x0200, 0x12, 0x34, 1000);
    ASSERT_TRUE(link.WriteCommand(4, 0, 0, image));
    Bytes after = FirmwareReply();
    EXPECT_EQ(Bytes(after.begin(), after.begin() + 3), Bytes(before.begin(), before.begin() + 3));
    EXPECT_EQ(Bytes(after.begin() + 3, after.end()), (Bytes{0x00, 0x12, 0x34}));

    // Without the signature, or with a loader image's id, the last chunk is refused.
    Bytes bad = MakeImage(0x0200, 0x56, 0x78, 300);
    bad[0xF0] = 'X';
    ASSERT_EQ(link.Command(4, 0, 0, 300), 1);
    EXPECT_EQ(link.BulkWrite(bad), (std::vector<int>{1, 1, 0}));
    ASSERT_EQ(link.Command(4, 0, 0, 300), 1);
    EXPECT_EQ(link.BulkWrite(MakeImage(0x0101, 1, 1, 300)), (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(FirmwareReply(), after);
    EXPECT_EQ(link.Command(4, 0, 0, 0), 0);
}

TEST(FirmwareUpgrade, LoaderPathReenumeratesTwiceAndRunsTheNewFirmware) {
    VWriter dev({"--firmware", "old"});
    EventLog log;
    devwatch::DeviceWatcher watcher(
        [&](DeviceEvent e, const std::string& name) { log.Add(e, name); }, dev.Socket(), false);
    ASSERT_TRUE(watcher.Start());

    const Bytes image = MakeImage(static_cast<std::uint16_t>(0x0100 + Family()), 7, 8, 3000);
    const std::uint32_t sum = ByteSum(image);
    // Not in the loader yet: a download is refused.
    EXPECT_EQ(Dfu().Download(image.data(), 0, static_cast<unsigned>(image.size()), sum), 0);
    EXPECT_EQ(Dfu().ResetToAp(), 0);

    ASSERT_EQ(Dfu().ResetToIsp(writer_ids::WRITER_VID, writer_ids::WRITER_PID), 0);
    EXPECT_EQ(Dfu().ProcessCount(), 255);
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(log.Events(),
              (std::vector<DeviceEvent>{DeviceEvent::RemoveComplete, DeviceEvent::Arrival}));
    EXPECT_EQ(dev.StateValue("mode"), "loader");
    EXPECT_FALSE(Link().connected());  // the loader does not speak the command protocol

    // A restart asked of the loader itself re-enumerates as well, so the host's wait ends.
    ASSERT_EQ(Dfu().ResetToIsp(writer_ids::WRITER_VID, writer_ids::WRITER_PID), 0);
    ASSERT_TRUE(log.WaitFor(4));
    EXPECT_EQ(log.Events()[2], DeviceEvent::RemoveComplete);
    EXPECT_EQ(log.Events()[3], DeviceEvent::Arrival);
    EXPECT_EQ(dev.StateValue("mode"), "loader");

    EXPECT_EQ(Dfu().Download(image.data(), 0, static_cast<unsigned>(image.size()), sum + 1), 0);
    Bytes unsigned_image = image;
    unsigned_image[0xF1] = 0;
    EXPECT_EQ(Dfu().Download(unsigned_image.data(), 0, static_cast<unsigned>(image.size()),
                             ByteSum(unsigned_image)),
              0);
    EXPECT_EQ(Dfu().Download(image.data(), 0, static_cast<unsigned>(image.size()), sum), 1);
    EXPECT_EQ(Dfu().ProcessCount(), 100);

    ASSERT_EQ(Dfu().ResetToAp(), 1);
    ASSERT_TRUE(log.WaitFor(6));
    EXPECT_EQ(log.Events()[4], DeviceEvent::RemoveComplete);
    EXPECT_EQ(log.Events()[5], DeviceEvent::Arrival);
    for (const auto& name : log.Names()) EXPECT_TRUE(devwatch::IsWriterDeviceName(name)) << name;

    const Bytes reply = FirmwareReply();
    ASSERT_EQ(reply.size(), 6u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), (Bytes{Family(), 7, 8}));
    watcher.Stop();
}

TEST(FirmwareUpgrade, ProgressCountMovesDuringAPacedDownload) {
    VWriter dev({"--usb-timing"});
    ASSERT_EQ(Dfu().ResetToIsp(writer_ids::WRITER_VID, writer_ids::WRITER_PID), 0);
    const Bytes image = MakeImage(static_cast<std::uint16_t>(0x0100 + Family()), 1, 2, 8192);
    std::vector<int> seen;
    std::thread poller([&] {
        for (int i = 0; i < 400; ++i) {
            const int c = Dfu().ProcessCount();
            if (seen.empty() || seen.back() != c) seen.push_back(c);
            if (c == 100) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const int result =
        Dfu().Download(image.data(), 0, static_cast<unsigned>(image.size()), ByteSum(image));
    poller.join();
    EXPECT_EQ(result, 1);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), 255);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin() + 1, seen.end()));
}

TEST(DeviceWatch, UnplugAndReplugReachTheHandlerAndTheLink) {
    VWriter dev;
    EventLog log;
    devwatch::DeviceWatcher watcher(
        [&](DeviceEvent e, const std::string& name) { log.Add(e, name); }, dev.Socket(), false);
    ASSERT_TRUE(watcher.Start());
    EXPECT_TRUE(devwatch::IsWriterEnumerated());

    Link held;
    ASSERT_TRUE(held.connected());
    EXPECT_EQ(dev.Ctl("unplug"), "ok\n");
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_FALSE(Link().connected());
    EXPECT_EQ(held.Command(0, 1, cat::Part(1).DeviceCode()), -1);  // the cable is out
    EXPECT_EQ(dev.StateValue("plugged"), "no");

    EXPECT_EQ(dev.Ctl("plug"), "ok\n");
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(log.Events(),
              (std::vector<DeviceEvent>{DeviceEvent::RemoveComplete, DeviceEvent::Arrival}));
    EXPECT_TRUE(Link().connected());

    dev.Stop();
    ASSERT_TRUE(log.WaitFor(3));
    EXPECT_FALSE(devwatch::IsWriterEnumerated());  // test machines have no real writer
    EXPECT_EQ(log.Events().back(), DeviceEvent::RemoveComplete);
}

TEST(DeviceWatch, ADaemonStartingOverAStaleSocketIsAnArrival) {
    char tmpl[] = "/tmp/vwt-stale-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string socket = std::string(tmpl) + "/dev.sock";
    {
        // What a killed daemon leaves behind: the socket file with no one listening.
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, socket.c_str(), socket.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    EventLog log;
    devwatch::DeviceWatcher watcher(
        [&](DeviceEvent e, const std::string& name) { log.Add(e, name); }, socket, false);
    ASSERT_TRUE(watcher.Start());
    {
        VWriter dev({"--socket", socket});
        ASSERT_TRUE(log.WaitFor(1));
        EXPECT_EQ(log.Events().front(), DeviceEvent::Arrival);
        EXPECT_TRUE(Link().connected());
    }
    watcher.Stop();
    std::filesystem::remove_all(tmpl);
}

TEST(DeviceWatch, WriterNamesMatchIgnoringCase) {
    using devwatch::IsWriterDeviceName;
    const std::string name =
        devwatch::WriterDeviceName(writer_ids::WRITER_VID, writer_ids::WRITER_ENUM_PID, "x");
    EXPECT_TRUE(IsWriterDeviceName(name));
    std::string upper = name;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(IsWriterDeviceName(upper));
    EXPECT_FALSE(IsWriterDeviceName(
        devwatch::WriterDeviceName(writer_ids::WRITER_VID, writer_ids::WRITER_PID, "x")));
    EXPECT_FALSE(IsWriterDeviceName(name.substr(0, 20)));
}

TEST(DeviceState, SurvivesARestartAndADamagedFileStartsAfresh) {
    VWriter dev({"--state", "@DIR@/device.state"});
    const std::uint32_t code = cat::Part(1).DeviceCode();
    const auto optionCount = cat::Part(1).Number(cat::key::kOptionCount);
    const Bytes flash = Pattern(600, 11);
    const Bytes options(optionCount, 0x5A);
    Bytes record(62, 0);
    record[23] = 9;
    {
        Link link;
        ASSERT_TRUE(link.WriteCommand(2, 0, 0x100, flash));
        ASSERT_TRUE(link.WriteCommand(2, 1, 0, options));
        ASSERT_TRUE(link.WriteCommand(2, 2, 0, Pattern(333, 2)));
        ASSERT_TRUE(link.WriteCommand(2, 3, 0, record));
        ASSERT_TRUE(link.WriteCommand(4, 0, 0, MakeImage(0x0200, 3, 4)));
    }
    dev.Ctl("run 2");
    const std::string hash = dev.StateValue("flash_fnv1a");
    const Bytes firmware = FirmwareReply();

    dev.Stop();
    ASSERT_TRUE(dev.Start());
    {
        Link link;
        EXPECT_EQ(link.ReadCommand(3, 0, 0x100, 600), flash);
        EXPECT_EQ(link.ReadCommand(3, 1, 0, optionCount), options);
        const auto block = link.ReadCommand(3, 2, 0, 512);
        ASSERT_TRUE(block);
        EXPECT_EQ((*block)[23], 9);
        EXPECT_EQ((*block)[504], 2);
    }
    EXPECT_EQ(FirmwareReply(), firmware);
    EXPECT_EQ(dev.StateValue("flash_fnv1a"), hash);
    EXPECT_EQ(dev.StateValue("offline_code"), "333");

    dev.Stop();
    std::ofstream(dev.Dir() + "/device.state", std::ios::binary | std::ios::trunc)
        << "VWSTATE1\x01\x00\x00\x00garbage";
    ASSERT_TRUE(dev.Start());
    Link link;
    EXPECT_EQ(link.Command(0, 1, code), 1);
    EXPECT_EQ(link.ReadCommand(3, 0, 0x100, 600), Bytes(600, 0xFF));
}

TEST(DeviceTiming, UsbPacingSlowsTransfersToFullSpeed) {
    VWriter dev({"--usb-timing"});
    Link link;
    const long long start = NowMs();
    ASSERT_TRUE(link.WriteCommand(2, 0, 0, Bytes(1280, 0)));
    // 1280 bytes are 20 reports; with the acknowledgements and the frame well over 20 ms.
    EXPECT_GE(MillisecondsSince(start), 20);
}

TEST(DeviceTrace, EveryFrameAndDataPhaseIsALineOfJson) {
    VWriter dev({"--trace", "@DIR@/trace.jsonl", "--fault", "status0:1/0"});
    {
        Link link;
        ASSERT_TRUE(link.WriteCommand(2, 0, 0x20, Pattern(300, 1)));
        EXPECT_EQ(link.Command(1, 0, 0x1234), 0);
        link.Frame(0, 0);
        EXPECT_EQ(link.Receive(6).size(), 6u);
    }
    dev.Stop();
    std::ifstream in(dev.Dir() + "/trace.jsonl");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.find("\"kind\":\"event\"") == std::string::npos) lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& l : lines) {
        EXPECT_EQ(l.front(), '{');
        EXPECT_EQ(l.back(), '}');
        EXPECT_NE(l.find("\"time\":"), std::string::npos);
    }
    EXPECT_NE(lines[0].find("\"dir\":\"in\",\"kind\":\"frame\",\"cmd\":2,\"sub\":0,\"p1\":32,"
                            "\"p2\":300,\"p3\":0,\"bytes\":16,\"status\":1"),
              std::string::npos);
    EXPECT_NE(lines[1].find("\"kind\":\"data\",\"cmd\":2,\"sub\":0"), std::string::npos);
    EXPECT_NE(lines[1].find("\"bytes\":300,\"status\":1"), std::string::npos);
    EXPECT_NE(lines[2].find("\"cmd\":1,\"sub\":0,\"p1\":4660"), std::string::npos);
    EXPECT_NE(lines[2].find("\"status\":0"), std::string::npos);
    EXPECT_NE(lines[3].find("\"reply_bytes\":6"), std::string::npos);
}

TEST(FirmwareUpgrade, CarriedImagesAreTakenByTheirUpgradePaths) {
    // Whatever firmware the catalogue carries must pass the writer's own signature checks.
    std::vector<std::uint16_t> ids;
    for (std::uint16_t id = 0x0100; id <= 0x0108; ++id) {
        if (cat::LookupImage(id)) ids.push_back(id);
    }
    const auto cmd4 = cat::LookupImage(0x0200);
    if (ids.empty() && !cmd4) GTEST_SKIP() << "no firmware images carried";
    VWriter dev({"--firmware", "old"});
    if (cmd4) {
        Link link;
        const Bytes image(cmd4->data, cmd4->data + cmd4->length);
        ASSERT_TRUE(link.WriteCommand(4, 0, 0, image));
        const Bytes reply = FirmwareReply();
        EXPECT_EQ(Bytes(reply.begin() + 3, reply.end()),
                  (Bytes{0x00, cmd4->version1, cmd4->version2}));
    }
    for (std::uint16_t id : ids) {
        const auto rec = cat::LookupImage(id);
        const Bytes image(rec->data, rec->data + rec->length);
        ASSERT_EQ(Dfu().ResetToIsp(writer_ids::WRITER_VID, writer_ids::WRITER_PID), 0);
        EXPECT_EQ(Dfu().Download(image.data(), 0, rec->length, ByteSum(image)), 1) << id;
        ASSERT_EQ(Dfu().ResetToAp(), 1);
        // Back in the application once the device has re-enumerated.
        std::optional<Bytes> reply;
        for (int i = 0; i < 100 && !reply; ++i) {
            Link link;
            if (link.connected()) {
                link.Frame(0, 0);
                reply = link.Receive(6);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        ASSERT_TRUE(reply);
        EXPECT_EQ(Bytes(reply->begin(), reply->begin() + 3),
                  (Bytes{static_cast<std::uint8_t>(id & 0xFF), rec->version1, rec->version2}));
    }
}
