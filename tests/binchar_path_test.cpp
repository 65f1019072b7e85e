// BinChar path members against a real current directory.
//
// Windows: the tests create and enter C:\Work, so the names read as the
// library's users see them ("c:\work\x.txt").  POSIX: they enter a fresh
// "Work" folder under the temporary directory, which the library reads on
// drive "z:" with "\" separators and lower-cased (/tmp/t/Work ->
// "z:\tmp\t\work").  Cases are written with placeholders for the current
// directory and its drive so that one table serves both.
#include <zelk/binchar.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

std::string Bytes(BinChar const& s) { return std::string(static_cast<char const*>(s), static_cast<std::size_t>(s.len())); }

BinChar Make(std::string const& bytes) { return BinChar(bytes.data(), static_cast<int>(bytes.size())); }

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// The name under which the library reads a directory: on POSIX the drive
// "z:" for "/", "\" between components; lower-cased either way.
std::string LibraryForm(fs::path const& directory) {
    std::string text = directory.string();
    if (!kWindows) {
        for (char& c : text)
            if (c == '/') c = '\\';
        text = "z:" + text;
    }
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    return text;
}

class PathTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = fs::current_path();
        if (kWindows) {
            m_work = "C:\\Work";
        } else {
            m_base = fs::temp_directory_path() / ("zelk_path_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                                  "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
            m_work = m_base / "Work";
        }
        fs::create_directories(m_work);
        fs::current_path(m_work);
        m_cwd = LibraryForm(fs::current_path());
        if (kWindows) {
            ASSERT_EQ(m_cwd, "c:\\work");
        }
        m_drive = m_cwd.substr(0, 1);
    }

    void TearDown() override {
        fs::current_path(m_saved);
        std::error_code ignored;
        if (!m_base.empty()) fs::remove_all(m_base, ignored);
    }

    // Replaces {cwd}, {d} (the current drive letter) and {D} (upper case).
    std::string Expand(std::string text) const {
        struct Field {
            char const* name;
            std::string value;
        };
        std::string upper = m_drive;
        upper[0] = static_cast<char>(upper[0] - ('a' - 'A'));
        Field const fields[] = {{"{cwd}", m_cwd}, {"{d}", m_drive}, {"{D}", upper}};
        for (Field const& field : fields) {
            std::string const name = field.name;
            for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + field.value.size()))
                text.replace(at, name.size(), field.value);
        }
        return text;
    }

    fs::path m_saved;
    fs::path m_base;  // removed after the test (POSIX only)
    fs::path m_work;
    std::string m_cwd;
    std::string m_drive;
};

TEST_F(PathTest, FullFileName) {
    struct Case {
        std::string name;
        std::string full;
        int root;
    };
    Case const cases[] = {
        {"x.txt", "{cwd}\\x.txt", 3},
        {"\\x.txt", "{d}:\\x.txt", 3},
        {"/x.txt", "{d}:/x.txt", 3},
        {"{d}:x.txt", "{cwd}\\x.txt", 3},
        {"{D}:x.txt", "{D}:\\x.txt", 3},  // the upper-case letter never equals the lowered directory
        {"d:x.txt", "d:\\x.txt", 3},
        {"D:\\A\\x.txt", "D:\\A\\x.txt", 3},
        {"D:/A/x.txt", "D:/A/x.txt", 3},
        {"{d}:", "{cwd}\\", 3},
        {"1:\\x", "", 3},
        {":x", "{cwd}\\:x", 3},  // no drive: the colon is not the second byte
        {"", "", 0},
        {"sub\\..\\.\\f", "{cwd}\\sub\\..\\.\\f", 3},  // not normalised
        {"X.TXT", "{cwd}\\X.TXT", 3},                   // the name keeps its case
        {"\\\\srv\\share\\dir\\f.txt", "\\\\srv\\share\\dir\\f.txt", 12},
        {"\\\\server\\share\\", "\\\\server\\share\\", 15},
        {"\\\\srv/share/f", "\\\\srv/share/f", 12},
        {"\\\\srv", "", 0},
        {"\\\\srv\\share", "", 0},
        {"\\\\", "", 0},
        {"a\0b"s, "{cwd}\\a\0b"s, 3},  // zero bytes are carried along
    };
    for (Case const& c : cases) {
        std::string const name = Expand(c.name);
        int root = -1;
        BinChar const full = Make(name).FullFileName(root);
        EXPECT_EQ(Bytes(full), Expand(c.full)) << name;
        EXPECT_EQ(root, c.root) << name;
    }
}

