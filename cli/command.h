// writer-cli subcommands register themselves here; each lives in a file of its own.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const std::vector<std::string>& args);  // args after the subcommand name
};

std::vector<Command>& Commands();

struct Register {
    explicit Register(Command command) { Commands().push_back(command); }
};

// True when args holds -h or --help.
bool WantsHelp(const std::vector<std::string>& args);

}  // namespace cli
