#include "writer/writer_link.h"

#include <algorithm>

#include "core/bytes.h"
#include "platform/device/device_watch.h"
#include "platform/device/writer_ids.h"
#include "platform/library_loader.h"

namespace writer {

namespace {

using core::GetLE32;
using core::PutLE32;

}  // namespace

std::array<std::uint8_t, 16> CommandFrame(std::uint8_t command, std::uint8_t subcommand,
                                          std::uint32_t p1, std::uint32_t p2, std::uint32_t p3) {
    std::array<std::uint8_t, 16> frame{0xFF, 0x5A, command, subcommand};
    PutLE32(frame.data() + 4, p1);
    PutLE32(frame.data() + 8, p2);
    PutLE32(frame.data() + 12, p3);
    return frame;
}

struct WriterLink::Api {
    int (*WriteData)(void*, const unsigned char*, unsigned int, unsigned int*) = nullptr;
    int (*ReadData)(void*, unsigned char*, unsigned int, unsigned int*) = nullptr;
    int (*ConnectTNX)(void*, int) = nullptr;
    int (*DisconnectTNX)(void*) = nullptr;
    int (*ClearTNXBuffer)(void*) = nullptr;
    // Ours only, so optional: whether the writer's loader answers when its application does not.
    int (*LoaderAnswersTNX)(void*) = nullptr;
};

WriterLink::WriterLink(Host& host) : host_(host) {}

WriterLink::~WriterLink() {
    Unload();
}

bool WriterLink::Load(core::Questions& questions) {
    Unload();
    library_ = platform::LoadProgramLibrary("libtunnix.so");
    if (library_) {
        auto api = std::make_unique<Api>();
        auto resolve = [this](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
                platform::LibrarySymbol(library_, name));
            return fn != nullptr;
        };
        const bool all = resolve(api->WriteData, "WriteData") &&
                         resolve(api->ReadData, "ReadData") &&
                         resolve(api->ConnectTNX, "ConnectTNX") &&
                         resolve(api->DisconnectTNX, "DisconnectTNX") &&
                         resolve(api->ClearTNXBuffer, "ClearTNXBuffer");
        if (all) {
            resolve(api->LoaderAnswersTNX, "LoaderAnswersTNX");
            api_ = std::move(api);
            return true;
        }
        platform::UnloadProgramLibrary(library_);
        library_ = nullptr;
    }
    questions.Inform("Warning", "Load TUNNIX.DLL fail !");
    return false;
}

void WriterLink::Unload() {
    if (!library_) return;
    Disconnect();
    api_.reset();
    platform::UnloadProgramLibrary(library_);
    library_ = nullptr;
}

bool WriterLink::Connect() {
    if (!library_) return false;
    Disconnect();
    record_ = std::make_unique<ConnectionRecord>();
    record_->fill(0);
    PutLE32(record_->data() + 0, writer_ids::WRITER_VID);
    PutLE32(record_->data() + 4, writer_ids::WRITER_PID);
    SetTimeouts(kDefaultTimeoutMs, kDefaultTimeoutMs);
    loaderOnly_ = false;
    outOfStep_ = false;
    if (api_->ConnectTNX(record_->data(), 1) != 0) {
        loaderOnly_ = api_->LoaderAnswersTNX && api_->LoaderAnswersTNX(record_->data()) == 1;
        record_.reset();
    }
    return connected();
}

void WriterLink::Disconnect() {
    if (!library_ || !record_) return;
    api_->DisconnectTNX(record_->data());
    record_.reset();
}

void WriterLink::SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    PutLE32(record_->data() + kReadTimeoutOffset, readMs);
    PutLE32(record_->data() + kWriteTimeoutOffset, writeMs);
}

bool WriterLink::IsWriterEnumerated() {
    return devwatch::IsWriterEnumerated();
}

std::uint32_t WriterLink::ReadTimeout() const {
    return record_ ? GetLE32(record_->data() + kReadTimeoutOffset) : 0;
}

std::uint32_t WriterLink::WriteTimeout() const {
    return record_ ? GetLE32(record_->data() + kWriteTimeoutOffset) : 0;
}

bool WriterLink::DeadlinePassed() const {
    return cutShort_ || (deadline && std::chrono::steady_clock::now() >= *deadline);
}

std::uint32_t WriterLink::CallTimeout(std::uint32_t ms) const {
    const std::uint32_t wanted = ms ? ms : kDefaultTimeoutMs;
    if (!deadline) return wanted;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          *deadline - std::chrono::steady_clock::now())
                          .count();
    return static_cast<std::uint32_t>(std::clamp<long long>(left, 0, wanted));
}

