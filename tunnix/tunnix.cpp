// libtunnix.so: the writer transport with the call contract the program binds by name.
// A connection lives in the caller's 32-byte record: vendor id, product id, read and write
// time-outs (little-endian 32-bit each), then 16 bytes we use to find the session again.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/device/writer_ids.h"
#include "tunnix/link.h"
#include "tunnix/socket_hello.h"

#define TNX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr std::uint8_t kSessionMark[4] = {'T', 'N', 'X', 1};

std::uint32_t GetLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PutLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Time-outs beyond a day are clamped so the deadline arithmetic cannot overflow.
int TimeoutAt(const std::uint8_t* record, int offset) {
    const std::uint32_t ms = GetLE32(record + offset);
    return static_cast<int>(ms > 86'400'000u ? 86'400'000u : ms);
}

std::mutex gMutex;
std::map<std::uint32_t, std::shared_ptr<tnx::Link>> gSessions;
std::uint32_t gNextSlot = 1;

std::shared_ptr<tnx::Link> SessionOf(const std::uint8_t* record) {
    if (!record || std::memcmp(record + 16, kSessionMark, 4) != 0) return nullptr;
    std::lock_guard lock(gMutex);
    const auto it = gSessions.find(GetLE32(record + 20));
    return it == gSessions.end() ? nullptr : it->second;
}

void Forget(std::uint8_t* record) {
    if (std::memcmp(record + 16, kSessionMark, 4) != 0) return;
    {
        std::lock_guard lock(gMutex);
        gSessions.erase(GetLE32(record + 20));
    }
    std::memset(record + 16, 0, 8);
}

}  // namespace

TNX_EXPORT int ConnectTNX(void* record, int /*mode*/) {
    auto* rec = static_cast<std::uint8_t*>(record);
    if (!rec) return -1;
    Forget(rec);  // a record reused without a disconnect drops its old session
    const std::uint32_t vid = GetLE32(rec);
    const std::uint32_t pid = GetLE32(rec + 4);
    if (vid > 0xFFFF || pid > 0xFFFF) return -1;
    const auto v = static_cast<std::uint16_t>(vid);
    const auto p = static_cast<std::uint16_t>(pid);

    std::unique_ptr<tnx::Link> link;
    const tnx::TransportChoice choice = tnx::ChooseTransport(v, p);
    if (choice.kind == tnx::TransportKind::kSocket) {
        const int timeout = TimeoutAt(rec, 8) > 0 ? std::min(TimeoutAt(rec, 8), 5000) : 1000;
        link = tnx::OpenSocketLink(choice.socketPath, tnx::kChannelWriter, v, p, timeout);
    } else if (choice.kind == tnx::TransportKind::kHid) {
        std::string problem;
        link = tnx::OpenChosenHid(choice, v, p, problem);
    }
    if (!link) return -1;

    std::lock_guard lock(gMutex);
    const std::uint32_t slot = gNextSlot++;
    gSessions.emplace(slot, std::move(link));
    std::memcpy(rec + 16, kSessionMark, 4);
    PutLE32(rec + 20, slot);
    return 0;
}

// Beyond the call contract, for a connect that failed: 1 when the writer's loader answers for
// the record's ids (its application is gone, as after an upgrade that did not finish), else 0.
TNX_EXPORT int LoaderAnswersTNX(void* record) {
    const auto* rec = static_cast<const std::uint8_t*>(record);
    if (!rec || GetLE32(rec) > 0xFFFF || GetLE32(rec + 4) > 0xFFFF) return 0;
    const auto v = static_cast<std::uint16_t>(GetLE32(rec));
    const auto p = static_cast<std::uint16_t>(GetLE32(rec + 4));
    // Over USB the loader enumerates under a product id of its own.
    const std::uint16_t hidPid = p == writer_ids::WRITER_PID ? writer_ids::WRITER_LOADER_PID : p;
    const tnx::TransportChoice choice = tnx::ChooseTransport(v, hidPid);
    if (choice.kind == tnx::TransportKind::kHid)
        return tnx::ChosenHidPath(choice, v, hidPid).empty() ? 0 : 1;
    if (choice.kind != tnx::TransportKind::kSocket) return 0;
    return tnx::OpenSocketLink(choice.socketPath, tnx::kChannelLoader, v, p, 1000) ? 1 : 0;
}

TNX_EXPORT int DisconnectTNX(void* record) {
    auto* rec = static_cast<std::uint8_t*>(record);
    if (!rec || !SessionOf(rec)) return -1;
    Forget(rec);
    return 0;
}

TNX_EXPORT int WriteData(void* record, const unsigned char* data, unsigned int length,
                         unsigned int* count) {
    const auto* rec = static_cast<const std::uint8_t*>(record);
    if (count) *count = 0;
    const auto link = SessionOf(rec);
    if (!link || (!data && length > 0)) return -1;
    if (!link->Write(data, length, TimeoutAt(rec, 12))) return -1;
    if (count) *count = length;
    return 0;
}

TNX_EXPORT int ReadData(void* record, unsigned char* buffer, unsigned int length,
                        unsigned int* count) {
    const auto* rec = static_cast<const std::uint8_t*>(record);
    if (count) *count = 0;
    const auto link = SessionOf(rec);
    if (!link || (!buffer && length > 0)) return -1;
    const std::size_t got = link->Read(buffer, length, TimeoutAt(rec, 8));
    if (count) *count = static_cast<unsigned int>(got);
    return got == length ? 0 : -1;
}

TNX_EXPORT int ClearTNXBuffer(void* record) {
    const auto link = SessionOf(static_cast<const std::uint8_t*>(record));
    if (!link) return -1;
    link->Clear();
    return 0;
}
