#include "tunnix/link.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string_view>

#include "platform/device/writer_ids.h"
#include "tunnix/hid_framing.h"
#include "tunnix/socket_hello.h"

namespace tnx {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

Clock::time_point DeadlineIn(int timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
}

void PutLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

class SocketLink final : public Link {
  public:
    explicit SocketLink(int fd) : fd_(fd) {}
    ~SocketLink() override { ::close(fd_); }

    bool Write(const std::uint8_t* data, std::size_t length, int timeoutMs) override {
        const auto deadline = DeadlineIn(timeoutMs);
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::send(fd_, data + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
            const int wait = RemainingMs(deadline);
            if (wait == 0) return false;
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, wait) < 0 && errno != EINTR) return false;
            if (p.revents & (POLLERR | POLLHUP)) return false;
        }
        return true;
    }

    std::size_t Read(std::uint8_t* buffer, std::size_t length, int timeoutMs) override {
        const auto deadline = DeadlineIn(timeoutMs);
        std::size_t done = 0;
        while (done < length && !closed_) {
            const ssize_t n = ::recv(fd_, buffer + done, length - done, MSG_DONTWAIT);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n == 0) {
                closed_ = true;  // the device went away: nothing more will come
                break;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                closed_ = true;
                break;
            }
            const int wait = RemainingMs(deadline);
            if (wait == 0) break;
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, wait);
        }
        return done;
    }

    void Clear() override {
        std::uint8_t sink[512];
        while (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
    }

  private:
    int fd_;
    bool closed_ = false;
};

// hidapi keeps its last error text in a global; hid_exit frees it. The library is loaded and
// unloaded by name, so that is done when it is unloaded, or every load would leave a string.
struct HidSession {
    bool ok = hid_init() == 0;
    ~HidSession() { hid_exit(); }
};

bool HidReady() {
    static const HidSession session;
    return session.ok;
}

class HidLink final : public Link {
  public:
    explicit HidLink(hid_device* dev) : dev_(dev) {}
    ~HidLink() override { hid_close(dev_); }

    bool Write(const std::uint8_t* data, std::size_t length, int) override {
        for (const OutputReport& report : EncodeReports(data, length)) {
            if (hid_write(dev_, report.data(), report.size()) < 0) return false;
        }
        return true;
    }

    std::size_t Read(std::uint8_t* buffer, std::size_t length, int timeoutMs) override {
        const auto deadline = DeadlineIn(timeoutMs);
        std::size_t done = 0;
        for (;;) {
            while (done < length && !pending_.empty()) {
                buffer[done++] = pending_.front();
                pending_.pop_front();
            }
            if (done == length) break;
            // One byte more than a report, so that a report with an id in front shows its length.
            std::uint8_t report[kReportSize + 1] = {};
            const int n = hid_read_timeout(dev_, report, sizeof report, RemainingMs(deadline));
            if (n < 0) break;  // the writer went away
            if (n == 0) {
                if (RemainingMs(deadline) == 0) break;
                continue;
            }
            const auto payload = DecodeReport(report, static_cast<std::size_t>(n));
            if (!payload) break;  // not the writer's framing: this transfer is broken
            pending_.insert(pending_.end(), payload->begin(), payload->end());
        }
        return done;
    }

    // Drops the bytes kept from earlier reports and every report already queued.
    void Clear() override {
        pending_.clear();
        std::uint8_t report[kReportSize + 1];
        while (hid_read_timeout(dev_, report, sizeof report, 0) > 0) {
        }
    }

  private:
    hid_device* dev_;
    std::deque<std::uint8_t> pending_;
};

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; text && *text; ++text) out += *text > 0 && *text < 0x7F ? static_cast<char>(*text) : '?';
    return out;
}

bool SocketExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

std::vector<OutputReport> EncodeReports(const std::uint8_t* data, std::size_t length) {
    std::vector<OutputReport> reports;
    for (std::size_t done = 0; done < length;) {
        OutputReport report{};
        const std::size_t n = std::min(kReportPayload, length - done);
        report[1] = static_cast<std::uint8_t>(n);
        std::memcpy(report.data() + 2, data + done, n);
        reports.push_back(report);
        done += n;
    }
    return reports;
}

std::optional<std::span<const std::uint8_t>> DecodeReport(const std::uint8_t* report,
                                                          std::size_t received) {
    if (received != kReportSize || report[0] == 0 || report[0] > kReportPayload) {
        return std::nullopt;
    }
    return std::span<const std::uint8_t>(report + 1, report[0]);
}

std::unique_ptr<Link> OpenSocketLink(const std::string& path, std::uint32_t channel,
                                     std::uint16_t vid, std::uint16_t pid, int timeoutMs) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return nullptr;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto link = std::make_unique<SocketLink>(fd);
    std::uint8_t hello[kHelloSize];
    std::memcpy(hello, kHelloMagic, 4);
    PutLE32(hello + 4, channel);
    PutLE32(hello + 8, vid);
    PutLE32(hello + 12, pid);
    std::uint8_t answer = 0;
    if (!link->Write(hello, sizeof hello, timeoutMs) || link->Read(&answer, 1, timeoutMs) != 1 ||
        answer != 1) {
        return nullptr;
    }
    return link;
}

