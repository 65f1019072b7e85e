// The POSIX side of message files: Windows names mapped to POSIX paths, the
// readability check, and files swapped under a running program.
#include "temp_files.h"

#include "platform/files.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using zelk::os::IsProfileReadable;
using zelk::os::NativePath;

TEST(PosixPaths, SpelledPathMapsSeparatorsAndDrive) {
    // clang-format off
    char const* const rows[][2] = {
        {"Z:\\home\\ann\\msg.txt", "/home/ann/msg.txt"}, {"z:", "/"}, {"d:texts\\a.txt", "/texts/a.txt"},
        {"a:\\x", "/x"}, {"texts\\a.txt", "texts/a.txt"}, {"a\\\\b//c", "a/b/c"}, {"1:\\x", "1:/x"},  // only a letter makes a drive
    };
    // clang-format on
    for (auto const& row : rows) EXPECT_EQ(zelk::os::SpelledPath(row[0]), row[1]) << row[0];
    EXPECT_EQ(zelk::os::SpelledPath(nullptr), "");
}

struct PosixFiles : ::testing::Test {
    void SetUp() override {
        fs::create_directories(texts);
        ASSERT_TRUE(zelk::test::WriteFile((texts / "zelk.txt").string(), "[S]\nk=english\n"));
    }
    // The Windows name of a scratch path as the English-name derivation writes it.
    static std::string Lowered(fs::path const& path) {
        std::string name = "z:" + path.string();
        for (char& c : name) c = c == '/' ? '\\' : (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        return name;
    }
    std::string Read(std::string const& name, unsigned long expectedLength) const {
        char buffer[16] = "junk";
        EXPECT_EQ(zelk::os::GetProfileText(name.c_str(), "S", "k", "", buffer, sizeof buffer), expectedLength);
        return buffer;
    }

    zelk::test::TempDir dir{"zelk-posix"};
    fs::path const texts = dir.Path() / "ATexts";  // names fold at both ends of A-Z
};

// Components match without case, a missing one keeps its spelling; among
// several matches the exact spelling wins, then byte order.  A file renamed
// to another case is found again through the same name.
TEST_F(PosixFiles, ComponentsMatchWithoutCase) {
    std::string const name = Lowered(texts / "Zelk.TXT");
    EXPECT_EQ(NativePath(name.c_str()), (texts / "zelk.txt").string());
    EXPECT_EQ(NativePath(Lowered(texts / "None" / "X.txt").c_str()), (texts / "none" / "x.txt").string());
    EXPECT_EQ(Read(name, 7), "english");
    fs::rename(texts / "zelk.txt", texts / "ZELK.txt");
    ASSERT_TRUE(zelk::test::WriteFile((texts / "ZELK.txt").string(), "[S]\nk=moved\n"));
    EXPECT_EQ(Read(name, 5), "moved");
    ASSERT_TRUE(zelk::test::WriteFile((texts / "Zelk.TXT").string(), "[S]\nk=exact\n"));
    EXPECT_EQ(NativePath((Lowered(texts) + "\\Zelk.TXT").c_str()), (texts / "Zelk.TXT").string());
    fs::remove(texts / "Zelk.TXT");
    EXPECT_EQ(NativePath((Lowered(texts) + "\\zElk.txt").c_str()), (texts / "ZELK.txt").string());  // "Z" < "z"
}

// Readable means the lookup can read it: the check and the lookups agree,
// for a file without permission and one of several MiB; a FIFO hangs neither.
TEST_F(PosixFiles, ReadableAgreesWithTheLookup) {
    EXPECT_EQ(IsProfileReadable(Lowered(texts / "Zelk.TXT").c_str()), 1);
    EXPECT_EQ(IsProfileReadable(Lowered(texts).c_str()), 0);  // a directory
    EXPECT_EQ(IsProfileReadable(nullptr), 0);
    std::string const fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    IsProfileReadable(fifo.c_str());  // comes back although no writer opens it
    EXPECT_EQ(Read(fifo, 0), "");
    std::string const large = dir.File("large.ini");
    ASSERT_TRUE(zelk::test::WriteFile(large, std::string(std::size_t(3) << 20, ';') + "\n[S]\nk=found\n"));
    EXPECT_EQ(IsProfileReadable(large.c_str()), 1);
    EXPECT_EQ(Read(large, 5), "found");
    if (::geteuid() != 0) {  // root reads everything
        ::chmod(large.c_str(), 0);
        EXPECT_EQ(IsProfileReadable(large.c_str()), 0);
        EXPECT_EQ(Read(large, 0), "");
        ::chmod(large.c_str(), 0600);
    }
}

// Open descriptors of the process that lead to `path` (deleted or not).
int DescriptorsTo(std::string const& path) {
    int count = 0;
    for (auto const& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        std::string const target = fs::read_symlink(fd.path(), error).string();
        count += !error && target.rfind(path, 0) == 0;
    }
    return count;
}

// What a deployment does to a running program: a symbolic link repointed at
// a new release, a folder swapped for a new one, the file deleted, a file
// rewritten in place with the same size and times set back.  The very next
// lookup sees each, and no file stays open behind the reader's back.
TEST_F(PosixFiles, FilesSwappedUnderARunningProgram) {
    fs::create_directories(dir.Path() / "r1");
    fs::create_directories(dir.Path() / "r2");
    ASSERT_TRUE(zelk::test::WriteFile(dir.File("r1/zelk.txt"), "[S]\nk=one\n"));
    ASSERT_TRUE(zelk::test::WriteFile(dir.File("r2/zelk.txt"), "[S]\nk=two\n"));
    fs::create_directory_symlink(dir.Path() / "r1", dir.Path() / "current");
    std::string const linked = Lowered(dir.Path() / "current" / "Zelk.TXT");
    EXPECT_EQ(Read(linked, 3), "one");
    fs::create_directory_symlink(dir.Path() / "r2", dir.Path() / "next");
    fs::rename(dir.Path() / "next", dir.Path() / "current");  // atomic repoint
    EXPECT_EQ(Read(linked, 3), "two");

    std::string const swapped = Lowered(dir.Path() / "r1" / "zelk.txt");
    EXPECT_EQ(Read(swapped, 3), "one");
    fs::rename(dir.Path() / "r1", dir.Path() / "old");
    fs::rename(dir.Path() / "r2", dir.Path() / "r1");
    EXPECT_EQ(Read(swapped, 3), "two");
    EXPECT_EQ(DescriptorsTo(dir.Path().string()), 0);
    fs::remove(dir.Path() / "r1" / "zelk.txt");
    EXPECT_EQ(Read(swapped, 0), "");
    EXPECT_EQ(IsProfileReadable(swapped.c_str()), 0);

    std::string const file = dir.File("inplace.ini");
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=aaaaa\n"));
    EXPECT_EQ(Read(file, 5), "aaaaa");
    struct stat before;
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=bbbbb\n"));
    timespec const times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(Read(file, 5), "bbbbb");
}

// Readers on several threads while a release link flips between two folders:
// every lookup gives one whole release's text, and once the flipping stops
// every thread reads the last release.
TEST_F(PosixFiles, ReadersWhileTheReleaseLinkFlips) {
    for (char const* release : {"a", "b"}) {
        fs::create_directories(dir.Path() / release);
        ASSERT_TRUE(zelk::test::WriteFile(dir.File(std::string(release) + "/zelk.txt"),
                                          std::string("[S]\nk=release ") + release + "\n"));
    }
    fs::create_directory_symlink(dir.Path() / "a", dir.Path() / "current");
    std::string const name = Lowered(dir.Path() / "current" / "zelk.txt");
    std::atomic<bool> flipping{true};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&] {
            while (flipping.load()) {
                char buffer[32];
                zelk::os::GetProfileText(name.c_str(), "S", "k", "", buffer, sizeof buffer);
                bad += std::string(buffer) != "release a" && std::string(buffer) != "release b";
            }
        });
    }
    for (int flip = 1; flip <= 200; ++flip) {
        fs::path const target = dir.Path() / (flip % 2 ? "b" : "a");
        fs::create_directory_symlink(target, dir.Path() / "next");
        fs::rename(dir.Path() / "next", dir.Path() / "current");
    }
    flipping = false;
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(Read(name, 9), "release a");
}

}  // namespace
