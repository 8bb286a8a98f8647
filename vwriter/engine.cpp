#include "vwriter/engine.h"

#include <sys/time.h>
#include <algorithm>
#include <array>
#include <cstring>
#include <thread>
#include <vector>

#include "tunnix/socket_hello.h"

namespace vw {

namespace {

constexpr std::size_t kFrameSize = 16;
constexpr std::size_t kChunk = 128;
constexpr std::uint8_t kMagicLow = 0xFF, kMagicHigh = 0x5A;

std::uint32_t GetLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
           static_cast<std::uint32_t>(p[3]) << 24;
}

// Counts and traces a host mistake.
void NoteProtocolError(Device& device, Trace* trace, const std::string& what, std::size_t bytes) {
    device.NoteProtocolError();
    if (trace) trace->ProtocolError(what, bytes);
}

enum class FrameRead { kFrame, kEnd, kProtocolError };

// Reads the next frame. Bytes that do not start with the magic are a protocol error; a strict
// device stops there, a lenient one skips them until the magic lines up (a host that lost step).
FrameRead ReadFrame(Port& port, std::uint8_t* frame, Device& device, Trace* trace, bool strict) {
    if (!port.ReadExact(frame, kFrameSize)) {
        if (const std::size_t partial = port.PartialBytes(); partial > 0) {
            NoteProtocolError(device, trace, "bytes where a frame is due", partial);
        }
        return FrameRead::kEnd;
    }
    std::size_t skipped = 0;
    for (;;) {
        std::size_t at = 0;
        while (at + 1 < kFrameSize && !(frame[at] == kMagicLow && frame[at + 1] == kMagicHigh)) {
            ++at;
        }
        if (at == 0) break;
        if (at + 1 == kFrameSize && frame[at] != kMagicLow) at = kFrameSize;
        skipped += at;
        if (strict) {
            NoteProtocolError(device, trace, "bytes where a frame is due", skipped);
            return FrameRead::kProtocolError;
        }
        std::memmove(frame, frame + at, kFrameSize - at);
        if (!port.ReadExact(frame + kFrameSize - at, at)) {
            NoteProtocolError(device, trace, "bytes where a frame is due",
                              skipped + kFrameSize - at + port.PartialBytes());
            return FrameRead::kEnd;
        }
    }
    if (skipped > 0) NoteProtocolError(device, trace, "bytes where a frame is due", skipped);
    return FrameRead::kFrame;
}

class Session {
  public:
    Session(Device& device, Port& port, Trace* trace, const EngineOptions& options)
        : device_(device), port_(port), trace_(trace), options_(options) {}

    // Set when the connection ended on a protocol error.
    bool protocolError() const { return protocolError_; }

    // False when the connection has ended.
    bool Serve(const std::uint8_t* frame) {
        cmd_ = frame[2];
        sub_ = frame[3];
        p1_ = GetLE32(frame + 4);
        p2_ = GetLE32(frame + 8);
        p3_ = GetLE32(frame + 12);
        faults_ = device_.BeginFrame(cmd_, sub_);
        port_.BeginAnswer(faults_);
        if (Has(FaultKind::kNoReply)) {
            TraceFrame(-1, 0);
            return true;
        }
        if (Has(FaultKind::kDrop) && !HasDataPhase()) {
            TraceFrame(-1, 0);
            port_.Drop();
            return false;
        }
        switch (cmd_ << 8 | sub_) {
            case 0x0000:
                return FirmwareReply();
            case 0x0001:
                return Status(device_.CheckId(p1_));
            case 0x0100:
                return Status(device_.WholeChipErase(p1_));
            case 0x0101:
                return Status(device_.ErasePages(p1_, p2_));
            case 0x0200:
                return WriteMemory();
            case 0x0201:
                return ProgramOptions();
            case 0x0202:
                return WriteCode();
            case 0x0203:
                return WriteInfo();
            case 0x0300:
                return DumpTarget();
            case 0x0301:
                return ReadOptions();
            case 0x0302:
                return ReadInfo();
            case 0x0304:
                return TrimChip();
            case 0x0400:
                return Upgrade();
            default:
                return Status(false);
        }
    }

