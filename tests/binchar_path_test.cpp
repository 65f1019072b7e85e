// BinChar path members against a real current directory.
//
// Windows: the tests create and enter C:\Work, so the names read as the
// library's users see them ("c:\work\x.txt").  POSIX: they enter a fresh
// "Work" folder under the temporary directory, which the library reads on
// drive "z:" with "\" separators and lower-cased (/tmp/t/Work ->
// "z:\tmp\t\work").  Cases are written with placeholders for the current
// directory ({cwd}) and its drive letter ({d}, upper case {D}) so that one
// table serves both.
#include <zelk/binchar.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

std::string Bytes(BinChar const& s) {
    return std::string(static_cast<char const*>(s), static_cast<std::size_t>(s.len()));
}

BinChar Make(std::string const& bytes) { return BinChar(bytes.data(), static_cast<int>(bytes.size())); }

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

class PathTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = fs::current_path();
        if (!kWindows)
            m_base = fs::temp_directory_path() / ("zelk_path_test_" + std::to_string(std::random_device{}()));
        m_work = kWindows ? fs::path("C:\\Work") : m_base / "Work";
        fs::create_directories(m_work);
        fs::current_path(m_work);
        // The name under which the library reads it: lower-cased, and on
        // POSIX on drive "z:" with "\" between components.
        m_cwd = (kWindows ? "" : "z:") + fs::current_path().string();
        for (char& c : m_cwd) c = c == '/' ? '\\' : static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        ASSERT_TRUE(!kWindows || m_cwd == "c:\\work") << m_cwd;
    }

    void TearDown() override {
        fs::current_path(m_saved);
        std::error_code ignored;
        if (!m_base.empty()) fs::remove_all(m_base, ignored);
    }

    std::string Expand(std::string text) const {
        std::string const d = m_cwd.substr(0, 1), D(1, static_cast<char>(d[0] - ('a' - 'A')));
        for (auto const& [name, value] : {std::pair{"{cwd}"s, m_cwd}, std::pair{"{d}"s, d}, std::pair{"{D}"s, D}})
            for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size()))
                text.replace(at, name.size(), value);
        return text;
    }

    fs::path m_saved, m_base /* removed after the test (POSIX only) */, m_work;
    std::string m_cwd;
};

TEST_F(PathTest, FullFileName) {
    // clang-format off
    struct Case { std::string name, full; int root; };
    Case const cases[] = {
        {"x.txt", "{cwd}\\x.txt", 3},              {"\\x.txt", "{d}:\\x.txt", 3},
        {"{d}:x.txt", "{cwd}\\x.txt", 3},
        {"{D}:x.txt", "{D}:\\x.txt", 3},  // the upper-case letter never equals the lowered directory
        {"d:x.txt", "d:\\x.txt", 3},               {"D:/A/x.txt", "D:/A/x.txt", 3},
        {"{d}:", "{cwd}\\", 3},                    {"1:\\x", "", 3},                    {"", "", 0},
        {"sub\\..\\.\\F", "{cwd}\\sub\\..\\.\\F", 3},  // neither normalised nor lower-cased
        {"\\\\srv\\share\\dir\\f.txt", "\\\\srv\\share\\dir\\f.txt", 12},
        {"\\\\server\\share\\", "\\\\server\\share\\", 15},
        {"\\\\srv", "", 0},                        {"\\\\srv\\share", "", 0},
        {"a\0b"s, "{cwd}\\a\0b"s, 3},  // zero bytes are carried along
    };
    // clang-format on
    for (Case const& c : cases) {
        std::string const name = Expand(c.name);
        int root = -1;
        EXPECT_EQ(Bytes(Make(name).FullFileName(root)), Expand(c.full)) << name;
        EXPECT_EQ(root, c.root) << name;
    }
}

