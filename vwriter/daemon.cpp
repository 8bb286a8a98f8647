#include "vwriter/daemon.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <vector>

#include "catalogue/part_database.h"
#include "platform/device/writer_ids.h"
#include "tunnix/socket_hello.h"
#include "vwriter/numbers.h"
#include "vwriter/pacer.h"

namespace vw {

namespace {

using Clock = std::chrono::steady_clock;

bool FillAddress(const std::string& path, sockaddr_un& addr) {
    addr = {};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    return true;
}

bool SomeoneListens(const std::string& path) {
    sockaddr_un addr{};
    if (!FillAddress(path, addr)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool live = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return live;
}

// Binds aside and renames into place, so the path appears only once it accepts connections.
int Listen(const std::string& path, std::string* error) {
    if (SomeoneListens(path)) {
        // Taking over the path would leave two devices answering as one.
        if (error) *error = "another virtual writer is listening on " + path;
        return -1;
    }
    const std::string temp = path + ".new";
    sockaddr_un addr{};
    if (!FillAddress(temp, addr)) {
        if (error) *error = "socket path too long: " + path;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    ::unlink(temp.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0 ||
        ::rename(temp.c_str(), path.c_str()) != 0) {
        if (error) *error = "cannot listen on " + path + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return -1;
    }
    return fd;
}

bool ReadWithin(int fd, std::uint8_t* buf, std::size_t n, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < n) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t r = ::recv(fd, buf + done, n - done, 0);
        if (r <= 0) return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

std::uint32_t GetLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
           static_cast<std::uint32_t>(p[3]) << 24;
}

// Written beside its name and renamed over it, so a reader never sees half a chip and a planted
// link at the name is replaced rather than followed.
bool WriteFileAside(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string temp = path + ".tmp";
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool ok =
        ::close(fd) == 0 && done == bytes.size() && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

class SocketPort final : public Port {
  public:
    SocketPort(int fd, bool usbTiming) : fd_(fd), pacer_(usbTiming) {}
    bool ReadExact(std::uint8_t* buffer, std::size_t length) override {
        std::size_t done = 0;
        partial_ = 0;
        while (done < length) {
            const ssize_t n = ::recv(fd_, buffer + done, length - done, 0);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n == 0 || errno != EINTR) {
                partial_ = done;
                return false;
            }
        }
        pacer_.Bytes(length);
        return true;
    }
    bool Write(const std::uint8_t* data, std::size_t length) override {
        pacer_.Bytes(length);
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::send(fd_, data + done, length - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n == 0 || errno != EINTR) {
                return false;
            }
        }
        return true;
    }
    void Drop() override { ::shutdown(fd_, SHUT_RDWR); }
    void StopReading() override { ::shutdown(fd_, SHUT_RD); }
    std::size_t Available() override {
        int n = 0;
        return ::ioctl(fd_, FIONREAD, &n) == 0 && n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    std::size_t PartialBytes() const override { return partial_; }
    // Ends early when the connection is shut down (an unplug or the daemon quitting).
    void Pause(int ms) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) return;
            pollfd p{fd_, 0, 0};
            if (::poll(&p, 1, static_cast<int>(left)) > 0 && (p.revents & (POLLHUP | POLLERR))) {
                return;
            }
        }
    }

  private:
    int fd_;
    Pacer pacer_;
    std::size_t partial_ = 0;
};

}  // namespace

Daemon::Daemon(Device& device, Trace& trace, DaemonOptions options)
    : device_(device), trace_(trace), options_(std::move(options)) {}