  private:
    bool Has(FaultKind kind) const {
        return std::any_of(faults_.begin(), faults_.end(),
                           [&](const Fault& f) { return f.kind == kind; });
    }
    bool HasAt(FaultKind kind, std::uint32_t chunk) const {
        return std::any_of(faults_.begin(), faults_.end(),
                           [&](const Fault& f) { return f.kind == kind && f.chunk == chunk; });
    }
    std::uint32_t ValueOf(FaultKind kind, std::uint32_t otherwise) const {
        for (const Fault& f : faults_) {
            if (f.kind == kind) return f.value;
        }
        return otherwise;
    }
    // The byte that says yes: 1, or what a status fault makes it.
    std::uint8_t Yes() const { return static_cast<std::uint8_t>(ValueOf(FaultKind::kStatus, 1)); }
    void HoldReply() {
        if (Has(FaultKind::kDelay)) port_.Pause(static_cast<int>(ValueOf(FaultKind::kDelay, 0)));
    }
    // A host mistake inside a data phase; false when the strict device drops the connection.
    bool Mistake(const char* what, std::size_t bytes) {
        NoteProtocolError(device_, trace_, what, bytes);
        if (!options_.strict) return true;
        protocolError_ = true;
        port_.Drop();
        return false;
    }
    bool HasDataPhase() const {
        return (cmd_ == 2 && sub_ <= 3) || (cmd_ == 3 && sub_ != 3 && sub_ <= 4) ||
               (cmd_ == 4 && sub_ == 0);
    }

    void TraceFrame(int status, std::size_t reply) {
        if (trace_) trace_->Frame(cmd_, sub_, p1_, p2_, p3_, status, reply);
    }

    bool FirmwareReply() {
        const FirmwareId id = device_.Firmware();
        std::size_t n = id.size();
        if (Has(FaultKind::kShortReply)) --n;
        HoldReply();
        if (Has(FaultKind::kStatus0)) {
            FirmwareId zero{};
            TraceFrame(0, n);
            return port_.Write(zero.data(), n);
        }
        TraceFrame(1, n);
        return port_.Write(id.data(), n);
    }

    // Sends the status byte; true when the command goes on to its data phase.
    bool SendStatus(bool ok, bool& alive) {
        if (Has(FaultKind::kStatus0)) ok = false;
        // The trim holds back its result, not its status byte.
        if (!(cmd_ == 3 && sub_ == 4)) HoldReply();
        if (Has(FaultKind::kShortReply)) {
            TraceFrame(-1, 0);
            alive = true;
            return false;
        }
        // Deaf before it answers, so the host's next write is refused however fast it comes.
        if (Has(FaultKind::kDeaf)) port_.StopReading();
        // An unsolicited byte goes out with the status byte, in the same write.
        const std::array<std::uint8_t, 2> reply{static_cast<std::uint8_t>(ok ? Yes() : 0), 1};
        TraceFrame(reply[0], 1);
        alive = port_.Write(reply.data(), Has(FaultKind::kExtra) ? 2 : 1);
        return ok && alive;
    }

    bool Status(bool ok) {
        bool alive = true;
        SendStatus(ok, alive);
        return alive;
    }

    // Receives `length` bytes in acknowledged chunks; `store` keeps one chunk and says whether
    // it was stored. False from `alive` when the connection ended.
    template <typename Store>
    bool Receive(std::uint32_t length, Store store, bool& alive) {
        const bool lie = Has(FaultKind::kLie);
        std::vector<std::uint8_t> chunk(kChunk);
        std::uint32_t offset = 0;
        bool complete = true;
        for (std::uint32_t n = 1; offset < length; ++n) {
            const std::size_t size = std::min<std::size_t>(kChunk, length - offset);
            if (!port_.ReadExact(chunk.data(), size)) {
                alive = false;
                complete = false;
                break;
            }
            if (HasAt(FaultKind::kDrop, n)) {
                port_.Drop();
                alive = false;
                complete = false;
                break;
            }
            // The host waits for each acknowledgement before it sends more.
            if (const std::size_t extra = port_.Available();
                extra > 0 && !Mistake("bytes before the acknowledgement", extra)) {
                alive = false;
                complete = false;
                break;
            }
            // A chunk the writer refuses (ack 0) is one it could not store.
            const bool refused = HasAt(FaultKind::kAck0, n);
            const bool stored = !refused && (lie || store(offset, std::span(chunk.data(), size)));
            offset += static_cast<std::uint32_t>(size);
            if (HasAt(FaultKind::kNoAck, n)) {
                complete = false;  // the host times out; this data phase is over
                break;
            }
            const std::uint8_t ack = stored ? Yes() : 0;
            if (!port_.Write(&ack, 1)) {
                alive = false;
                complete = false;
                break;
            }
            if (ack == 0) {
                complete = false;
                break;
            }
        }
        if (trace_) trace_->Data("in", cmd_, sub_, p1_, p2_, p3_, offset, complete);
        return complete;
    }

