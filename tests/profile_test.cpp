// The private-profile lookup, as one table that both backends pass
// unchanged: the Win32 build asks the system (Wine in our test runs), the
// POSIX build our own reader, so each row pins the POSIX reader to what the
// system does.
#include "temp_files.h"

#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using namespace std::string_literals;

struct Case {
    char const* name;
    std::string content;
    char const *section, *key, *defaultText;
    unsigned long size, result;
    std::string text;
};

Case const kCases[] = {
    // Line ends and the end of the file.
    {"crlf", "[S]\r\nk=v\r\n", "S", "k", "", 100, 1, "v"},
    {"cr alone ends a line", "[S]\rk=v\rj=w\r", "S", "j", "d", 100, 1, "w"},
    {"cr inside a value ends it", "[S]\nk=a\rb\n", "S", "k", "d", 100, 1, "a"},
    {"no final newline", "[S]\nk=v", "S", "k", "", 100, 1, "v"},
    {"empty file", "", "S", "k", "d", 100, 1, "d"},
    // No comments: ';' and '#' lines are keys like any other.
    {"semicolon line is key ;k", "[S]\n;k=v\n", "S", ";k", "", 100, 1, "v"},
    {"no inline comments", "[S]\nk=v ; c\n", "S", "k", "", 100, 5, "v ; c"},
    // White space around names and values.
    {"spaces around key and value", "[S]\n  k  =  v  \n", "S", "k", "", 100, 1, "v"},
    {"vt and ff are white space", "[S]\nk=\v\fv\v\f\n", "S", "k", "", 100, 1, "v"},
    {"0xA0 is not white space", "[S]\nk=\xA0v\xA0\n", "S", "k", "", 100, 3, "\xA0v\xA0"},
    {"asked section is trimmed", "[ S ]\nk=v\n", " S ", "k", "", 100, 1, "v"},
    {"inner spaces of a key count", "[S]\na b=c\n", "S", "a b", "", 100, 1, "c"},
    // Quotes.
    {"double quotes go", "[S]\nk=\"v w\"\n", "S", "k", "", 100, 3, "v w"},
    {"unclosed quote stays", "[S]\nk=\"v\n", "S", "k", "", 100, 2, "\"v"},
    {"outer quotes of several", "[S]\nk = \"x\" y \" \n", "S", "k", "", 100, 5, "x\" y "},
    {"quoted, buffer 7 cuts one more", "[S]\nk=\"abcdef\"\n", "S", "k", "", 7, 5, "abcde"},
    // Case of names.
    {"case of section and key", "[sEc]\nKeY=v\n", "SeC", "kEy", "", 100, 1, "v"},
    // Duplicates: the first section and the first key win.
    {"second section is dead", "[S]\nk=1\n[T]\nx=1\n[S]\nk=2\nj=3\n", "S", "j", "", 100, 0, ""},
    {"first key wins", "[S]\nk=1\nk=2\n", "S", "k", "", 100, 1, "1"},
    // Buffer sizes.
    {"value longer than buffer", "[S]\nk=abcdefghij\n", "S", "k", "", 4, 3, "abc"},
    {"buffer of 1", "[S]\nk=abc\n", "S", "k", "", 1, 0, ""},
    {"very long line", "[S]\nk=" + std::string(100000, 'y') + "\n", "S", "k", "", 10, 9, "yyyyyyyyy"},
    // Empty values and missing things give the default.
    {"empty value, not the default", "[S]\nk=\n", "S", "k", "dflt", 100, 0, ""},
    {"missing section", "[S]\nk=v\n", "T", "k", "dflt", 100, 4, "dflt"},
    {"default loses trailing spaces", "[S]\nk=v\n", "S", "j", "dflt  ", 100, 4, "dflt"},
    {"default is cut too", "[S]\nk=v\n", "S", "j", "abcdefgh", 4, 3, "abc"},
    {"key without '='", "[S]\nk\n", "S", "k", "dflt", 100, 4, "dflt"},
    // Odd lines.
    {"value holds '='", "[S]\nk=a=b\n", "S", "k", "", 100, 3, "a=b"},
    {"empty key", "[S]\n=v\n", "S", "", "d", 100, 1, "v"},
    {"keys before any section", "k=v\n[S]\nj=w\n", "", "k", "d", 100, 1, "v"},
    {"[] ends the section before", "[S]\nk=1\n[]\nj=2\n", "S", "j", "d", 100, 1, "d"},
    {"key after ] is ignored", "[S]k=v\n", "S", "k", "d", 100, 1, "d"},
    {"section name up to the last ]", "[a]b]\nk=v\n", "a]b", "k", "d", 100, 1, "v"},
    {"unclosed [ opens nothing", "[S\nk=v\n", "S", "k", "d", 100, 1, "d"},
    {"Ctrl-Z is an ordinary byte", "[S]\nk=v\x1A\nj=w\n", "S", "j", "d", 100, 1, "w"},
    // Zero bytes end names and values where they stand.
    {"zero inside a value", "[S]\nk=a\0b\nj=c\n"s, "S", "k", "", 100, 1, "a"},
    {"zero after a key's space", "[S]\nk \0x=v\n"s, "S", "k", "d", 100, 1, "d"},
    // Bytes and byte-order marks.
    {"bytes above 0x7F pass", "[S]\nk=\x80\x81\x8d\x90\xff\n", "S", "k", "", 100, 5, "\x80\x81\x8d\x90\xff"},
    {"UTF-8 mark, text in the code page", "\xEF\xBB\xBF[S]\nk=\xC3\xA4\xE2\x82\xAC\n", "S", "k", "", 100, 2, "\xE4\x80"},
    {"UTF-8 mark, text outside it", "\xEF\xBB\xBF[S]\nk=\xE4\xB8\x80z\n", "S", "k", "", 100, 2, "?z"},
    {"second mark is text", "\xEF\xBB\xBF\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "d", 100, 1, "d"},
    {"UTF-16LE", "\xFF\xFE[\0S\0]\0\n\0k\0=\0v\0\n\0"s, "S", "k", "", 100, 1, "v"},
    {"UTF-16LE outside ASCII", "\xFF\xFE[\0S\0]\0\n\0k\0=\0\xAC\x20\x00\x4E\n\0"s, "S", "k", "", 100, 2, "\x80?"},
    {"UTF-16BE", "\xFE\xFF\0[\0S\0]\0\n\0k\0=\0v\0\n"s, "S", "k", "", 100, 1, "v"},
};

std::string Read(std::string const& name) {  // S/k, or "gone"
    char buffer[32];
    zelk::os::GetProfileText(name.c_str(), "S", "k", "gone", buffer, sizeof buffer);
    return buffer;
}

TEST(ProfileTable, EveryRowGivesTheSystemsAnswer) {
    zelk::test::TempDir const dir("zelk-profile");
    std::string const file = dir.File("table.ini");
    for (Case const& c : kCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(zelk::test::WriteFile(file, c.content));
        std::string buffer(c.size + 16, '#');
        EXPECT_EQ(zelk::os::GetProfileText(file.c_str(), c.section, c.key, c.defaultText, buffer.data(), c.size), c.result);
        EXPECT_EQ(std::string(buffer.c_str()), c.text);
        EXPECT_EQ(buffer.find_first_not_of('#', c.size), std::string::npos);  // nothing written past the buffer
    }
    // A missing file or a directory gives the default; a null name gives no text;
    // size 0 leaves the buffer alone.
    std::string const absent = dir.File("absent.ini"), folder = dir.Path().string();
    struct {
        std::string const& file;
        char const *section, *key;
        unsigned long result;
        char const* text;
    } const rows[] = {{absent, "S", "k", 4, "dflt"}, {folder, "S", "k", 4, "dflt"}, {file, nullptr, "k", 0, ""},
                      {file, "S", nullptr, 0, ""}};
    for (auto const& row : rows) {
        char buffer[16] = "junk";
        EXPECT_EQ(zelk::os::GetProfileText(row.file.c_str(), row.section, row.key, "dflt", buffer, sizeof buffer), row.result);
        EXPECT_STREQ(buffer, row.text);
    }
    char buffer[1] = {'#'};
    EXPECT_EQ(zelk::os::GetProfileText(file.c_str(), "S", "k", "", buffer, 0), 0u);
    EXPECT_EQ(buffer[0], '#');
}

// A file replaced on disk or rewritten in place serves the very next lookup;
// many files in turn each answer from their own content.
TEST(ProfileTable, ChangedAndManyFilesServeTheirOwnContent) {
    zelk::test::TempDir const dir("zelk-profile");
    std::string const file = dir.File("table.ini");
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=one\n"));
    EXPECT_EQ(Read(file), "one");
    ASSERT_TRUE(zelk::test::ReplaceFile(file, "[S]\nk=two\n"));
    EXPECT_EQ(Read(file), "two");
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=six\n"));  // same size, same inode, written at once
    EXPECT_EQ(Read(file), "six");
    std::filesystem::remove(file);
    EXPECT_EQ(Read(file), "gone");
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(zelk::test::WriteFile(dir.File(std::to_string(i)), "[S]\nk=" + std::to_string(i * 7)));
    }
    for (int i = 0; i < 40; ++i) EXPECT_EQ(Read(dir.File(std::to_string(i % 20))), std::to_string(i % 20 * 7));
}

}  // namespace
