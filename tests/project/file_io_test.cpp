#include "project/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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
