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
}  // namespace

DeviceChoice ConfiguredDeviceChoice() {
    const char* env = std::getenv(kDeviceEnv);
    if (!env || !*env) return DeviceChoice::kDetect;
    const std::string_view value(env);
    if (value == "hid") return DeviceChoice::kHid;
    if (value.starts_with(kVwriterPrefix) && value.size() > kVwriterPrefix.size())
        return DeviceChoice::kVwriter;
    return DeviceChoice::kNotUnderstood;
}

std::string DeviceChoiceProblem() {
    const char* env = std::getenv(kDeviceEnv);
    return std::string(kDeviceEnv) + "='" + (env ? env : "") +
           "' is not understood; use 'hid' for a writer on USB, 'vwriter:PATH' for the virtual "
           "writer on the socket PATH, or leave it unset to use whichever is there";
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