// Directory (with its level count), FileName, AddPath, ReducePath and
// SetExtension: one row per boundary.
TEST_F(PathTest, DirectoryFileNameAddReduceAndExtension) {
    std::string const parent = m_cwd.substr(0, m_cwd.rfind('\\'));
    enum Op { kDir0, kDir1, kDir2, kDir3, kDir9, kFile, kAdd, kReduce, kExt };
    // clang-format off
    struct Case { Op op; std::string name, argument, expected; };
    Case const cases[] = {
        {kDir0, "c:\\a\\b\\f.txt", "", "c:\\a\\b"},  {kDir1, "c:\\a\\b\\f.txt", "", "c"},
        {kDir2, "c:\\a\\b\\f.txt", "", "c:"},       {kDir3, "c:\\a\\b\\f.txt", "", "c:\\a"},
        {kDir9, "c:\\a\\b\\f.txt", "", "c:\\a\\b"},  {kDir0, "c:\\a\\b\\", "", "c:\\a\\b"},
        {kDir0, "c:\\a/b", "", "c:\\a"},
        {kDir0, "c:\\a/b\\c", "", "c:\\a/b"},  // a slash is no cut point while a backslash follows
        {kDir1, "\\\\srv\\share\\dir\\f.txt", "", "\\\\srv\\shar"},
        {kDir0, "sub\\f.txt", "", "{cwd}\\sub"},     {kDir0, "1:\\x", "", ""},
        {kFile, "c:\\f.txt", "", "f.txt"},          {kFile, "\\\\srv\\share\\f.txt", "", "f.txt"},
        {kFile, "c:\\a\\b\\", "", ""},            {kFile, "c:\\a/b", "", "b"},  {kFile, "1:\\x", "", ""},
        {kAdd, "c:\\a", "b", "c:\\a\\b"},        {kAdd, "c:\\a\\", "b", "c:\\a\\b"},
        {kAdd, "rel", "b", "rel\\b"},             {kAdd, "", "b", "\\b"},       {kAdd, "c:\\a", "d:\\x", "d:\\x"},
        {kAdd, "c:\\a", "\\x", "{d}:\\x"},      {kAdd, "c:\\a", "{d}:x", "{cwd}\\x"},
        {kAdd, "rel", "", "{cwd}\\rel"},         {kAdd, "a\0b"s, "c", "a\0b\\c"s},
        {kReduce, "c:\\a\\b\\..\\c", "", "c:\\a\\c"}, {kReduce, "c:\\a\\.\\b\\.\\c", "", "c:\\a\\b\\c"},
        {kReduce, "c:\\a\\.", "", "c:\\a"},       {kReduce, "c:\\a\\..", "", "c:\\"},
        {kReduce, "c:\\a/b/../c", "", "c:\\a/c"}, {kReduce, "c:\\.hidden", "", "c:hidden"},
        {kReduce, "a\\..\\b", "", "{cwd}\\b"},    {kReduce, "", "", "\\"},   {kReduce, "1:\\x", "", "\\"},
        // ".." directly below the root stays at the root; dots inside a name are no step.
        {kReduce, "c:\\..\\x", "", "c:\\x"}, {kReduce, "c:\\a..b\\c", "", "c:\\a..b\\c"},
        {kReduce, "\\\\srv\\share\\a\\..\\..\\x", "", "\\\\srv\\share\\x"},
        {kReduce, "..", "", parent + "\\"},  // the separator before the dropped folder stays
        {kExt, "c:\\d\\a.tar.gz", "zip", "c:\\d\\a.zip"}, {kExt, "c:\\d\\a", "txt", "c:\\d\\a.txt"},
        {kExt, "c:\\d\\a.txt", "", "c:\\d\\a."},     {kExt, "", "txt", ".txt"},
        {kExt, "c:\\d.x\\a", "txt", "c:\\d.x\\a.txt"},  // a dot in a folder is no extension
    };
    // clang-format on
    int const levels[] = {0, 1, 2, 3, 9};
    for (Case const& c : cases) {
        BinChar const name = Make(Expand(c.name));
        BinChar const result = c.op <= kDir9     ? name.Directory(levels[c.op])
                               : c.op == kFile   ? name.FileName()
                               : c.op == kAdd    ? name.AddPath(Make(Expand(c.argument)))
                               : c.op == kReduce ? name.ReducePath()
                                                 : name.SetExtension(c.argument.c_str());
        EXPECT_EQ(Bytes(result), Expand(c.expected)) << "op " << c.op << ": " << c.name << " | " << c.argument;
    }
    EXPECT_EQ(Bytes(BinChar("c:\\d\\a.txt").SetExtension(nullptr)), "c:\\d\\a.");
}

// Each call reads the directory as it is then; at a drive's root the joined
// name carries two backslashes in a row (full names are not normalised).
// On POSIX also: a current directory longer than any fixed buffer is read
// whole, and one that can no longer be read counts as empty (Windows reports
// the directory through its ANSI interface only up to MAX_PATH, and keeps
// the current directory from removal).
TEST_F(PathTest, ReadsTheCurrentDirectoryAtEachCall) {
    fs::create_directories(m_work / "AInnerZ");  // both ends of A-Z are lowered
    fs::current_path(m_work / "AInnerZ");
    int root = 0;
    EXPECT_EQ(Bytes(BinChar("f.txt").FullFileName(root)), m_cwd + "\\ainnerz\\f.txt");
    fs::current_path(kWindows ? fs::path("C:\\") : fs::path("/"));
    std::string const drive = kWindows ? "c:\\" : "z:\\";
    EXPECT_EQ(Bytes(BinChar("x.txt").FullFileName(root)), drive + "\\x.txt");
    EXPECT_EQ(Bytes(BinChar("x.txt").Directory(0)), drive);
    if (kWindows) return;

    fs::path deep = m_work;
    std::string expected = m_cwd;
    for (int i = 0; i < 12; ++i) {
        deep /= "Level" + std::to_string(i) + std::string(100, 'D');
        expected += "\\level" + std::to_string(i) + std::string(100, 'd');
    }
    fs::create_directories(deep);
    fs::current_path(deep);
    EXPECT_EQ(Bytes(BinChar("x.txt").FullFileName(root)), expected + "\\x.txt");
    fs::remove(deep);
    EXPECT_EQ(Bytes(BinChar("x.txt").FullFileName(root)), "\\x.txt");
    EXPECT_EQ(Bytes(BinChar("c:x.txt").FullFileName(root)), "c:\\x.txt");
}

}  // namespace
