#include "platform/device/writer_ids.h"

#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace writer_ids {

std::string DefaultVwriterSocket() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return std::string(runtime) + "/vwriter.sock";
    std::string path = "/tmp/vwriter-";
    path += std::to_string(static_cast<unsigned>(getuid()));
    path += ".sock";
    return path;
}

namespace {
constexpr std::string_view kVwriterPrefix = "vwriter:";
constexpr std::string_view kHidSerialPrefix = "hid:serial=";
constexpr std::string_view kHidPathPrefix = "hid:";

bool HasValueAfter(std::string_view value, std::string_view prefix) {
    return value.starts_with(prefix) && value.size() > prefix.size();
}
}  // namespace

DeviceChoice ConfiguredDeviceChoice() {
    const char* env = std::getenv(kDeviceEnv);
    if (!env || !*env) return DeviceChoice::kDetect;
    const std::string_view value(env);
    if (value == "hid") return DeviceChoice::kHid;
    if (value.starts_with(kHidSerialPrefix)) {
        return value.size() > kHidSerialPrefix.size() ? DeviceChoice::kHidSerial
                                                      : DeviceChoice::kNotUnderstood;
    }
    if (HasValueAfter(value, kHidPathPrefix)) return DeviceChoice::kHidPath;
    if (HasValueAfter(value, kVwriterPrefix)) return DeviceChoice::kVwriter;
    return DeviceChoice::kNotUnderstood;
}

std::string ConfiguredHidTarget() {
    const char* env = std::getenv(kDeviceEnv);
    switch (ConfiguredDeviceChoice()) {
        case DeviceChoice::kHidSerial:
            return std::string(env + kHidSerialPrefix.size());
        case DeviceChoice::kHidPath:
            return std::string(env + kHidPathPrefix.size());
        default:
            return {};
    }
}

std::string DeviceChoiceProblem() {
    const char* env = std::getenv(kDeviceEnv);
    return std::string(kDeviceEnv) + "='" + (env ? env : "") +
           "' is not understood; use 'hid' for a writer on USB ('hid:PATH' for the one at a device "
           "node, 'hid:serial=S' for the one with a USB serial string), 'vwriter:PATH' for the "
           "virtual writer on the socket PATH, or leave it unset to use whichever is there";
}

std::string ConfiguredVwriterSocket() {
    const char* env = std::getenv(kDeviceEnv);
    constexpr std::string_view kPrefix = "vwriter:";
    if (env) {
        const std::string_view v(env);
        if (v.substr(0, kPrefix.size()) == kPrefix && v.size() > kPrefix.size()) {
            return std::string(v.substr(kPrefix.size()));
        }
    }
    return DefaultVwriterSocket();
}

}  // namespace writer_ids