    // Sends bytes in 128-byte pieces without acknowledgement.
    bool Send(const std::uint8_t* data, std::size_t length) {
        std::size_t offset = 0;
        bool alive = true, complete = true;
        for (std::uint32_t n = 1; offset < length; ++n) {
            std::size_t size = std::min(kChunk, length - offset);
            if (HasAt(FaultKind::kDrop, n)) {
                port_.Drop();
                alive = complete = false;
                break;
            }
            // Nothing is due from the host before it has every piece (an acknowledged piece).
            if (const std::size_t extra = port_.Available(); extra > 0) {
                if (!Mistake("bytes during a read", extra)) {
                    alive = complete = false;
                    break;
                }
                port_.Discard(extra);
            }
            const bool shortPiece = HasAt(FaultKind::kShortRead, n);
            if (shortPiece) --size;
            if (!port_.Write(data + offset, size)) {
                alive = complete = false;
                break;
            }
            offset += size;
            if (shortPiece) {
                complete = false;  // the host fails this piece; the rest is not sent
                break;
            }
        }
        if (trace_) trace_->Data("out", cmd_, sub_, p1_, p2_, p3_, offset, complete);
        return alive;
    }

    bool WriteMemory() {
        bool alive = true;
        if (!SendStatus(device_.InFlash(p1_, p2_), alive)) return alive;
        const std::uint32_t start = p1_;
        Receive(
            p2_,
            [&](std::uint32_t offset, ByteSpan bytes) {
                device_.Program(start + offset, bytes);
                return true;
            },
            alive);
        return alive;
    }

    bool ProgramOptions() {
        bool alive = true;
        if (!SendStatus(p2_ <= device_.OptionCount(), alive)) return alive;
        const std::uint32_t total = p2_;
        std::vector<std::uint8_t> bytes;
        Receive(
            p2_,
            [&](std::uint32_t, ByteSpan chunk) {
                bytes.insert(bytes.end(), chunk.begin(), chunk.end());
                // Kept as a whole before the last chunk is acknowledged.
                if (bytes.size() == total) device_.ProgramOptions(bytes);
                return true;
            },
            alive);
        return alive;
    }

    bool WriteCode() {
        bool alive = true;
        if (!SendStatus(p2_ <= kMaxOfflineCode, alive)) return alive;
        const std::uint32_t total = p2_;
        if (total == 0 && !Has(FaultKind::kLie)) device_.StoreCode({});
        std::vector<std::uint8_t> code;
        code.reserve(p2_);
        Receive(
            p2_,
            [&](std::uint32_t, ByteSpan chunk) {
                code.insert(code.end(), chunk.begin(), chunk.end());
                // Kept as a whole before the last chunk is acknowledged.
                if (code.size() == total) device_.StoreCode(code);
                return true;
            },
            alive);
        return alive;
    }

    bool WriteInfo() {
        bool alive = true;
        if (!SendStatus(p2_ <= kMaxInfoRecord, alive)) return alive;
        const std::uint32_t total = p2_;
        if (total == 0 && !Has(FaultKind::kLie)) device_.StoreInfo({});
        std::vector<std::uint8_t> record;
        Receive(
            p2_,
            [&](std::uint32_t, ByteSpan chunk) {
                record.insert(record.end(), chunk.begin(), chunk.end());
                // Kept as a whole before the last chunk is acknowledged.
                if (record.size() == total) device_.StoreInfo(record);
                return true;
            },
            alive);
        return alive;
    }