TEST_F(PathTest, DirectoryAndFileName) {
    struct Case {
        std::string name;
        int levels;
        std::string directory;
    };
    Case const cases[] = {
        {"c:\\a\\b\\f.txt", 0, "c:\\a\\b"},
        {"c:\\a\\b\\f.txt", -1, "c:\\a\\b"},
        {"c:\\a\\b\\f.txt", 1, "c"},
        {"c:\\a\\b\\f.txt", 2, "c:"},
        {"c:\\a\\b\\f.txt", 3, "c:\\a"},
        {"c:\\a\\b\\f.txt", 4, "c:\\a\\b"},
        {"c:\\a\\b\\f.txt", 9, "c:\\a\\b"},
        {"c:\\a\\b\\", 0, "c:\\a\\b"},
        {"c:\\a/b\\c", 0, "c:\\a/b"},  // a slash is no cut point while a backslash follows
        {"c:\\a/b", 0, "c:\\a"},
        {"\\\\srv\\share\\dir\\f.txt", 0, "\\\\srv\\share\\dir"},
        {"\\\\srv\\share\\dir\\f.txt", 1, "\\\\srv\\shar"},
        {"\\\\srv\\share\\dir\\f.txt", 2, "\\\\srv\\share"},
        {"sub\\f.txt", 0, "{cwd}\\sub"},
        {"f.txt", 0, "{cwd}"},
        {"1:\\x", 0, ""},
        {"\\\\srv", 0, ""},
        {"", 0, ""},
    };
    for (Case const& c : cases) {
        std::string const name = Expand(c.name);
        EXPECT_EQ(Bytes(Make(name).Directory(c.levels)), Expand(c.directory)) << name << " levels " << c.levels;
    }

    struct NameCase {
        std::string name;
        std::string file;
    };
    NameCase const names[] = {
        {"c:\\f.txt", "f.txt"},
        {"c:\\a\\b\\f.txt", "f.txt"},
        {"\\\\srv\\share\\f.txt", "f.txt"},
        {"c:\\a\\b\\", ""},
        {"c:\\a/b", "b"},
        {"x.txt", "x.txt"},
        {"sub/x.txt", "x.txt"},
        {"1:\\x", ""},
        {"", ""},
    };
    for (NameCase const& c : names) EXPECT_EQ(Bytes(Make(c.name).FileName()), c.file) << c.name;
}

TEST_F(PathTest, AddPath) {
    struct Case {
        std::string base;
        std::string path;
        std::string joined;
    };
    Case const cases[] = {
        {"c:\\a", "b", "c:\\a\\b"},
        {"c:\\a\\", "b", "c:\\a\\b"},
        {"c:\\a/", "b", "c:\\a/b"},
        {"rel", "b", "rel\\b"},  // not made full
        {"", "b", "\\b"},
        {"c:\\a", "d:\\x", "d:\\x"},
        {"c:\\a", "\\x", "{d}:\\x"},
        {"c:\\a", "{d}:x", "{cwd}\\x"},
        {"c:\\a", "", "c:\\a"},
        {"rel", "", "{cwd}\\rel"},
        {"", "", ""},
        {"a\0b"s, "c", "a\0b\\c"s},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(Bytes(Make(Expand(c.base)).AddPath(Make(Expand(c.path)))), Expand(c.joined))
            << c.base << " + " << c.path;
    }
}

TEST_F(PathTest, ReducePath) {
    std::string const parent = m_cwd.substr(0, m_cwd.rfind('\\'));
    struct Case {
        std::string name;
        std::string reduced;
    };
    Case const cases[] = {
        {"c:\\a\\b\\..\\c", "c:\\a\\c"},
        {"c:\\a\\.\\b", "c:\\a\\b"},
        {"c:\\a\\.", "c:\\a"},
        {"c:\\a\\..", "c:\\"},
        {"c:\\a/b/../c", "c:\\a/c"},
        {"c:\\.hidden", "c:hidden"},
        {"c:\\a\\b\\..\\..\\c", "c:\\c"},
        {"c:\\a\\b\\c", "c:\\a\\b\\c"},
        // ".." directly below the root stays at the root.
        {"c:\\..\\x", "c:\\x"},
        {"c:\\..", "c:\\"},
        {"c:\\a\\..\\..\\..\\b", "c:\\b"},
        {"\\\\srv\\share\\a\\..\\x", "\\\\srv\\share\\x"},
        {"\\\\srv\\share\\a\\..\\..\\x", "\\\\srv\\share\\x"},
        {"a\\..\\b", "{cwd}\\b"},
        {".\\b", "{cwd}\\b"},
        {"..", parent + "\\"},  // the separator before the dropped folder stays
        {"", "\\"},
        {"1:\\x", "\\"},
        {"\\\\srv", "\\"},
    };
    for (Case const& c : cases) {
        std::string const name = Expand(c.name);
        EXPECT_EQ(Bytes(Make(name).ReducePath()), Expand(c.reduced)) << name;
    }
}

