#include "project/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;
using proj::ReadWholeFile;
using proj::WriteFileReplacing;

TEST(FileReplacement, KeepsLinksAndPermissionsOfTheReplacedFile) {
    const fs::path dir = fs::temp_directory_path() / ("file-io-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::vector<std::uint8_t> a = {1, 2, 3}, b = {4, 5};
    const std::string file = (dir / "real.bin").string();
    ASSERT_TRUE(WriteFileReplacing(file, {a, b}));
    EXPECT_EQ(ReadWholeFile(file).bytes, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    ::chmod(file.c_str(), 0640);
    const fs::path link = dir / "link.bin";
    fs::create_symlink(file, link);
    ASSERT_TRUE(WriteFileReplacing(link.string(), {b}));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(file).bytes, b);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // A folder that does not exist: refused, nothing left behind.
    EXPECT_FALSE(WriteFileReplacing((dir / "no" / "x.bin").string(), {a}));
    EXPECT_EQ(ReadWholeFile((dir / "none").string()).status, proj::ReadStatus::CannotOpen);
    EXPECT_EQ(ReadWholeFile(dir.string()).status, proj::ReadStatus::CannotOpen);
    EXPECT_EQ(ReadWholeFile(file, 1).status, proj::ReadStatus::TooLarge);
    fs::remove_all(dir);
}

TEST(FileReplacement, AWriteProtectedFileIsNotReplaced) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
    const fs::path dir = fs::temp_directory_path() / ("file-io-ro-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "kept.bin").string();
    const std::vector<std::uint8_t> old = {1, 2, 3}, fresh = {9};
    ASSERT_TRUE(WriteFileReplacing(file, {old}));
    ::chmod(file.c_str(), 0444);
    EXPECT_FALSE(WriteFileReplacing(file, {fresh}));
    EXPECT_EQ(ReadWholeFile(file).bytes, old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
    fs::remove_all(dir);
}

// A target that is not a regular file is written as it is and stays what it was: a FIFO (also
// through a link), and a device node like /dev/full, whose refusal is reported.
TEST(FileReplacement, ASpecialFileIsWrittenInPlaceNeverReplaced) {
    const fs::path dir =
        fs::temp_directory_path() / ("file-io-special-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path fifo = dir / "pipe", link = dir / "to-pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(fifo, link);
    const std::vector<std::uint8_t> a = {1, 2, 3}, b = {4, 5};
    // Held open for reading and writing, so that neither side waits for the other.
    const int end = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(end, 0);
    for (const fs::path& target : {fifo, link}) {
        EXPECT_TRUE(WriteFileReplacing(target.string(), {a, b}));
        std::uint8_t got[8] = {};
        EXPECT_EQ(::read(end, got, sizeof got), 5) << target;
        EXPECT_EQ(std::vector<std::uint8_t>(got, got + 5),
                  (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
        EXPECT_TRUE(fs::is_fifo(fifo));
        EXPECT_TRUE(fs::is_symlink(link));
    }
    ::close(end);
    if (::geteuid() == 0) {  // only root makes device nodes
        const fs::path full = dir / "full";
        ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
        EXPECT_FALSE(WriteFileReplacing(full.string(), {a}));
        EXPECT_TRUE(fs::is_character_file(full));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}),
              ::geteuid() == 0 ? 3 : 2);  // no temporary file left beside them
    fs::remove_all(dir);
}
