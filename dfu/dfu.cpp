// libdfu.so: the writer's firmware download with the call contract the program binds by name.
// A worker thread makes the first three calls while the UI thread polls the progress count.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/device/device_watch.h"
#include "platform/device/writer_ids.h"
#include "tunnix/link.h"
#include "tunnix/socket_hello.h"

#define DFU_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kNothingToShow = 255;
constexpr int kReplyTimeoutMs = 5000;

std::atomic<int> gProgress{0};
// How long a download waits for the loader to come up: the program's wait for the writer,
// chosen the same way when the restart is asked for.
std::atomic<std::uint32_t> gLoaderWaitMs{devwatch::kUpgradeWaitNewMs};
std::atomic<std::uint32_t> gVid{writer_ids::WRITER_VID};
std::atomic<std::uint32_t> gPid{writer_ids::WRITER_PID};

void PutLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Opens the loader channel, retrying while the device is still re-enumerating.
std::unique_ptr<tnx::Link> OpenLoader(int appearTimeoutMs) {
    const auto vid = static_cast<std::uint16_t>(gVid.load());
    const auto pid = static_cast<std::uint16_t>(gPid.load());
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(appearTimeoutMs);
    // Over USB the loader enumerates under a product id of its own.
    const std::uint16_t hidPid =
        pid == writer_ids::WRITER_PID ? writer_ids::WRITER_LOADER_PID : pid;
    for (;;) {
        const tnx::TransportChoice choice = tnx::ChooseTransport(vid, hidPid);
        std::unique_ptr<tnx::Link> link;
        if (choice.kind == tnx::TransportKind::kSocket) {
            link = tnx::OpenSocketLink(choice.socketPath, tnx::kChannelLoader, vid, pid,
                                       kReplyTimeoutMs);
        } else if (choice.kind == tnx::TransportKind::kHid) {
            std::string problem;
            link = tnx::OpenChosenHid(choice, vid, hidPid, problem);
        }
        if (link || std::chrono::steady_clock::now() >= deadline) return link;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool Request(tnx::Link& link, const std::uint8_t* bytes, std::size_t length) {
    std::uint8_t status = 0;
    return link.Write(bytes, length, kReplyTimeoutMs) &&
           link.Read(&status, 1, kReplyTimeoutMs) == 1 && status != 0;
}

}  // namespace

DFU_EXPORT int DFU_Reset_To_ISP(unsigned int vid, unsigned int pid) {
    gProgress = kNothingToShow;
    gLoaderWaitMs = devwatch::UpgradeWaitMs();
    if (vid > 0xFFFF || pid > 0xFFFF) return 1;
    gVid = vid;
    gPid = pid;
    const auto v = static_cast<std::uint16_t>(vid);
    const auto p = static_cast<std::uint16_t>(pid);
    const tnx::TransportChoice choice = tnx::ChooseTransport(v, p);
    if (choice.kind == tnx::TransportKind::kHid) {
        // A real writer restarts into its loader on feature report 2 "ISP".
        const std::uint8_t report[4] = {0x02, 'I', 'S', 'P'};
        return tnx::HidSendFeature(tnx::ChosenHidPath(choice, v, p), report, sizeof report) ? 0 : 1;
    }
    if (choice.kind != tnx::TransportKind::kSocket) return 1;
    auto link = tnx::OpenSocketLink(choice.socketPath, tnx::kChannelLoader, v, p, kReplyTimeoutMs);
    const std::uint8_t request = 'I';
    return link && Request(*link, &request, 1) ? 0 : 1;
}

DFU_EXPORT int DFU_Download(const unsigned char* image, unsigned int /*zero*/, unsigned int length,
                            unsigned int checksum) {
    if (!image || length == 0) {
        gProgress = 0;
        return 0;
    }
    std::uint32_t sum = 0;
    for (unsigned int i = 0; i < length; ++i) sum += image[i];
    if (sum != checksum) {
        gProgress = 0;  // nothing will be sent: let a waiting UI move on
        return 0;
    }
    auto link = OpenLoader(static_cast<int>(gLoaderWaitMs.load()));
    gProgress = 0;
    if (!link) return 0;
    std::uint8_t header[9] = {'D'};
    PutLE32(header + 1, length);
    PutLE32(header + 5, checksum);
    if (!Request(*link, header, sizeof header)) return 0;
    std::uint32_t done = 0;
    while (done < length) {
        const std::uint32_t block = std::min<std::uint32_t>(tnx::kLoaderBlock, length - done);
        std::uint8_t ack = 0;
        if (!link->Write(image + done, block, kReplyTimeoutMs) ||
            link->Read(&ack, 1, kReplyTimeoutMs) != 1 || ack == 0) {
            return 0;
        }
        done += block;
        gProgress = static_cast<int>(static_cast<std::uint64_t>(done) * 100 / length);
    }
    std::uint8_t taken = 0;
    return link->Read(&taken, 1, kReplyTimeoutMs) == 1 && taken == 1 ? 1 : 0;
}

DFU_EXPORT int DFU_Reset_To_AP(void) {
    auto link = OpenLoader(kReplyTimeoutMs);
    const std::uint8_t request = 'A';
    return link && Request(*link, &request, 1) ? 1 : 0;
}

DFU_EXPORT int DFU_Get_ProcessCount(void) {
    return gProgress.load();
}
