// writer-cli: the programming tool's core driven from the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command.h"
#include "core/about.h"

namespace cli {

std::vector<Command>& Commands() {
    static std::vector<Command> commands;
    return commands;
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "-h" || a == "--help") return true;
    }
    return false;
}

}  // namespace cli

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: writer-cli COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& c : cli::Commands()) std::fprintf(out, "  %-12s %s\n", c.name, c.summary);
    std::fprintf(out, "\n'writer-cli COMMAND --help' tells more about one command;\n"
                      "'writer-cli --version' gives the version and the licence.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && !std::strcmp(argv[1], "--version")) {
        std::printf("writer-cli %s (CV51 Writer)\n%s", core::kVersion, core::kLicenceNotice);
        return 0;
    }
    if (argc < 2 || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help")) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : cli::Commands()) {
        if (argv[1] == std::string(c.name)) return c.run(args);
    }
    std::fprintf(stderr, "writer-cli: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
