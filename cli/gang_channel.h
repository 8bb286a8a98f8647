// What an operation run by writer-cli gang tells the gang besides its log: one line a fact on
// the socket WRITER_CLI_GANG_FD names ("progress P"). Nothing without it.
#pragma once

#include <string_view>

namespace cli {

inline constexpr const char* kGangFdEnv = "WRITER_CLI_GANG_FD";

// Sends "WHAT VALUE\n" when a gang listens and the line differs from the last one sent.
void TellGang(std::string_view what, unsigned long value);

}  // namespace cli
