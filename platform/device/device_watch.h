// Arrivals and removals of the writer, from a real HID writer (udev) and from the virtual
// writer's socket appearing and disappearing, delivered to one handler as a HID device name
// of the form "\\?\HID#Vid_xxxx&Pid_yyyy#instance#{guid}".
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace devwatch {

enum class DeviceEvent : std::uint32_t { Arrival = 0x8000, RemoveComplete = 0x8004 };

using Handler = std::function<void(DeviceEvent event, const std::string& deviceName)>;

// "\\?\HID#Vid_vvvv&Pid_pppp#instance#{guid}" with lower-case hex digits.
std::string WriterDeviceName(std::uint16_t vid, std::uint16_t pid, std::string_view instance);

// Whether a device name starts, ignoring case, with "\\?\HID#Vid_" WRITER_VID "&Pid_"
// WRITER_ENUM_PID "#": the test the device-change handling applies.
bool IsWriterDeviceName(std::string_view name);

// Whether the system lists the writer: a HID device with the writer's vendor id and the
// enumeration (or the application) product id, or the virtual writer's socket present.
bool IsWriterEnumerated();

// How long a firmware upgrade waits for the writer to come back after a restart: 10 s for a
// writer the system lists already, 20 s for one it still has to install. The program's waits
// and libdfu's wait for the loader both take it.
inline constexpr std::uint32_t kUpgradeWaitKnownMs = 10000;
inline constexpr std::uint32_t kUpgradeWaitNewMs = 20000;
std::uint32_t UpgradeWaitMs();

// Watches both sources on a thread of its own; the handler runs on that thread, so it must
// only do thread-safe things (set an event, post to the UI thread).
class DeviceWatcher {
  public:
    // socketPath empty: the socket libtunnix would use (TUNNIX_DEVICE or the default).
    explicit DeviceWatcher(Handler handler, std::string socketPath = {}, bool watchUdev = true);
    ~DeviceWatcher();
    DeviceWatcher(const DeviceWatcher&) = delete;
    DeviceWatcher& operator=(const DeviceWatcher&) = delete;

    bool Start();  // false when neither source could be watched
    void Stop();

  private:
    void Run();

    Handler handler_;
    std::string socketPath_;
    bool watchUdev_;
    std::thread thread_;
    int stopPipe_[2] = {-1, -1};
    int inotifyFd_ = -1;
    int watchDescriptor_ = -1;
    void* udev_ = nullptr;
    void* monitor_ = nullptr;
    bool socketPresent_ = false;
};

}  // namespace devwatch
