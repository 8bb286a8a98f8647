#include "project/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace proj {
namespace {

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

FileContent ReadWholeFile(const std::string& path, std::uint64_t maxBytes) {
    FileContent content;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return content;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return content;
    }
    // Read to the end rather than trusting the size: others may write the file meanwhile.
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            content.bytes.clear();
            return content;
        }
        if (n == 0) break;
        if (content.bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            ::close(fd);
            content.bytes.clear();
            content.status = ReadStatus::TooLarge;
            return content;
        }
        content.bytes.insert(content.bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    content.status = ReadStatus::Ok;
    return content;
}

bool WriteFileReplacing(const std::string& path,
                        std::initializer_list<std::span<const std::uint8_t>> pieces, bool durable) {
    // A FIFO, a terminal or a device node is written as it is: renaming a file over it would
    // destroy it and leave a plain file in its place.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return false;
        bool ok = true;
        for (const auto& piece : pieces) ok = ok && WriteAll(fd, piece.data(), piece.size());
        return (::close(fd) == 0) && ok;
    }
    // Through a symbolic link the file it points to is replaced, not the link.
    std::string target = path;
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        const auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec) target = resolved.string();
    }
    // A file that could not be opened for writing is refused, not replaced behind its back.
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) return false;
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    struct stat st {};
    const mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : NewFileMode();
    bool ok = ::fchmod(fd, mode) == 0;
    for (const auto& piece : pieces) ok = ok && WriteAll(fd, piece.data(), piece.size());
    if (durable) ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace proj