void ReportHidPermission(const std::string& devicePath) {
    static std::atomic<bool> told{false};
    if (told.exchange(true)) return;
    std::fprintf(
        stderr,
        "tunnix: the writer is attached at %s but this user may not open it.\n"
        "tunnix: the package's udev rule grants access to the user at the seat: it is\n"
        "tunnix: installed as /usr/lib/udev/rules.d/70-writer.rules (or copy 70-writer.rules\n"
        "tunnix: from beside the programs to /etc/udev/rules.d/); then run\n"
        "tunnix: 'sudo udevadm control --reload' and replug the writer (%04x:%04x).\n",
        devicePath.c_str(), writer_ids::WRITER_VID, writer_ids::WRITER_PID);
}

bool HidDevicePresent(std::uint16_t vid, std::uint16_t pid) {
    if (!HidReady()) return false;
    hid_device_info* list = hid_enumerate(vid, pid);
    const bool present = list != nullptr;
    hid_free_enumeration(list);
    return present;
}

std::vector<HidWriter> ListHidWriters(std::uint16_t vid, std::uint16_t pid) {
    std::vector<HidWriter> writers;
    if (!HidReady()) return writers;
    hid_device_info* list = hid_enumerate(vid, pid);
    for (const hid_device_info* d = list; d; d = d->next) {
        const std::string path = d->path ? d->path : "";
        // A device with several top-level collections is listed once for each.
        const auto same = [&](const HidWriter& w) { return w.path == path; };
        if (path.empty() || std::any_of(writers.begin(), writers.end(), same)) continue;
        writers.push_back({path, Narrow(d->serial_number), d->product_id});
    }
    hid_free_enumeration(list);
    return writers;
}

std::unique_ptr<Link> OpenHidLink(std::uint16_t vid, std::uint16_t pid, std::string& problem) {
    problem.clear();
    if (!HidReady()) {
        problem = "HID support unavailable";
        return nullptr;
    }
    const std::vector<HidWriter> writers = ListHidWriters(vid, pid);
    if (writers.empty()) return nullptr;
    return OpenHidLinkAt(writers.front().path, problem);
}

std::unique_ptr<Link> OpenHidLinkAt(const std::string& path, std::string& problem) {
    problem.clear();
    if (!HidReady()) {
        problem = "HID support unavailable";
        return nullptr;
    }
    errno = 0;
    hid_device* dev = hid_open_path(path.c_str());
    if (!dev) {
        const int openError = errno;
        const bool refused =
            openError == EACCES || openError == EPERM ||
            (::access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM));
        if (refused) {
            ReportHidPermission(path);
            problem = "permission denied on " + path;
        } else {
            problem = "cannot open " + path;
        }
        return nullptr;
    }
    return std::make_unique<HidLink>(dev);
}

bool HidSendFeature(const std::string& path, const std::uint8_t* report, std::size_t length) {
    if (!HidReady() || path.empty()) return false;
    hid_device* dev = hid_open_path(path.c_str());
    if (!dev) return false;
    const bool ok = hid_send_feature_report(dev, report, length) >= 0;
    hid_close(dev);
    return ok;
}

std::string ChosenHidPath(const TransportChoice& choice, std::uint16_t vid, std::uint16_t pid) {
    for (const HidWriter& w : ListHidWriters(vid, pid)) {
        if (!choice.hidPath.empty() ? w.path == choice.hidPath
                                    : choice.hidSerial.empty() || w.serial == choice.hidSerial)
            return w.path;
    }
    return {};
}

std::unique_ptr<Link> OpenChosenHid(const TransportChoice& choice, std::uint16_t vid,
                                    std::uint16_t pid, std::string& problem) {
    problem.clear();
    const std::string path = ChosenHidPath(choice, vid, pid);
    return path.empty() ? nullptr : OpenHidLinkAt(path, problem);
}

TransportChoice ChooseTransport(std::uint16_t vid, std::uint16_t pid) {
    TransportChoice choice;
    const writer_ids::DeviceChoice asked = writer_ids::ConfiguredDeviceChoice();
    if (asked == writer_ids::DeviceChoice::kNotUnderstood) {
        // A typo must not reach whichever writer detection finds.
        static std::atomic<bool> told{false};
        if (!told.exchange(true))
            std::fprintf(stderr, "tunnix: %s\n", writer_ids::DeviceChoiceProblem().c_str());
    } else if (asked == writer_ids::DeviceChoice::kHid) {
        choice.kind = TransportKind::kHid;
    } else if (asked == writer_ids::DeviceChoice::kHidPath) {
        choice.kind = TransportKind::kHid;
        choice.hidPath = writer_ids::ConfiguredHidTarget();
    } else if (asked == writer_ids::DeviceChoice::kHidSerial) {
        choice.kind = TransportKind::kHid;
        choice.hidSerial = writer_ids::ConfiguredHidTarget();
    } else if (asked == writer_ids::DeviceChoice::kVwriter) {
        choice.kind = TransportKind::kSocket;
        choice.socketPath = writer_ids::ConfiguredVwriterSocket();
    } else if (HidDevicePresent(vid, pid)) {
        choice.kind = TransportKind::kHid;
    } else if (const std::string path = writer_ids::DefaultVwriterSocket(); SocketExists(path)) {
        choice.kind = TransportKind::kSocket;
        choice.socketPath = path;
    }
    return choice;
}

}  // namespace tnx