Daemon::~Daemon() {
    for (int& fd : wake_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void Daemon::Wake() {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(wake_[1], &byte, 1);
}

void Daemon::RequestQuit() {
    quit_ = true;
    if (wake_[1] >= 0) Wake();
}

bool Daemon::Plug(std::string* error) {
    if (plugged_) return true;
    listenFd_ = Listen(options_.socketPath, error);
    if (listenFd_ < 0) return false;
    plugged_ = true;
    detached_ = false;
    if (uhid_) uhid_->Create(device_.CurrentMode());
    trace_.Event("plugged");
    return true;
}

void Daemon::Unplug() {
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(options_.socketPath.c_str());
        listenFd_ = -1;
    }
    {
        std::lock_guard lock(sessionsMutex_);
        for (auto& s : sessions_) ::shutdown(s->fd, SHUT_RDWR);
    }
    if (uhid_) uhid_->Destroy();
    if (plugged_) trace_.Event("unplugged");
    plugged_ = false;
}

void Daemon::OnDetach(void* self) {
    static_cast<Daemon*>(self)->detached_ = true;
}

void Daemon::ServeSession(Session& session) {
    std::uint8_t hello[tnx::kHelloSize];
    if (!ReadWithin(session.fd, hello, sizeof hello, 2000)) return;
    const std::uint32_t channel = GetLE32(hello + 4);
    const bool magic = std::memcmp(hello, tnx::kHelloMagic, 4) == 0;
    if (magic && channel == tnx::kChannelDescribe) {
        Describe(session.fd);  // enumeration, not a connection to the function
        return;
    }
    const unsigned id = ++connections_;
    const Mode mode = device_.CurrentMode();
    // Over HID reports the function is the one enumerated now, told apart by its product id.
    const bool reports = channel == tnx::kChannelReports;
    const bool loader = reports ? mode == Mode::kLoader : channel == tnx::kChannelLoader;
    const char* channelName = !reports && channel != tnx::kChannelWriter && !loader ? "unknown"
                              : loader                                              ? "loader"
                                                                                    : "writer";
    const std::uint32_t pid = reports ? HidProductId(mode) : writer_ids::WRITER_PID;
    const bool ids =
        magic && GetLE32(hello + 8) == writer_ids::WRITER_VID && GetLE32(hello + 12) == pid;
    const bool accepted =
        ids && !detached_ &&
        (reports || (channel == tnx::kChannelWriter && mode == Mode::kApplication) ||
         channel == tnx::kChannelLoader);
    const std::uint8_t answer = accepted ? 1 : 0;
    SocketPort port(session.fd, options_.usbTiming);
    if (!accepted) {
        trace_.Connection("connection refused", id, channelName,
                          !ids        ? "other ids"
                          : detached_ ? "re-enumerating"
                                      : "not in this mode");
        port.Write(&answer, 1);
        return;
    }
    trace_.Connection("connection open", id, channelName, "");
    if (!port.Write(&answer, 1)) {
        trace_.Connection("connection close", id, channelName, "host closed");
        return;
    }
    const char* reason = nullptr;
    if (reports) {
        SocketReports link(session.fd, device_, &trace_, options_.engine, options_.usbTiming,
                           Reports());
        reason = ServeFunction(link.port(), mode);
    } else {
        reason = ServeFunction(port, loader ? Mode::kLoader : Mode::kApplication);
    }
    trace_.Connection("connection close", id, channelName, reason);
}

const char* Daemon::ServeFunction(Port& port, Mode mode) {
    if (mode == Mode::kApplication) {
        switch (ServeWriter(device_, port, &trace_, options_.engine)) {
            case SessionEnd::kHostClosed:
                return "host closed";
            case SessionEnd::kDropped:
                return "dropped by a fault";
            case SessionEnd::kProtocolError:
                return "dropped on a protocol error";
        }
    }
    const Restart restart = ServeLoader(device_, port, &trace_, &Daemon::OnDetach, this);
    if (restart == Restart::kNone) return "request served";
    pendingRestart_ = static_cast<int>(restart);
    Wake();
    return "restart";
}

void Daemon::Describe(int fd) {
    std::uint8_t answer[1 + tnx::kDescriptorSize] = {};
    const bool present = !detached_;
    answer[0] = present ? 1 : 0;
    const Mode mode = device_.CurrentMode();
    const std::uint16_t fields[3] = {kHidVendorId, HidProductId(mode), kHidRelease};
    for (int i = 0; i < 3; ++i) {
        answer[1 + 2 * i] = static_cast<std::uint8_t>(fields[i] & 0xFF);
        answer[2 + 2 * i] = static_cast<std::uint8_t>(fields[i] >> 8);
    }
    std::uint8_t* serial = answer + 7;
    std::memcpy(serial, options_.usbSerial.data(),
                std::min(options_.usbSerial.size(), tnx::kSerialField - 1));
    const std::string product = HidProductName(mode);
    std::memcpy(serial + tnx::kSerialField, product.data(),
                std::min(product.size(), tnx::kProductField - 1));
    [[maybe_unused]] const auto n = ::send(fd, answer, present ? sizeof answer : 1, MSG_NOSIGNAL);
}

ReportHost Daemon::Reports() {
    return {[this](ReportPort& port) {
                const Mode mode = device_.CurrentMode();
                const char* name = mode == Mode::kLoader ? "loader" : "writer";
                const unsigned id = ++connections_;
                trace_.Connection("connection open", id, name, "uhid");
                trace_.Connection("connection close", id, name, ServeFunction(port, mode));
            },
            [this](const std::uint8_t* report, std::size_t length, Restart& restart) {
                return OnFeature(report, length, restart);
            },
            [this](Restart restart) {
                pendingRestart_ = static_cast<int>(restart);
                Wake();
            }};
}

// The application restarts into its loader on feature report 2 "ISP".
bool Daemon::OnFeature(const std::uint8_t* report, std::size_t length, Restart& restart) {
    static constexpr std::uint8_t kIntoLoader[] = {0x02, 'I', 'S', 'P'};
    if (length != sizeof kIntoLoader || std::memcmp(report, kIntoLoader, length) != 0 ||
        device_.CurrentMode() != Mode::kApplication || detached_) {
        return false;
    }
    trace_.Event("feature report: restart into loader");
    detached_ = true;
    restart = Restart::kIntoLoader;
    return true;
}

void Daemon::Accept() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    auto session = std::make_unique<Session>();
    session->fd = fd;
    Session* s = session.get();
    std::lock_guard lock(sessionsMutex_);
    sessions_.push_back(std::move(session));
    s->thread = std::thread([this, s] {
        ServeSession(*s);
        s->done = true;
    });
}

