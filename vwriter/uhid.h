// The virtual writer as a kernel HID device, made through /dev/uhid: hidraw, hidapi, udev and the
// device watcher see it as they see a writer attached over USB, with the writer's ids (the
// loader's product id while it is in its loader) and the USB serial string given.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "vwriter/report_port.h"

struct uhid_event;  // <linux/uhid.h>

namespace vw {

class UhidWriter {
  public:
    UhidWriter(Device& device, Trace* trace, const EngineOptions& options, bool usbTiming,
               ReportHost host, std::string serial);
    ~UhidWriter();
    UhidWriter(const UhidWriter&) = delete;
    UhidWriter& operator=(const UhidWriter&) = delete;

    // Opens the uhid node, or takes a descriptor that speaks its events, and answers them.
    bool Open(const std::string& path, std::string* error);
    void Adopt(int fd);
    // The device appears in `mode`, or goes away (its session ends).
    bool Create(Mode mode);
    void Destroy();

  private:
    void Run();
    void Handle(const ::uhid_event& event);
    bool Send(const ::uhid_event& event);
    void StartSession();
    void EndSession();

    Device& device_;
    Trace* trace_;
    const EngineOptions& options_;
    bool usbTiming_;
    ReportHost host_;
    std::string serial_;
    int fd_ = -1;
    int stop_[2] = {-1, -1};
    std::thread events_;
    std::mutex sessionMutex_;
    std::unique_ptr<ReportPort> port_;
    std::thread session_;
    bool created_ = false;
};

}  // namespace vw
