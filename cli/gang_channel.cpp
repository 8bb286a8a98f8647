#include "cli/gang_channel.h"

#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/session.h"

namespace cli {

void TellGang(std::string_view what, unsigned long value) {
    static const int fd = [] {
        const char* text = std::getenv(kGangFdEnv);
        const auto number = text ? ParseNumberArg(text) : std::nullopt;
        return number && *number > 2 && *number < 1024 ? static_cast<int>(*number) : -1;
    }();
    if (fd < 0) return;
    static std::string last;
    std::string line = std::string(what) + " " + std::to_string(value) + "\n";
    if (line == last) return;
    // A gang that has gone does not stop the operation.
    [[maybe_unused]] const ssize_t n = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    last = std::move(line);
}

}  // namespace cli