    bool DumpTarget() {
        bool alive = true;
        if (!SendStatus(device_.InFlash(p1_, p2_), alive)) return alive;
        const auto bytes = device_.ReadFlash(p1_, p2_);
        return Send(bytes.data(), bytes.size());
    }

    bool ReadOptions() {
        bool alive = true;
        if (!SendStatus(p2_ <= device_.OptionCount(), alive)) return alive;
        const auto bytes = device_.ReadOptions(p2_);
        return Send(bytes.data(), bytes.size());
    }

    bool ReadInfo() {
        bool alive = true;
        if (!SendStatus(p2_ <= kInfoBlockSize, alive)) return alive;
        const auto block = device_.InfoBlock();
        return Send(block.data(), p2_);
    }

    bool TrimChip() {
        bool alive = true;
        const auto result = device_.Trim(p1_, p2_);
        if (!SendStatus(result.has_value(), alive)) return alive;
        port_.Pause(static_cast<int>(ValueOf(FaultKind::kDelay, options_.trimDelayMs)));
        const std::uint8_t byte = Has(FaultKind::kResult0) || *result == 0 ? 0 : Yes();
        return Send(&byte, 1);
    }

    bool Upgrade() {
        bool alive = true;
        if (!SendStatus(p2_ > 0 && p2_ <= kMaxImage, alive)) return alive;
        std::vector<std::uint8_t> image;
        image.reserve(p2_);
        const std::uint32_t total = p2_;
        Receive(
            p2_,
            [&](std::uint32_t, ByteSpan chunk) {
                image.insert(image.end(), chunk.begin(), chunk.end());
                // The image is checked once whole: a bad one is refused on its last chunk.
                return image.size() < total || device_.AdoptCommandImage(image);
            },
            alive);
        return alive;
    }

    Device& device_;
    Port& port_;
    Trace* trace_;
    const EngineOptions& options_;
    std::uint8_t cmd_ = 0, sub_ = 0;
    std::uint32_t p1_ = 0, p2_ = 0, p3_ = 0;
    std::vector<Fault> faults_;  // the faults that apply to this frame
    bool protocolError_ = false;
};

std::string JsonTime() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%lld.%06ld", static_cast<long long>(tv.tv_sec),
                  static_cast<long>(tv.tv_usec));
    return buf;
}

}  // namespace

void Port::Pause(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void Port::Discard(std::size_t length) {
    std::array<std::uint8_t, 256> sink{};
    while (length > 0) {
        const std::size_t n = std::min(length, sink.size());
        if (!ReadExact(sink.data(), n)) return;
        length -= n;
    }
}

Trace::~Trace() {
    if (file_) std::fclose(file_);
}

bool Trace::Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "a");
    return file_ != nullptr;
}

void Trace::Line(const std::string& body) {
    std::lock_guard lock(mutex_);
    if (!file_) return;
    std::fprintf(file_, "{\"time\":%s,%s}\n", JsonTime().c_str(), body.c_str());
    std::fflush(file_);
}

void Trace::Frame(std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1, std::uint32_t p2,
                  std::uint32_t p3, int status, std::size_t replyBytes) {
    if (!file_) return;
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "\"dir\":\"in\",\"kind\":\"frame\",\"cmd\":%u,\"sub\":%u,\"p1\":%u,\"p2\":%u,"
                  "\"p3\":%u,\"bytes\":16,\"status\":%s,\"reply_bytes\":%zu",
                  cmd, sub, p1, p2, p3, status < 0 ? "null" : std::to_string(status).c_str(),
                  replyBytes);
    Line(buf);
}

void Trace::Data(const char* dir, std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1,
                 std::uint32_t p2, std::uint32_t p3, std::size_t bytes, bool complete) {
    if (!file_) return;
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "\"dir\":\"%s\",\"kind\":\"data\",\"cmd\":%u,\"sub\":%u,\"p1\":%u,\"p2\":%u,"
                  "\"p3\":%u,\"bytes\":%zu,\"status\":%d",
                  dir, cmd, sub, p1, p2, p3, bytes, complete ? 1 : 0);
    Line(buf);
}