TEST_F(PathTest, SetExtension) {
    struct Case {
        std::string name;
        char const* extension;
        std::string result;
    };
    Case const cases[] = {
        {"c:\\d\\a.tar.gz", "zip", "c:\\d\\a.zip"},
        {"c:\\d\\a", "txt", "c:\\d\\a.txt"},
        {"c:\\d\\a.txt", "", "c:\\d\\a."},
        {"c:\\d\\a.txt", nullptr, "c:\\d\\a."},
        {"", "txt", ".txt"},
        {"c:\\d.x\\a", "txt", "c:\\d.x\\a.txt"},  // a dot in a folder is no extension
        {"x.txt", "zip", "x.zip"},                  // relative names stay relative
        {"sub\\.profile", "bak", "sub\\.bak"},
        {"c:\\d\\", "txt", "c:\\d\\.txt"},
    };
    for (Case const& c : cases)
        EXPECT_EQ(Bytes(Make(c.name).SetExtension(c.extension)), c.result) << c.name;
}

// Every member reads the directory as it is at the call.
TEST_F(PathTest, FollowsDirectoryChanges) {
    fs::create_directories(m_work / "Inner");
    BinChar const name("f.txt");
    int root = 0;
    EXPECT_EQ(Bytes(name.FullFileName(root)), m_cwd + "\\f.txt");
    fs::current_path(m_work / "Inner");
    EXPECT_EQ(Bytes(name.FullFileName(root)), m_cwd + "\\inner\\f.txt");
    EXPECT_EQ(Bytes(name.Directory(0)), m_cwd + "\\inner");
}

// With the current directory at a drive's root the joined name carries two
// backslashes in a row: full names are not normalised.
TEST_F(PathTest, RootDirectory) {
    fs::current_path(kWindows ? fs::path("C:\\") : fs::path("/"));
    int root = 0;
    BinChar const full = BinChar("x.txt").FullFileName(root);
    EXPECT_EQ(Bytes(full), kWindows ? "c:\\\\x.txt" : "z:\\\\x.txt");
    EXPECT_EQ(root, 3);
    EXPECT_EQ(Bytes(BinChar("x.txt").Directory(0)), kWindows ? "c:\\" : "z:\\");
    EXPECT_EQ(Bytes(BinChar("x.txt").FileName()), "x.txt");
    EXPECT_EQ(Bytes(BinChar("x.txt").ReducePath()), kWindows ? "c:\\\\x.txt" : "z:\\\\x.txt");
}

// A current directory longer than any fixed buffer is read whole.  Windows
// reports the current directory through its ANSI interface only up to
// MAX_PATH (260 bytes), well below any buffer size in question, and Wine
// lets a process enter longer ones but then trips over them; so this runs
// on POSIX only.
TEST_F(PathTest, LongCurrentDirectory) {
    if (kWindows) GTEST_SKIP() << "the ANSI current directory of Windows ends at MAX_PATH";
    fs::path deep = m_work;
    std::string expected = m_cwd;
    for (int i = 0; i < 12; ++i) {
        std::string const part = "Level" + std::to_string(i) + std::string(100, 'D');
        deep /= part;
        expected += "\\level" + std::to_string(i) + std::string(100, 'd');
    }
    fs::create_directories(deep);
    fs::current_path(deep);
    ASSERT_GT(expected.size(), 1100u);
    int root = 0;
    EXPECT_EQ(Bytes(BinChar("x.txt").FullFileName(root)), expected + "\\x.txt");
    EXPECT_EQ(Bytes(BinChar("x.txt").Directory(0)), expected);
    EXPECT_EQ(Bytes(BinChar("..\\x.txt").ReducePath()), expected.substr(0, expected.rfind('\\')) + "\\x.txt");
}

// A directory that can no longer be read counts as empty.  Only POSIX lets a
// process stand in a directory that was removed.
TEST_F(PathTest, UnreadableDirectoryReadsAsEmpty) {
    if (kWindows) GTEST_SKIP() << "Windows keeps the current directory from being removed";
    fs::path const gone = m_work / "Gone";
    fs::create_directories(gone);
    fs::current_path(gone);
    fs::remove(gone);
    int root = 0;
    EXPECT_EQ(Bytes(BinChar("x.txt").FullFileName(root)), "\\x.txt");
    EXPECT_EQ(root, 3);
    EXPECT_EQ(Bytes(BinChar("\\x.txt").FullFileName(root)), "\\x.txt");
    EXPECT_EQ(Bytes(BinChar("c:x.txt").FullFileName(root)), "c:\\x.txt");
    EXPECT_EQ(Bytes(BinChar("c:\\a\\f").Directory(0)), "c:\\a");
}

}  // namespace
