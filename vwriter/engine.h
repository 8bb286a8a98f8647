// The virtual writer's protocol engines: the command protocol the program speaks through
// libtunnix, and the loader protocol libdfu speaks. Both run on a byte pipe (Port).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "vwriter/device.h"

namespace vw {

class Port {
  public:
    virtual ~Port() = default;
    // All `length` bytes, or false when the host has gone.
    virtual bool ReadExact(std::uint8_t* buffer, std::size_t length) = 0;
    virtual bool Write(const std::uint8_t* data, std::size_t length) = 0;
    // Ends the connection at once, as a pulled cable would.
    virtual void Drop() = 0;
    // Bytes the host has sent that are not read yet (0 when the port cannot tell).
    virtual std::size_t Available() { return 0; }
    // How many bytes the last failed ReadExact did get before the host went.
    virtual std::size_t PartialBytes() const { return 0; }
    // Holds the reply back; may end early when the connection goes.
    virtual void Pause(int ms);
    // Takes nothing more from the host: its writes are refused from now on.
    virtual void StopReading() {}
    // Reads and forgets `length` bytes.
    void Discard(std::size_t length);
    // A frame has been read; `faults` apply to its answer (the report-level ones matter to a
    // port that carries HID reports).
    virtual void BeginAnswer(const std::vector<Fault>& /*faults*/) {}
};

// One JSON object a line for every frame and data phase.
class Trace {
  public:
    ~Trace();
    bool Open(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    // status < 0: nothing was answered.
    void Frame(std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1, std::uint32_t p2,
               std::uint32_t p3, int status, std::size_t replyBytes);
    void Data(const char* dir, std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1,
              std::uint32_t p2, std::uint32_t p3, std::size_t bytes, bool complete);
    void Event(const std::string& what);
    // A host mistake: bytes where none or others were due.
    void ProtocolError(const std::string& what, std::size_t bytes);
    // A connection opened (event "connection open") or closed ("connection close").
    void Connection(const char* event, unsigned id, const char* channel, const std::string& detail);

  private:
    void Line(const std::string& body);
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

struct EngineOptions {
    int trimDelayMs = 30;  // the chip's oscillator trim takes a moment
    bool strict = false;   // the first protocol error drops the connection
};

enum class SessionEnd { kHostClosed, kDropped, kProtocolError };

// Serves command frames until the host goes away or a fault or (strict) a protocol error drops
// the connection.
SessionEnd ServeWriter(Device& device, Port& port, Trace* trace, const EngineOptions& options);

enum class Restart { kNone, kIntoLoader, kIntoApplication };

// Serves one loader request and returns the restart the caller must carry out once the host
// has its answer. `detach` is called before the answer goes out, so the caller can stop
// accepting the old function before the host moves on.
using DetachHandler = void (*)(void* context);
Restart ServeLoader(Device& device, Port& port, Trace* trace, DetachHandler detach, void* context);

}  // namespace vw
