#include "writer/go_event.h"

#include <chrono>
#include <map>

#include "platform/device/writer_ids.h"

namespace writer {

void GoEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_all();
}

void GoEvent::Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool GoEvent::IsSet() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

bool GoEvent::Wait(std::uint32_t ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; });
}

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<GoEvent>, std::less<>> events;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

std::shared_ptr<GoEvent> CreateGoEvent(const std::string& name, int* error) {
    int reason = 0;
    if (name.size() > kMaxEventName) reason = kErrorNameTooLong;
    if (name.find('\\') != std::string::npos) reason = kErrorPathNotFound;
    if (error) *error = reason;
    if (reason) return nullptr;
    if (name.empty()) return std::make_shared<GoEvent>();  // unnamed: nobody can find it

    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto& slot = registry.events[name];
    if (auto living = slot.lock()) return living;
    auto created = std::make_shared<GoEvent>();
    slot = created;
    // Names whose events have all been released are dropped as new ones come.
    std::erase_if(registry.events, [](const auto& entry) { return entry.second.expired(); });
    return created;
}

std::shared_ptr<GoEvent> FindGoEvent(const std::string& name) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.events.find(name);
    return it == registry.events.end() ? nullptr : it->second.lock();
}

bool OnDeviceChange(devwatch::DeviceEvent event, std::string_view deviceName) {
    if (event != devwatch::DeviceEvent::Arrival && event != devwatch::DeviceEvent::RemoveComplete)
        return false;
    if (!devwatch::IsWriterDeviceName(deviceName)) return false;
    const auto go = FindGoEvent(writer_ids::GoEventName());
    if (!go) return false;
    go->Set();
    return true;
}

}  // namespace writer
