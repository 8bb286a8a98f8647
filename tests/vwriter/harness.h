// Drives the real libtunnix.so and libdfu.so against a vwriter started on a temporary socket.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vwt {

using Bytes = std::vector<std::uint8_t>;

struct TunnixApi {
    int (*Connect)(void*, int);
    int (*Disconnect)(void*);
    int (*Write)(void*, const unsigned char*, unsigned int, unsigned int*);
    int (*Read)(void*, unsigned char*, unsigned int, unsigned int*);
    int (*Clear)(void*);
};
struct DfuApi {
    int (*ResetToIsp)(unsigned int, unsigned int);
    int (*Download)(const unsigned char*, unsigned int, unsigned int, unsigned int);
    int (*ResetToAp)();
    int (*ProcessCount)();
};
const TunnixApi& Tunnix();  // dlopen'ed from the build's bin folder, by file name
const DfuApi& Dfu();
std::string BinDir();

// A vwriter daemon in a temporary folder; TUNNIX_DEVICE points at it while it lives.
// It runs --strict and keeps a trace (in its folder unless the arguments name one); every
// Stop, and so the end of its life, fails the running test when the trace holds a protocol
// error. "--lenient" among the arguments lets a test send bad bytes on purpose.
class VWriter {
  public:
    explicit VWriter(std::vector<std::string> args = {});
    ~VWriter();
    VWriter(const VWriter&) = delete;
    VWriter& operator=(const VWriter&) = delete;

    bool Start();
    void Stop();
    std::string Ctl(const std::string& line);
    std::string StateValue(const std::string& key);  // one "key=value" of ctl state
    const std::string& Socket() const { return socket_; }
    const std::string& Dir() const { return dir_; }
    const std::string& TracePath() const { return tracePath_; }
    // The trace's lines so far; with `kind`, only the lines of that kind ("frame", "data",
    // "event", "protocol_error").
    std::vector<std::string> TraceLines(const std::string& kind = {}) const;
    bool Strict() const { return strict_; }
    // For a test that makes protocol errors on purpose: the trace no longer fails it.
    void AllowProtocolErrors() { checkTrace_ = false; }

  private:
    void CheckTrace();

    std::vector<std::string> args_;
    std::string dir_, socket_, tracePath_;
    bool strict_ = true;
    bool checkTrace_ = true;
    std::size_t reportedErrors_ = 0;  // protocol errors already failed a test
    pid_t pid_ = -1;
};

// One connected ConnectionRecord and the program-side framing on top of it.
class Link {
  public:
    Link(std::uint32_t vid, std::uint32_t pid, std::uint32_t readMs = 1000,
         std::uint32_t writeMs = 1000);
    Link();  // the writer's ids
    ~Link();
    bool connected() const { return connected_; }
    int connectResult() const { return connectResult_; }
    void SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs);
    std::uint32_t Timeout(int offset) const;
    void* record() { return record_.data(); }

    bool Send(const Bytes& bytes);
    Bytes Receive(unsigned int length);  // whatever arrived within the read time-out
    void Frame(std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1 = 0, std::uint32_t p2 = 0,
               std::uint32_t p3 = 0);
    int Status();  // the status byte, -1 when none came
    // A command with a status byte; the status.
    int Command(std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1 = 0, std::uint32_t p2 = 0,
                std::uint32_t p3 = 0);
    // 128-byte chunks, each followed by its one-byte acknowledgement; the acks seen (a missing
    // one ends the list).
    std::vector<int> BulkWrite(const Bytes& data);
    // 128-byte pieces; stops at the first short one.
    std::optional<Bytes> BulkRead(unsigned int length);
    // Command + data phase, as the program's command functions do.
    bool WriteCommand(std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1, const Bytes& data);
    std::optional<Bytes> ReadCommand(std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1,
                                     std::uint32_t length);

  private:
    std::array<std::uint8_t, 32> record_{};
    bool connected_ = false;
    int connectResult_ = -1;
};

// A firmware image carrying the signature "CVFW", id, version bytes at 0x00F0.
Bytes MakeImage(std::uint16_t id, std::uint8_t v1, std::uint8_t v2, std::size_t size = 0x400);
std::uint32_t ByteSum(const Bytes& bytes);
Bytes Pattern(std::size_t size, std::uint8_t seed);
long long MillisecondsSince(long long startMs);
long long NowMs();

}  // namespace vwt
