// The binding to libtunnix.so and the writer's framing: the 16-byte command frame, replies, and
// data blocks in 128-byte chunks with a one-byte acknowledgement after each written chunk.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/operator_ports.h"
#include "writer/host.h"

namespace writer {

inline constexpr std::uint32_t kDefaultTimeoutMs = 5000;
inline constexpr std::uint32_t kChunk = 128;

// The 32-byte record every libtunnix call takes: vendor id, product id, read and write
// time-outs (little-endian), 16 bytes for the library.
using ConnectionRecord = std::array<std::uint8_t, 32>;
inline constexpr int kReadTimeoutOffset = 8;
inline constexpr int kWriteTimeoutOffset = 12;

// The 16 bytes of one command on the wire.
std::array<std::uint8_t, 16> CommandFrame(std::uint8_t command, std::uint8_t subcommand,
                                          std::uint32_t p1, std::uint32_t p2, std::uint32_t p3);

class WriterLink {
  public:
    explicit WriterLink(Host& host);
    ~WriterLink();
    WriterLink(const WriterLink&) = delete;
    WriterLink& operator=(const WriterLink&) = delete;

    // Loads libtunnix.so from the program's folder and resolves its entry points. On failure the
    // "Load TUNNIX.DLL fail !" box is shown through `questions` and every later connect fails.
    bool Load(core::Questions& questions);
    void Unload();
    bool loaded() const { return library_ != nullptr; }

    bool Connect();
    void Disconnect();
    bool connected() const { return record_ != nullptr; }
    // Whether the last Connect failed because only the writer's loader answered: its
    // application is gone, as after a firmware upgrade that did not finish.
    bool LoaderOnly() const { return loaderOnly_; }

    // One command with an optional reply. Reply length 0: 1 (sent or not). No buffer: the
    // 1..4 reply bytes as a little-endian number (0 when nothing came). A buffer: 1 when all
    // `replyLength` bytes arrived.
    std::uint32_t Exchange(std::uint8_t command, std::uint8_t subcommand, std::uint32_t p1,
                           std::uint32_t p2, std::uint32_t p3, std::uint32_t replyLength,
                           std::uint8_t* reply, std::uint32_t timeoutMs);
    bool BulkWrite(const std::uint8_t* data, std::uint32_t length, std::uint32_t timeoutMs);
    bool BulkRead(std::uint8_t* buffer, std::uint32_t length, std::uint32_t timeoutMs);

    // Whether this machine has seen the writer attached (the upgrade's wait time depends on it).
    static bool IsWriterEnumerated();

    // The byte counts the progress bar shows; whoever starts a transfer sets them.
    std::uint32_t progressTotal = 0;
    std::uint32_t progressDone = 0;

    // When set, nothing is sent or awaited past this moment: every later exchange and transfer
    // fails at once, and reads end at it. Unset (the window's case), operations take as long
    // as the writer does.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    bool DeadlinePassed() const;

    // The held record's time-outs (both 5000 between calls); 0 while disconnected.
    std::uint32_t ReadTimeout() const;
    std::uint32_t WriteTimeout() const;

  private:
    struct Api;
    void SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs);
    void AdvanceProgress(std::uint32_t chunk);
    // The time-out for one call: `ms`, or the default for 0, cut short by the deadline.
    std::uint32_t CallTimeout(std::uint32_t ms) const;
    // Writes through libtunnix; false when it refused. A refused write fails its command.
    bool Write(const std::uint8_t* data, std::uint32_t length, std::uint32_t timeoutMs);
    // Reads through libtunnix; the count read. A short count leaves the link out of step.
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t timeoutMs);
    // Before a command frame: drops whatever the writer sent unasked, after giving a late answer
    // a while to arrive when a read on this connection came back short.
    void DiscardPendingInput();

    Host& host_;
    void* library_ = nullptr;
    std::unique_ptr<Api> api_;
    std::unique_ptr<ConnectionRecord> record_;
    bool loaderOnly_ = false;
    bool outOfStep_ = false;  // a read came back short: an answer may still be on its way
    bool cutShort_ = false;   // a read ended at the deadline
};

}  // namespace writer
