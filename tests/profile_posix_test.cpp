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

#include <cstring>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using zelk::os::CanOpenForReading;
using zelk::os::NativePath;
using zelk::os::SpelledPath;

TEST(PosixPaths, SpelledPathMapsSeparatorsAndDrive) {
    struct Row {
        char const* given;
        char const* expected;
    } const rows[] = {
        {"d:\\texts\\Zelk.TXT", "/texts/Zelk.TXT"},
        {"Z:\\home\\ann\\msg.txt", "/home/ann/msg.txt"},
        {"z:\\", "/"},
        {"z:", "/"},
        {"d:texts\\a.txt", "/texts/a.txt"},
        {"\\texts\\a.txt", "/texts/a.txt"},
        {"/texts/a.txt", "/texts/a.txt"},
        {"texts\\a.txt", "texts/a.txt"},
        {"a\\\\b//c", "a/b/c"},
        {"1:\\x", "1:/x"},  // only a letter makes a drive
        {"", ""},
    };
    for (Row const& row : rows) EXPECT_EQ(SpelledPath(row.given), row.expected) << row.given;
    EXPECT_EQ(SpelledPath(nullptr), "");
}

class PosixFiles : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.Path() / "Texts" / "Sub");
        ASSERT_TRUE(zelk::test::WriteFile((dir.Path() / "Texts" / "zelk.txt").string(), "[S]\nk=english\n"));
        ASSERT_TRUE(zelk::test::WriteFile((dir.Path() / "Texts" / "Sub" / "German.TXT").string(), "[S]\nk=de\n"));
    }
    // The Windows name of a path in the scratch directory, as a host or the
    // English-name derivation writes it: drive z:, backslashes, lower case.
    std::string Lowered(fs::path const& path) const {
        std::string name = "z:" + path.string();
        for (char& c : name) {
            if (c == '/') c = '\\';
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return name;
    }

    zelk::test::TempDir dir{"zelk-posix"};
};

// Components match without case; a missing one keeps its spelling, and so
// does the rest; among several matches the exact spelling wins, then byte order.
TEST_F(PosixFiles, ComponentsMatchWithoutCase) {
    fs::path const base = dir.Path();
    fs::path const texts = base / "Texts";
    EXPECT_EQ(NativePath(Lowered(texts / "Zelk.TXT").c_str()), (texts / "zelk.txt").string());
    EXPECT_EQ(NativePath(Lowered(texts / "Sub" / "german.txt").c_str()), (texts / "Sub" / "German.TXT").string());
    EXPECT_EQ(NativePath(Lowered(texts / "None" / "X.txt").c_str()), (texts / "none" / "x.txt").string());
    // Relative names resolve against the working directory.
    fs::path const old = fs::current_path();
    fs::current_path(base);
    EXPECT_EQ(NativePath("texts\\ZELK.txt"), "Texts/zelk.txt");
    EXPECT_EQ(NativePath(".\\texts\\..\\TEXTS\\zelk.txt"), "./Texts/../Texts/zelk.txt");
    fs::current_path(old);

    ASSERT_TRUE(zelk::test::WriteFile((texts / "ZELK.txt").string(), "[S]\nk=upper\n"));
    ASSERT_TRUE(zelk::test::WriteFile((texts / "Zelk.TXT").string(), "[S]\nk=exact\n"));
    EXPECT_EQ(NativePath((Lowered(texts) + "\\Zelk.TXT").c_str()), (texts / "Zelk.TXT").string());
    fs::remove(texts / "Zelk.TXT");
    EXPECT_EQ(NativePath((Lowered(texts) + "\\zElk.txt").c_str()), (texts / "ZELK.txt").string());  // "Z" < "z"
}

