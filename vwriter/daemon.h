// The vwriter daemon: serves the device model on a UNIX socket that appears and disappears as
// a USB device is plugged and unplugged, and a control socket beside it.
#pragma once

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "vwriter/device.h"
#include "vwriter/engine.h"
#include "vwriter/report_port.h"
#include "vwriter/uhid.h"

namespace vw {

struct DaemonOptions {
    std::string socketPath;
    bool usbTiming = false;
    int reenumerateMs = 300;  // how long the device stays away while it re-enumerates
    EngineOptions engine;
    std::string usbSerial = "VW0001";  // the USB serial string enumeration shows
    std::string uhidPath;              // non-empty: also a kernel HID device through this node
};

class Daemon {
  public:
    Daemon(Device& device, Trace& trace, DaemonOptions options);
    ~Daemon();
    // Runs until a quit command or RequestQuit; false when the sockets cannot be set up.
    bool Run(std::string* error);
    void RequestQuit();

  private:
    struct Session {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    bool Plug(std::string* error);
    void Unplug();
    void Wake();
    void Accept();
    void ServeSession(Session& session);
    void Describe(int fd);
    // Serves one session of the device's function in `mode` and returns why it ended.
    const char* ServeFunction(Port& port, Mode mode);
    ReportHost Reports();
    bool OnFeature(const std::uint8_t* report, std::size_t length, Restart& restart);
    struct ControlClient {
        int fd = -1;
        std::string in, out;
        bool answered = false;
        std::chrono::steady_clock::time_point deadline;
    };
    static constexpr std::size_t kMaxControlClients = 16;
    static constexpr std::size_t kMaxControlLine = 512;
    static constexpr int kControlDeadlineMs = 2000;

    void AcceptControl();
    bool ServeControlClient(ControlClient& client, short revents);
    void CloseControlClients();
    std::string Control(const std::string& line);
    void Reap(bool all);
    static void OnDetach(void* self);

    Device& device_;
    Trace& trace_;
    DaemonOptions options_;
    int listenFd_ = -1;
    int controlFd_ = -1;
    int wake_[2] = {-1, -1};
    std::mutex sessionsMutex_;
    std::list<std::unique_ptr<Session>> sessions_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> detached_{false};  // re-enumerating: the old function answers no one
    std::atomic<int> pendingRestart_{0};
    std::atomic<unsigned> connections_{0};
    std::vector<ControlClient> controlClients_;
    std::unique_ptr<UhidWriter> uhid_;
    bool plugged_ = false;
    std::optional<std::chrono::steady_clock::time_point> plugAt_;
};

// Sends one control line to a running daemon and returns its answer.
std::optional<std::string> SendControl(const std::string& deviceSocket, const std::string& line,
                                       int timeoutMs);

}  // namespace vw
