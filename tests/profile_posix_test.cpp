// The POSIX side of message files: Windows names mapped to POSIX paths,
// the readability check, and the limits of the cached reader.
#include "temp_files.h"

#include "platform/files.h"
#include "platform/posix/ini_parser.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using zelk::os::CanOpenForReading;
using zelk::os::NativePath;

TEST(PosixPaths, SpelledPathMapsSeparatorsAndDrive) {
    char const* const rows[][2] = {
        {"Z:\\home\\ann\\msg.txt", "/home/ann/msg.txt"}, {"z:", "/"}, {"d:texts\\a.txt", "/texts/a.txt"},
        {"texts\\a.txt", "texts/a.txt"}, {"a\\\\b//c", "a/b/c"}, {"1:\\x", "1:/x"},  // only a letter makes a drive
    };
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
    fs::path const texts = dir.Path() / "Texts";
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

TEST_F(PosixFiles, CanOpenForReading) {
    EXPECT_EQ(CanOpenForReading(Lowered(texts / "Zelk.TXT").c_str()), 1);
    EXPECT_EQ(CanOpenForReading(Lowered(texts).c_str()), 0);  // a directory
    EXPECT_EQ(CanOpenForReading(nullptr), 0);
    // A FIFO without a writer must not hang the check, nor give text.
    std::string const fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(CanOpenForReading(fifo.c_str()), 1);
    EXPECT_EQ(Read(fifo, 0), "");
    if (::geteuid() != 0) {  // root reads everything
        std::string const locked = (texts / "zelk.txt").string();
        ::chmod(locked.c_str(), 0);
        EXPECT_EQ(CanOpenForReading(locked.c_str()), 0);
        ::chmod(locked.c_str(), 0600);
    }
}

// A file above the reader's limit gives no text.  A file rewritten in place
// with the same size and times (a coarse file-system clock) is read again.
TEST_F(PosixFiles, CachedReaderLimits) {
    std::string const file = dir.File("huge.ini");
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=found\n" + std::string(std::size_t(1) << 20, ';')));
    EXPECT_EQ(Read(file, 0), "");
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=aaaaa\n"));
    EXPECT_EQ(Read(file, 5), "aaaaa");
    struct stat before;
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=bbbbb\n"));
    timespec const times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(Read(file, 5), "bbbbb");
}

// A section repeated in another case is dead: its keys are never found.
TEST(ParsedProfile, DeadDuplicateSections) {
    zelk::os::ParsedProfile const profile("[A]\nx=1\n[a]\ny=2\n");
    char buffer[8];
    EXPECT_EQ(profile.Lookup("a", "y", "-", buffer, sizeof buffer), 1u);
    EXPECT_STREQ(buffer, "-");
}

}  // namespace