TEST_F(PosixFiles, LookupsThroughLowerCasedNames) {
    char buffer[32];
    std::string const name = Lowered(dir.Path() / "Texts" / "Zelk.TXT");
    EXPECT_EQ(zelk::os::GetProfileText(name.c_str(), "S", "k", "", buffer, sizeof buffer), 7u);
    EXPECT_STREQ(buffer, "english");
    // Again from the remembered path, and after the file moved to another case.
    EXPECT_EQ(zelk::os::GetProfileText(name.c_str(), "S", "k", "", buffer, sizeof buffer), 7u);
    fs::rename(dir.Path() / "Texts" / "zelk.txt", dir.Path() / "Texts" / "ZELK.TXT");
    ASSERT_TRUE(zelk::test::WriteFile((dir.Path() / "Texts" / "ZELK.TXT").string(), "[S]\nk=moved\n"));
    EXPECT_EQ(zelk::os::GetProfileText(name.c_str(), "S", "k", "", buffer, sizeof buffer), 5u);
    EXPECT_STREQ(buffer, "moved");
}

TEST_F(PosixFiles, CanOpenForReading) {
    fs::path const base = dir.Path();
    EXPECT_EQ(CanOpenForReading(Lowered(base / "Texts" / "Zelk.TXT").c_str()), 1);
    EXPECT_EQ(CanOpenForReading((base / "Texts" / "zelk.txt").c_str()), 1);
    EXPECT_EQ(CanOpenForReading(Lowered(base / "Texts" / "absent.txt").c_str()), 0);
    EXPECT_EQ(CanOpenForReading(Lowered(base / "Texts").c_str()), 0);  // a directory
    EXPECT_EQ(CanOpenForReading(""), 0);
    EXPECT_EQ(CanOpenForReading(nullptr), 0);
    // A FIFO without a writer must not hang the check.
    std::string const fifo = (base / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(CanOpenForReading(fifo.c_str()), 1);
    char buffer[8] = "junk";
    EXPECT_EQ(zelk::os::GetProfileText(fifo.c_str(), "S", "k", "", buffer, sizeof buffer), 0u);  // no text from it
    EXPECT_STREQ(buffer, "");
    if (::geteuid() != 0) {  // root reads everything
        std::string const locked = (base / "Texts" / "zelk.txt").string();
        ::chmod(locked.c_str(), 0);
        EXPECT_EQ(CanOpenForReading(locked.c_str()), 0);
        EXPECT_EQ(zelk::os::GetProfileText(locked.c_str(), "S", "k", "", buffer, sizeof buffer), 0u);
        ::chmod(locked.c_str(), 0600);
    }
}

// A file above the reader's limit gives no text; cut back, it gives texts
// again.  A file rewritten in place with the same size and times (as a coarse
// file system clock leaves it) is read again: its parse is too young to trust.
TEST_F(PosixFiles, CachedReaderLimits) {
    std::string const file = (dir.Path() / "huge.ini").string();
    std::string content = "[S]\nk=found\n";
    content.append(std::size_t(1) << 20, ';');
    ASSERT_TRUE(zelk::test::WriteFile(file, content));
    char buffer[16] = "junk";
    EXPECT_EQ(zelk::os::GetProfileText(file.c_str(), "S", "k", "", buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=aaaaa\n"));
    EXPECT_EQ(zelk::os::GetProfileText(file.c_str(), "S", "k", "", buffer, sizeof buffer), 5u);
    EXPECT_STREQ(buffer, "aaaaa");

    struct stat before;
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=bbbbb\n"));
    timespec const times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    zelk::os::GetProfileText(file.c_str(), "S", "k", "", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "bbbbb");
}

// Sections repeated in another case are dead, and hold nothing.
TEST(ParsedProfile, SectionsAndDeadDuplicates) {
    zelk::os::ParsedProfile const profile("k=0\n[A]\nx=1\n[b]\n[a]\ny=2\n[]\nz=3\n");
    EXPECT_EQ(profile.SectionCount(), 3u);  // nameless, A, b
    char buffer[8];
    EXPECT_EQ(profile.Lookup("a", "x", "", buffer, sizeof buffer), 1u);
    EXPECT_EQ(profile.Lookup("a", "y", "-", buffer, sizeof buffer), 1u);
    EXPECT_STREQ(buffer, "-");
    EXPECT_EQ(profile.Lookup("", "k", "", buffer, sizeof buffer), 1u);
    EXPECT_EQ(profile.Lookup("", "z", "", buffer, sizeof buffer), 0u);
    EXPECT_EQ(zelk::os::CopyProfileDefault(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_EQ(zelk::os::CopyProfileDefault("   ", buffer, sizeof buffer), 0u);
}

}  // namespace
