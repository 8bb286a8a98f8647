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