void Daemon::Reap(bool all) {
    std::lock_guard lock(sessionsMutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        Session& s = **it;
        if (all) ::shutdown(s.fd, SHUT_RDWR);
        if (all || s.done) {
            if (s.thread.joinable()) s.thread.join();
            ::close(s.fd);  // closed only here, so Unplug never shuts down a reused number
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
}

std::string Daemon::Control(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) return "error: empty control command\n";
    const std::string& verb = words[0];
    const std::string arg = words.size() > 1 ? words[1] : "";
    // Every command takes at most one argument; more is a typing slip, not something to guess.
    const auto wants = [&](std::size_t args) { return words.size() == args + 1; };
    const auto usage = [&](const char* form) {
        return "error: usage: " + std::string(form) + "\n";
    };

    if (verb == "state") {
        if (!wants(0)) return usage("state");
        return device_.Report() + "plugged=" + (plugged_ ? "yes" : "no") + "\n";
    }
    if (verb == "part") {
        if (!wants(1)) return usage("part INDEX");
        const auto index = ParseNumber(arg, 1, static_cast<std::uint32_t>(cat::kMaxPartIndex));
        if (!index || !cat::Part(static_cast<int>(*index)).Exists()) {
            return "error: no part " + arg + "\n";
        }
        device_.InsertPart(static_cast<int>(*index));
        device_.Commit();
        trace_.Event("part " + std::to_string(*index) + " inserted");
        return "ok\n";
    }
    if (verb == "fault") {
        if (!wants(1)) return usage("fault FAULT");
        std::string why;
        const auto fault = ParseFault(arg, &why);
        if (!fault) return "error: bad fault '" + arg + "': " + why + "\n";
        device_.AddFault(*fault);
        return "ok\n";
    }
    if (verb == "clear-faults") {
        if (!wants(0)) return usage("clear-faults");
        device_.ClearFaults();
        return "ok\n";
    }
    if (verb == "run") {
        if (!wants(1)) return usage("run N (1 to 65535)");
        const auto chips = ParseNumber(arg, 1, 65535);
        if (!chips)
            return "error: run takes a number of chips from 1 to 65535, not '" + arg + "'\n";
        std::string answer = device_.RunStandalone(*chips);
        device_.Commit();
        trace_.Event("run " + arg + ": " + answer);
        return answer + "\n";
    }
    if (verb == "dump-chip") {
        if (!wants(1)) return usage("dump-chip FILE");
        const auto chip = device_.LastChip();
        if (chip.empty()) return "error: no chip programmed stand-alone yet\n";
        return WriteFileAside(arg, chip) ? "ok bytes=" + std::to_string(chip.size()) + "\n"
                                         : "error: cannot write " + arg + "\n";
    }
    if (verb == "firmware") {
        if (!wants(1) || (arg != "current" && arg != "old")) return usage("firmware current|old");
        device_.SetFirmware(FirmwareFor(device_.PartIndex(), arg == "old"));
        device_.Commit();
        return "ok\n";
    }
    if (verb == "unplug") {
        if (!wants(0)) return usage("unplug");
        Unplug();
        plugAt_.reset();
        return "ok\n";
    }
    if (verb == "plug") {
        if (!wants(0)) return usage("plug");
        std::string error;
        return Plug(&error) ? "ok\n" : "error: " + error + "\n";
    }
    if (verb == "quit") {
        if (!wants(0)) return usage("quit");
        quit_ = true;
        return "ok\n";
    }
    return "error: unknown control command '" + verb + "'\n";
}

void Daemon::AcceptControl() {
    for (;;) {
        const int fd = ::accept4(controlFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        if (controlClients_.size() >= kMaxControlClients) {
            ::close(fd);  // busy: the newcomer may try again
            continue;
        }
        ControlClient client;
        client.fd = fd;
        client.deadline = Clock::now() + std::chrono::milliseconds(kControlDeadlineMs);
        controlClients_.push_back(std::move(client));
    }
}

// One step for one control client; false when it is done with.
bool Daemon::ServeControlClient(ControlClient& client, short revents) {
    if (!client.answered && (revents & (POLLIN | POLLHUP | POLLERR))) {
        char buf[kMaxControlLine];
        const ssize_t n = ::recv(client.fd, buf, kMaxControlLine - client.in.size(), 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
        if (n < 0) return false;
        client.in.append(buf, static_cast<std::size_t>(n));
        const auto newline = client.in.find('\n');
        if (newline != std::string::npos || n == 0) {
            std::string line = client.in.substr(0, newline);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() && n == 0) return false;
            client.out = Control(line);
            client.answered = true;
        } else if (client.in.size() >= kMaxControlLine) {
            client.out = "error: control line too long\n";
            client.answered = true;
        }
    }
    if (client.answered) {
        const ssize_t n =
            ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
        if (n <= 0) return false;
        client.out.erase(0, static_cast<std::size_t>(n));
        return !client.out.empty();
    }
    return true;
}

void Daemon::CloseControlClients() {
    for (auto& c : controlClients_) {
        // The last answers (a quit's "ok") get one chance to go out.
        if (c.answered && !c.out.empty()) {
            [[maybe_unused]] const auto n =
                ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        ::close(c.fd);
    }
    controlClients_.clear();
}

bool Daemon::Run(std::string* error) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    if (!options_.uhidPath.empty()) {
        uhid_ = std::make_unique<UhidWriter>(device_, &trace_, options_.engine, options_.usbTiming,
                                             Reports(), options_.usbSerial);
        if (!uhid_->Open(options_.uhidPath, error)) return false;
    }
    const std::string controlPath = writer_ids::ControlSocketFor(options_.socketPath);
    controlFd_ = Listen(controlPath, error);
    if (controlFd_ < 0) return false;
    // Accepted until none waits; the loop never blocks on it.
    ::fcntl(controlFd_, F_SETFL, ::fcntl(controlFd_, F_GETFL) | O_NONBLOCK);
    if (!Plug(error)) {
        ::close(controlFd_);
        ::unlink(controlPath.c_str());
        return false;
    }
    while (!quit_) {
        // Control clients are served a little at a time in this one loop, with a deadline
        // each, so a slow or silent one never keeps the device from accepting.
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {controlFd_, POLLIN, 0}};
        const std::size_t listenAt = fds.size();
        if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
        const std::size_t clientsAt = fds.size();
        auto wakeAt = Clock::now() + std::chrono::milliseconds(200);
        if (plugAt_) wakeAt = std::min(wakeAt, *plugAt_);
        for (const auto& c : controlClients_) {
            fds.push_back({c.fd, static_cast<short>(c.answered ? POLLOUT : POLLIN), 0});
            wakeAt = std::min(wakeAt, c.deadline);
        }
        const auto timeout =
            std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - Clock::now()).count();
        if (::poll(fds.data(), fds.size(),
                   static_cast<int>(std::clamp<long long>(timeout, 0, 200))) < 0 &&
            errno != EINTR) {
            break;
        }

        if (fds[0].revents & POLLIN) {
            char sink[64];
            while (::read(wake_[0], sink, sizeof sink) > 0) {
            }
        }
        if (const int r = pendingRestart_.exchange(0); r != 0) {
            Unplug();
            if (static_cast<Restart>(r) == Restart::kIntoLoader) {
                device_.SetMode(Mode::kLoader);
            } else {
                device_.StartApplication();
            }
            device_.Commit();
            plugAt_ = Clock::now() + std::chrono::milliseconds(options_.reenumerateMs);
        }
        if (plugAt_ && Clock::now() >= *plugAt_) {
            plugAt_.reset();
            std::string plugError;
            if (!Plug(&plugError)) trace_.Event("replug failed: " + plugError);
        }
        if (clientsAt > listenAt && listenFd_ >= 0 && fds[listenAt].revents & POLLIN) Accept();
        const auto now = Clock::now();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < controlClients_.size(); ++i) {
            ControlClient& c = controlClients_[i];
            const bool live = now < c.deadline && ServeControlClient(c, fds[clientsAt + i].revents);
            if (live) {
                if (kept != i) controlClients_[kept] = std::move(c);
                ++kept;
            } else {
                ::close(c.fd);
            }
        }
        controlClients_.resize(kept);
        if (fds[1].revents & POLLIN) AcceptControl();
        Reap(false);
    }
    CloseControlClients();
    Unplug();
    uhid_.reset();
    Reap(true);
    device_.Commit();
    ::close(controlFd_);
    ::unlink(controlPath.c_str());
    controlFd_ = -1;
    return true;
}

std::optional<std::string> SendControl(const std::string& deviceSocket, const std::string& line,
                                       int timeoutMs) {
    sockaddr_un addr{};
    if (!FillAddress(writer_ids::ControlSocketFor(deviceSocket), addr)) return std::nullopt;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    const std::string request = line + "\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        ::close(fd);
        return std::nullopt;
    }
    std::string answer;
    std::uint8_t buf[1024];
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        answer.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer;
}

}  // namespace vw
