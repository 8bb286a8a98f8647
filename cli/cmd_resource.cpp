// writer-cli resource list | dump ID
#include <cstdio>
#include <string>

#include "catalogue/lookup.h"
#include "catalogue/resources.h"
#include "cli/command.h"
#include "cli/session.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli resource list\n"
    "       writer-cli resource dump ID\n\n"
    "list: one line per carried resource: id (decimal), kind, size in bytes.\n"
    "dump: the raw bytes of resource ID (decimal or 0x hexadecimal) on standard output.\n";

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args) || args.empty()) {
        std::fputs(kHelp, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "list" && args.size() == 1) {
        for (const auto& r : cat::CarriedResources()) {
            std::printf("%u %s %zu\n", static_cast<unsigned>(r.id), cat::KindName(r.kind), r.size);
        }
        return 0;
    }
    if (args[0] == "dump" && args.size() == 2) {
        const std::uint32_t id = cat::ParseNumber(args[1]);
        const auto bytes =
            id <= 0xFFFF ? cat::FindResource(static_cast<std::uint16_t>(id)) : std::nullopt;
        if (!bytes) {
            std::fprintf(stderr, "writer-cli: no resource %s\n", args[1].c_str());
            return 1;
        }
        std::fwrite(bytes->data(), 1, bytes->size(), stdout);
        return 0;
    }
    return cli::UsageError(kHelp, "");
}

const cli::Register kRegister{{"resource", "list the carried resources, or dump one", Run}};

}  // namespace