bool WriterLink::Write(const std::uint8_t* data, std::uint32_t length, std::uint32_t timeoutMs) {
    PutLE32(record_->data() + kWriteTimeoutOffset, CallTimeout(timeoutMs));
    unsigned int count = 0;
    const int refused = api_->WriteData(record_->data(), data, length, &count);
    SetTimeouts(kDefaultTimeoutMs, kDefaultTimeoutMs);
    return refused == 0;
}

std::uint32_t WriterLink::Read(std::uint8_t* buffer, std::uint32_t length,
                               std::uint32_t timeoutMs) {
    const std::uint32_t timeout = CallTimeout(timeoutMs);
    PutLE32(record_->data() + kReadTimeoutOffset, timeout);
    unsigned int count = 0;
    api_->ReadData(record_->data(), buffer, length, &count);
    SetTimeouts(kDefaultTimeoutMs, kDefaultTimeoutMs);
    if (count < length) {
        outOfStep_ = true;
        // Ended by the deadline, however close to it the clock still reads.
        if (timeout < (timeoutMs ? timeoutMs : kDefaultTimeoutMs)) cutShort_ = true;
    }
    return std::min<std::uint32_t>(count, length);
}

void WriterLink::DiscardPendingInput() {
    if (outOfStep_) {
        // An answer that missed its time-out may still come, and would be read as the answer
        // to this frame: give it a while to arrive, then a moment of quiet.
        constexpr std::uint32_t kLateMs = 2000;
        constexpr std::uint32_t kQuietMs = 100;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLateMs);
        std::uint32_t wait = kLateMs;
        while (!DeadlinePassed() && std::chrono::steady_clock::now() < until) {
            std::uint8_t late = 0;
            if (Read(&late, 1, wait) == 0) break;
            wait = kQuietMs;
        }
        outOfStep_ = false;
    }
    api_->ClearTNXBuffer(record_->data());
}

std::uint32_t WriterLink::Exchange(std::uint8_t command, std::uint8_t subcommand, std::uint32_t p1,
                                   std::uint32_t p2, std::uint32_t p3, std::uint32_t replyLength,
                                   std::uint8_t* reply, std::uint32_t timeoutMs) {
    const auto frame = CommandFrame(command, subcommand, p1, p2, p3);
    if (connected()) {
        if (DeadlinePassed()) return 0;
        DiscardPendingInput();
        if (!Write(frame.data(), frame.size(), timeoutMs)) return 0;
    }
    if (replyLength == 0) return 1;
    if (!connected()) return 0;
    if (!reply) {
        // A small reply of 1 to 4 bytes, read as a little-endian number.
        std::array<std::uint8_t, 4> small{};
        const std::uint32_t wanted = std::min<std::uint32_t>(replyLength, small.size());
        Read(small.data(), wanted, timeoutMs);
        return GetLE32(small.data());
    }
    return Read(reply, replyLength, timeoutMs) == replyLength ? 1 : 0;
}

void WriterLink::AdvanceProgress(std::uint32_t chunk) {
    progressDone += chunk;
    // Truncating 32-bit arithmetic, as the bar has always shown it.
    const std::uint32_t position = progressTotal ? progressDone * 100u / progressTotal : 0;
    host_.SetProgressPosition(position);
    host_.PumpMessages();
}

bool WriterLink::BulkWrite(const std::uint8_t* data, std::uint32_t length,
                           std::uint32_t timeoutMs) {
    std::uint32_t offset = 0;
    while (length > 0) {
        const std::uint32_t chunk = std::min(kChunk, length);
        if (!connected() || DeadlinePassed()) return false;
        if (!Write(data + offset, chunk, timeoutMs)) return false;
        std::uint8_t ack = 0;
        if (Read(&ack, 1, 0) == 0 || ack == 0) return false;
        offset += chunk;
        length -= chunk;
        AdvanceProgress(chunk);
        // A handler run by the pump may have closed the connection; the next chunk sees it.
    }
    return true;
}

bool WriterLink::BulkRead(std::uint8_t* buffer, std::uint32_t length, std::uint32_t timeoutMs) {
    std::uint32_t offset = 0;
    while (length > 0) {
        const std::uint32_t chunk = std::min(kChunk, length);
        std::uint32_t count = 0;
        if (connected() && !DeadlinePassed()) count = Read(buffer + offset, chunk, timeoutMs);
        if (count != chunk) return false;
        offset += chunk;
        length -= chunk;
        AdvanceProgress(chunk);
    }
    return true;
}

}  // namespace writer
