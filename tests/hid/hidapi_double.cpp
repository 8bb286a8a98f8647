// hidapi's C interface over virtual writers instead of the kernel, for tests only: preloaded in
// place of the real library, it lets libtunnix's and libdfu's HID code run unchanged. The devices
// are the virtual writers whose sockets HIDAPI_DOUBLE_DEVICES lists (colon-separated), reached on
// their report channel (tunnix/socket_hello.h). HIDAPI_DOUBLE_EACCES makes every open fail for
// permission, as a hidraw node without the udev rule does.
#include <hidapi/hidapi.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "tunnix/socket_hello.h"

struct hid_device_ {
    int fd = -1;
    bool gone = false;
    std::deque<std::vector<std::uint8_t>> input;  // input reports not read yet
};

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kAnswerMs = 2000;  // how long a write or feature report waits to be taken
thread_local std::wstring tError;

wchar_t* WideDup(const std::string& s) {
    auto* w = static_cast<wchar_t*>(std::calloc(s.size() + 1, sizeof(wchar_t)));
    for (std::size_t i = 0; i < s.size(); ++i) w[i] = static_cast<unsigned char>(s[i]);
    return w;
}

int Fail(const char* why) {
    tError.assign(why, why + std::strlen(why));
    return -1;
}

bool Recv(int fd, std::uint8_t* buffer, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kAnswerMs) <= 0) return false;
        const ssize_t n = ::recv(fd, buffer + done, length - done, 0);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A connection on `channel`, accepted by the device; -1 otherwise.
int Connect(const std::string& path, std::uint32_t channel, std::uint16_t vid, std::uint16_t pid) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return -1;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::uint8_t hello[tnx::kHelloSize] = {};
    std::memcpy(hello, tnx::kHelloMagic, 4);
    const std::uint32_t fields[3] = {channel, vid, pid};
    for (int f = 0; f < 3; ++f) {
        for (int i = 0; i < 4; ++i) hello[4 + 4 * f + i] = (fields[f] >> (8 * i)) & 0xFF;
    }
    std::uint8_t answer = 0;
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::send(fd, hello, sizeof hello, MSG_NOSIGNAL) != sizeof hello || !Recv(fd, &answer, 1) ||
        answer != 1) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

struct Descriptor {
    std::uint16_t vid = 0, pid = 0, release = 0;
    std::string serial, product;
};

std::optional<Descriptor> Describe(const std::string& path) {
    const int fd = Connect(path, tnx::kChannelDescribe, 0, 0);
    if (fd < 0) return std::nullopt;
    std::uint8_t d[tnx::kDescriptorSize];
    const bool ok = Recv(fd, d, sizeof d);
    ::close(fd);
    if (!ok) return std::nullopt;
    const auto field = [&](std::size_t at, std::size_t size) {
        const char* text = reinterpret_cast<const char*>(d + at);
        return std::string(text, strnlen(text, size));
    };
    return Descriptor{static_cast<std::uint16_t>(d[0] | d[1] << 8),
                      static_cast<std::uint16_t>(d[2] | d[3] << 8),
                      static_cast<std::uint16_t>(d[4] | d[5] << 8), field(6, tnx::kSerialField),
                      field(6 + tnx::kSerialField, tnx::kProductField)};
}

