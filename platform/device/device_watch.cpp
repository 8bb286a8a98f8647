#include "platform/device/device_watch.h"

#include <libudev.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/device/writer_ids.h"

namespace devwatch {

namespace {

std::string Hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(v));
    return buf;
}

bool SocketExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// "0003:00002F17:00007A51" -> vendor and product.
bool ParseHidId(const char* text, std::uint16_t& vid, std::uint16_t& pid) {
    unsigned bus = 0, v = 0, p = 0;
    if (!text || std::sscanf(text, "%x:%x:%x", &bus, &v, &p) != 3) return false;
    if (v > 0xFFFF || p > 0xFFFF) return false;
    vid = static_cast<std::uint16_t>(v);
    pid = static_cast<std::uint16_t>(p);
    return true;
}

bool IsWriterProduct(std::uint16_t vid, std::uint16_t pid) {
    return vid == writer_ids::WRITER_VID &&
           (pid == writer_ids::WRITER_PID || pid == writer_ids::WRITER_ENUM_PID);
}

}  // namespace

std::string WriterDeviceName(std::uint16_t vid, std::uint16_t pid, std::string_view instance) {
    return std::string("\\\\?\\HID#Vid_") + Hex4(vid) + "&Pid_" + Hex4(pid) + "#" +
           std::string(instance) + "#" + writer_ids::kWriterInterfaceGuid;
}

bool IsWriterDeviceName(std::string_view name) {
    const std::string prefix = std::string("\\\\?\\HID#Vid_") + Hex4(writer_ids::WRITER_VID) +
                               "&Pid_" + Hex4(writer_ids::WRITER_ENUM_PID) + "#";
    if (name.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

bool IsWriterEnumerated() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/hid/devices", ec)) {
        // Entries are named "BBBB:VVVV:PPPP.NNNN".
        std::uint16_t vid = 0, pid = 0;
        if (ParseHidId(entry.path().filename().c_str(), vid, pid) && IsWriterProduct(vid, pid)) {
            return true;
        }
    }
    return SocketExists(writer_ids::ConfiguredVwriterSocket());
}

std::uint32_t UpgradeWaitMs() {
    return IsWriterEnumerated() ? kUpgradeWaitKnownMs : kUpgradeWaitNewMs;
}

DeviceWatcher::DeviceWatcher(Handler handler, std::string socketPath, bool watchUdev)
    : handler_(std::move(handler)),
      socketPath_(socketPath.empty() ? writer_ids::ConfiguredVwriterSocket()
                                     : std::move(socketPath)),
      watchUdev_(watchUdev) {}

DeviceWatcher::~DeviceWatcher() {
    Stop();
}

bool DeviceWatcher::Start() {
    if (thread_.joinable()) return true;
    if (::pipe(stopPipe_) != 0) return false;

    const std::filesystem::path sock(socketPath_);
    const std::string dir =
        sock.has_parent_path() ? sock.parent_path().string() : std::string(1, '.');
    inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ >= 0) {
        watchDescriptor_ = inotify_add_watch(inotifyFd_, dir.c_str(),
                                             IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM);
        if (watchDescriptor_ < 0) {
            ::close(inotifyFd_);
            inotifyFd_ = -1;
        }
    }
    socketPresent_ = SocketExists(socketPath_);

    if (watchUdev_) {
        udev* u = udev_new();
        if (u) {
            udev_monitor* m = udev_monitor_new_from_netlink(u, "udev");
            if (m && udev_monitor_filter_add_match_subsystem_devtype(m, "hid", nullptr) == 0 &&
                udev_monitor_enable_receiving(m) == 0) {
                udev_ = u;
                monitor_ = m;
            } else {
                if (m) udev_monitor_unref(m);
                udev_unref(u);
            }
        }
    }
    if (inotifyFd_ < 0 && !monitor_) {
        Stop();
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void DeviceWatcher::Stop() {
    if (thread_.joinable()) {
        const char byte = 1;
        [[maybe_unused]] auto n = ::write(stopPipe_[1], &byte, 1);
        thread_.join();
    }
    for (int& fd : stopPipe_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    if (inotifyFd_ >= 0) ::close(inotifyFd_);
    inotifyFd_ = -1;
    if (monitor_) udev_monitor_unref(static_cast<udev_monitor*>(monitor_));
    if (udev_) udev_unref(static_cast<udev*>(udev_));
    monitor_ = nullptr;
    udev_ = nullptr;
}

void DeviceWatcher::Run() {
    const std::string base = std::filesystem::path(socketPath_).filename().string();
    const std::string virtualName =
        WriterDeviceName(writer_ids::WRITER_VID, writer_ids::WRITER_ENUM_PID, "vwriter");
    udev_monitor* monitor = static_cast<udev_monitor*>(monitor_);
    for (;;) {
        std::array<pollfd, 3> fds{};
        nfds_t n = 0;
        fds[n++] = {stopPipe_[0], POLLIN, 0};
        const int inotifyIndex = inotifyFd_ >= 0 ? static_cast<int>(n) : -1;
        if (inotifyFd_ >= 0) fds[n++] = {inotifyFd_, POLLIN, 0};
        const int udevIndex = monitor ? static_cast<int>(n) : -1;
        if (monitor) fds[n++] = {udev_monitor_get_fd(monitor), POLLIN, 0};
        if (::poll(fds.data(), n, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;

        if (inotifyIndex >= 0 && fds[inotifyIndex].revents & POLLIN) {
            alignas(inotify_event) char buf[4096];
            for (;;) {
                const ssize_t len = ::read(inotifyFd_, buf, sizeof buf);
                if (len <= 0) break;
                for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= len;) {
                    const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
                    const ssize_t next =
                        off + static_cast<ssize_t>(sizeof(inotify_event)) + ev->len;
                    if (next > len) break;
                    if (ev->len > 0 && base == ev->name) {
                        const bool appeared = ev->mask & (IN_CREATE | IN_MOVED_TO);
                        // A socket moved in over a stale one left by a killed daemon is
                        // still a new device.
                        if (appeared) {
                            socketPresent_ = true;
                            handler_(DeviceEvent::Arrival, virtualName);
                        } else if (!appeared && socketPresent_) {
                            socketPresent_ = false;
                            handler_(DeviceEvent::RemoveComplete, virtualName);
                        }
                    }
                    off = next;
                }
            }
        }

        if (udevIndex >= 0 && fds[udevIndex].revents & POLLIN) {
            udev_device* dev = udev_monitor_receive_device(monitor);
            if (dev) {
                const char* action = udev_device_get_action(dev);
                std::uint16_t vid = 0, pid = 0;
                if (action && ParseHidId(udev_device_get_property_value(dev, "HID_ID"), vid, pid) &&
                    IsWriterProduct(vid, pid)) {
                    const char* sys = udev_device_get_sysname(dev);
                    // The HID class lists the writer (and its loader) under one product id.
                    const std::string name =
                        WriterDeviceName(vid, writer_ids::WRITER_ENUM_PID, sys ? sys : "");
                    if (std::strcmp(action, "add") == 0) {
                        handler_(DeviceEvent::Arrival, name);
                    } else if (std::strcmp(action, "remove") == 0) {
                        handler_(DeviceEvent::RemoveComplete, name);
                    }
                }
                udev_device_unref(dev);
            }
        }
    }
}

}  // namespace devwatch
