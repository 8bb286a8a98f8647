#include "vwriter/daemon.h"

#include <fcntl.h>
#include <poll.h>
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

class SocketPort final : public Port {
  public:
    SocketPort(int fd, bool usbTiming) : fd_(fd), usbTiming_(usbTiming) {}
    bool ReadExact(std::uint8_t* buffer, std::size_t length) override {
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::recv(fd_, buffer + done, length - done, 0);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n == 0 || errno != EINTR) {
                return false;
            }
        }
        Pace(length);
        return true;
    }
    bool Write(const std::uint8_t* data, std::size_t length) override {
        Pace(length);
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

  private:
    // Full-speed HID: one 64-byte report per millisecond in each direction.
    void Pace(std::size_t length) {
        if (usbTiming_ && length > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds((length + 63) / 64));
        }
    }
    int fd_;
    bool usbTiming_;
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
    const bool ids = std::memcmp(hello, tnx::kHelloMagic, 4) == 0 &&
                     GetLE32(hello + 8) == writer_ids::WRITER_VID &&
                     GetLE32(hello + 12) == writer_ids::WRITER_PID;
    const Mode mode = device_.CurrentMode();
    const bool accepted = ids && !detached_ &&
                          ((channel == tnx::kChannelWriter && mode == Mode::kApplication) ||
                           channel == tnx::kChannelLoader);
    const std::uint8_t answer = accepted ? 1 : 0;
    SocketPort port(session.fd, options_.usbTiming);
    if (!port.Write(&answer, 1) || !accepted) return;
    if (channel == tnx::kChannelWriter) {
        ServeWriter(device_, port, &trace_, options_.engine);
    } else {
        const Restart restart = ServeLoader(device_, port, &trace_, &Daemon::OnDetach, this);
        if (restart != Restart::kNone) {
            pendingRestart_ = static_cast<int>(restart);
            Wake();
        }
    }
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
    std::string verb, arg;
    in >> verb >> arg;
    if (verb == "state") {
        return device_.Report() + "plugged=" + (plugged_ ? "yes" : "no") + "\n";
    }
    if (verb == "part") {
        const auto index = static_cast<int>(cat::ParseNumber(arg));
        if (arg.empty() || index <= 0 || index > cat::kMaxPartIndex || !cat::Part(index).Exists()) {
            return "error: no part " + arg + "\n";
        }
        device_.InsertPart(index);
        device_.Commit();
        trace_.Event("part " + std::to_string(index) + " inserted");
        return "ok\n";
    }
    if (verb == "fault") {
        const auto fault = ParseFault(arg);
        if (!fault) return "error: bad fault '" + arg + "'\n";
        device_.AddFault(*fault);
        return "ok\n";
    }
    if (verb == "clear-faults") {
        device_.ClearFaults();
        return "ok\n";
    }
    if (verb == "run") {
        const std::uint32_t chips = cat::ParseNumber(arg);
        std::string answer = device_.RunStandalone(chips);
        device_.Commit();
        return answer + "\n";
    }
    if (verb == "firmware" && (arg == "current" || arg == "old")) {
        device_.SetFirmware(FirmwareFor(device_.PartIndex(), arg == "old"));
        device_.Commit();
        return "ok\n";
    }
    if (verb == "unplug") {
        Unplug();
        plugAt_.reset();
        return "ok\n";
    }
    if (verb == "plug") {
        std::string error;
        return Plug(&error) ? "ok\n" : "error: " + error + "\n";
    }
    if (verb == "quit") {
        quit_ = true;
        return "ok\n";
    }
    return "error: unknown control command '" + verb + "'\n";
}

void Daemon::HandleControl() {
    const int fd = ::accept4(controlFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    std::string line;
    std::uint8_t c = 0;
    while (line.size() < 512 && ReadWithin(fd, &c, 1, 1000) && c != '\n') {
        line.push_back(static_cast<char>(c));
    }
    const std::string answer = Control(line);
    std::size_t done = 0;
    while (done < answer.size()) {
        const ssize_t n = ::send(fd, answer.data() + done, answer.size() - done, MSG_NOSIGNAL);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

bool Daemon::Run(std::string* error) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    const std::string controlPath = writer_ids::ControlSocketFor(options_.socketPath);
    controlFd_ = Listen(controlPath, error);
    if (controlFd_ < 0) return false;
    if (!Plug(error)) {
        ::close(controlFd_);
        ::unlink(controlPath.c_str());
        return false;
    }
    while (!quit_) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {controlFd_, POLLIN, 0}};
        if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
        int timeout = 200;
        if (plugAt_) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(*plugAt_ - Clock::now())
                    .count();
            timeout = static_cast<int>(std::clamp<long long>(left, 0, 200));
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;

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
        if (fds[1].revents & POLLIN) HandleControl();
        if (fds.size() > 2 && listenFd_ >= 0 && fds[2].revents & POLLIN) Accept();
        Reap(false);
    }
    Unplug();
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