std::vector<std::string> DevicePaths() {
    std::vector<std::string> paths;
    const char* list = std::getenv("HIDAPI_DOUBLE_DEVICES");
    for (std::string rest = list ? list : ""; !rest.empty();) {
        const auto colon = rest.find(':');
        paths.push_back(rest.substr(0, colon));
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    return paths;
}

// Takes the next message within `ms` (negative: no limit): input reports are queued, answers
// returned. The type, 0 when nothing came in time, -1 when the device is gone.
int Pump(hid_device* dev, int ms, std::uint8_t* status = nullptr) {
    pollfd p{dev->fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, ms);
    if (ready == 0) return 0;
    std::uint8_t head[3];
    if (ready < 0 || !Recv(dev->fd, head, 3)) {
        dev->gone = true;
        return -1;
    }
    std::vector<std::uint8_t> body(static_cast<std::size_t>(head[1] | head[2] << 8));
    if (body.size() > tnx::kMaxReportMessage || !Recv(dev->fd, body.data(), body.size())) {
        dev->gone = true;
        return -1;
    }
    if (head[0] == tnx::kInputReport) {
        dev->input.push_back(std::move(body));
    } else if (status) {
        *status = body.empty() ? 0 : body[0];
    }
    return head[0];
}

// Sends a report and waits for the device to take it; `length` or -1.
int Transact(hid_device* dev, std::uint8_t type, std::uint8_t taken, const unsigned char* data,
             std::size_t length) {
    if (!dev || dev->gone) return Fail("the device is gone");
    if (length > tnx::kMaxReportMessage) return Fail("report too long");
    std::vector<std::uint8_t> message{type, static_cast<std::uint8_t>(length & 0xFF),
                                      static_cast<std::uint8_t>(length >> 8)};
    message.insert(message.end(), data, data + length);
    if (::send(dev->fd, message.data(), message.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(message.size())) {
        dev->gone = true;
        return Fail("the device is gone");
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        std::uint8_t status = 0;
        const int got = Pump(dev, static_cast<int>(std::max<long long>(left, 0)), &status);
        if (got <= 0) return Fail(got < 0 ? "the device is gone" : "the report was not taken");
        if (got == taken) return status == 1 ? static_cast<int>(length) : Fail("report refused");
    }
}

}  // namespace

extern "C" {

int hid_init(void) {
    return 0;
}

int hid_exit(void) {
    return 0;
}

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (const std::string& path : DevicePaths()) {
        const auto d = Describe(path);
        if (!d || (vendor_id && d->vid != vendor_id) || (product_id && d->pid != product_id))
            continue;
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        info->path = strdup(path.c_str());
        info->vendor_id = d->vid;
        info->product_id = d->pid;
        info->serial_number = WideDup(d->serial);
        info->release_number = d->release;
        info->manufacturer_string = WideDup("");
        info->product_string = WideDup(d->product);
        info->usage_page = 0xFF00;
        info->usage = 1;
        info->bus_type = HID_API_BUS_USB;
        *tail = info;
        tail = &info->next;
    }
    return head;
}

void hid_free_enumeration(hid_device_info* devs) {
    while (devs) {
        hid_device_info* next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs);
        devs = next;
    }
}

hid_device* hid_open_path(const char* path) {
    if (std::getenv("HIDAPI_DOUBLE_EACCES")) {
        errno = EACCES;
        Fail("Permission denied");
        return nullptr;
    }
    const auto d = path ? Describe(path) : std::nullopt;
    const int fd = d ? Connect(path, tnx::kChannelReports, d->vid, d->pid) : -1;
    if (fd < 0) {
        errno = ENOENT;
        Fail("No such device");
        return nullptr;
    }
    return new hid_device_{fd, false, {}};
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id,
                     const wchar_t* serial_number) {
    hid_device_info* list = hid_enumerate(vendor_id, product_id);
    const hid_device_info* d = list;
    while (d && serial_number && std::wcscmp(serial_number, d->serial_number) != 0) d = d->next;
    hid_device* dev = d ? hid_open_path(d->path) : nullptr;
    hid_free_enumeration(list);
    if (!d) Fail("No such device");
    return dev;
}

void hid_close(hid_device* dev) {
    if (!dev) return;
    ::close(dev->fd);
    delete dev;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    return Transact(dev, tnx::kOutputReport, tnx::kOutputTaken, data, length);
}

int hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
    return Transact(dev, tnx::kFeatureReport, tnx::kFeatureTaken, data, length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    while (dev->input.empty()) {
        if (dev->gone) return Fail("the device is gone");
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int got =
            Pump(dev, milliseconds < 0 ? -1 : static_cast<int>(std::max<long long>(left, 0)));
        if (got < 0) return Fail("the device is gone");
        if (got == 0) return 0;
    }
    const std::vector<std::uint8_t> report = std::move(dev->input.front());
    dev->input.pop_front();
    const std::size_t n = std::min(length, report.size());
    std::memcpy(data, report.data(), n);
    return static_cast<int>(n);
}

const wchar_t* hid_error(hid_device*) {
    return tError.c_str();
}

}  // extern "C"
