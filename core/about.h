// What `--version` says, the same in every program.
#pragma once

namespace core {

// The project's version, from the build.
inline constexpr const char* kVersion = WRITER_VERSION;
inline constexpr const char* kLicenceNotice =
    "Copyright (c) 2026 Corvane.\n"
    "Released under the MIT licence (the LICENSE file; installed as\n"
    "/usr/share/doc/cv51-writer/copyright).\n";

}  // namespace core
