// Whole-file reads and writes that never leave a half-written file behind.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace proj {

// Files above this size are not read into memory.
inline constexpr std::uint64_t kMaxFileBytes = 256u << 20;

enum class ReadStatus { Ok, CannotOpen, TooLarge };

struct FileContent {
    ReadStatus status = ReadStatus::CannotOpen;
    std::vector<std::uint8_t> bytes;
};

FileContent ReadWholeFile(const std::string& path, std::uint64_t maxBytes = kMaxFileBytes);

// Writes the pieces one after another into a temporary file beside `path` and renames it over
// `path` only when everything was written and flushed; on any failure the old file stays as it
// was and false is returned. A file that is there but may not be written is refused as well.
// A new file gets the usual permissions; a replaced one keeps its own. A symbolic link stays and
// the file it points to is replaced. A target that is there but not a regular file (a FIFO, a
// terminal, a device such as /dev/stdout) is never replaced: it is written in place.
// `durable` also waits until the bytes are on the disk before the rename (the window's saves
// do; a converter on the command line need not).
bool WriteFileReplacing(const std::string& path,
                        std::initializer_list<std::span<const std::uint8_t>> pieces,
                        bool durable = true);

}  // namespace proj