void Trace::Event(const std::string& what) {
    if (!file_) return;
    std::string escaped;
    for (char c : what) {
        if (c == '"' || c == '\\') escaped += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) escaped += c;
    }
    Line("\"dir\":\"none\",\"kind\":\"event\",\"event\":\"" + escaped + "\"");
}

void Trace::ProtocolError(const std::string& what, std::size_t bytes) {
    if (!file_) return;
    Line("\"dir\":\"in\",\"kind\":\"protocol_error\",\"error\":\"" + what +
         "\",\"bytes\":" + std::to_string(bytes));
}

void Trace::Connection(const char* event, unsigned id, const char* channel,
                       const std::string& detail) {
    if (!file_) return;
    Line(std::string("\"dir\":\"none\",\"kind\":\"event\",\"event\":\"") + event +
         "\",\"connection\":" + std::to_string(id) + ",\"channel\":\"" + channel +
         "\",\"detail\":\"" + detail + "\"");
}

SessionEnd ServeWriter(Device& device, Port& port, Trace* trace, const EngineOptions& options) {
    Session session(device, port, trace, options);
    std::array<std::uint8_t, kFrameSize> frame{};
    for (;;) {
        switch (ReadFrame(port, frame.data(), device, trace, options.strict)) {
            case FrameRead::kEnd:
                return SessionEnd::kHostClosed;
            case FrameRead::kProtocolError:
                port.Drop();
                return SessionEnd::kProtocolError;
            case FrameRead::kFrame:
                break;
        }
        const bool alive = session.Serve(frame.data());
        device.Commit();
        if (!alive)
            return session.protocolError() ? SessionEnd::kProtocolError : SessionEnd::kDropped;
    }
}

Restart ServeLoader(Device& device, Port& port, Trace* trace, DetachHandler detach, void* context) {
    std::uint8_t request = 0;
    if (!port.ReadExact(&request, 1)) return Restart::kNone;
    const bool loader = device.CurrentMode() == Mode::kLoader;
    const std::vector<Fault> faults = device.BeginFrame(request, 0, true);
    const auto has = [&](FaultKind kind) {
        return std::any_of(faults.begin(), faults.end(),
                           [&](const Fault& f) { return f.kind == kind; });
    };
    const auto answer = [&](bool ok) {
        const std::uint8_t status = ok ? 1 : 0;
        port.Write(&status, 1);
    };
    switch (request) {
        case 'I':
            if (trace) trace->Event("loader: restart into loader");
            // The loader restarts too: the host waits for the device to re-enumerate.
            detach(context);
            answer(true);
            return Restart::kIntoLoader;
        case 'A':
            if (trace) trace->Event("loader: restart into application");
            if (!loader) {
                answer(false);
                return Restart::kNone;
            }
            if (has(FaultKind::kLoaderRestart)) {
                // A loader that hangs: no answer, no restart, until the host gives up.
                std::uint8_t sink = 0;
                while (port.ReadExact(&sink, 1)) {
                }
                return Restart::kNone;
            }
            detach(context);
            answer(true);
            return Restart::kIntoApplication;
        case 'D': {
            std::uint8_t header[8];
            if (!port.ReadExact(header, sizeof header)) return Restart::kNone;
            const std::uint32_t length = GetLE32(header);
            const std::uint32_t sum = GetLE32(header + 4);
            const bool ok =
                loader && length > 0 && length <= kMaxImage && !has(FaultKind::kLoaderDownload);
            answer(ok);
            if (!ok) return Restart::kNone;
            std::vector<std::uint8_t> image(length);
            for (std::uint32_t done = 0; done < length;) {
                const std::uint32_t block = std::min(tnx::kLoaderBlock, length - done);
                if (!port.ReadExact(image.data() + done, block)) return Restart::kNone;
                done += block;
                answer(true);
            }
            std::uint32_t actual = 0;
            for (std::uint8_t b : image) actual += b;
            const bool taken = actual == sum && !has(FaultKind::kLoaderChecksum) &&
                               device.AcceptLoaderImage(image);
            if (trace) {
                trace->Event("loader: download of " + std::to_string(length) + " bytes " +
                             (taken ? "taken" : "refused"));
            }
            answer(taken);
            device.Commit();
            return Restart::kNone;
        }
        default:
            answer(false);
            return Restart::kNone;
    }
}

}  // namespace vw
