// The private-profile lookup, as one table that both backends pass
// unchanged: the Win32 build asks the system (Wine in our test runs), the
// POSIX build our own reader, so each row pins the POSIX reader to what the
// system does.
#include "temp_files.h"

#include "platform/profile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace std::string_literals;

struct Case {
    char const* name;
    std::string content;
    char const* section;
    char const* key;
    char const* defaultText;
    unsigned long size;
    unsigned long result;
    std::string text;
};

std::string const kBig(5000, 'x');

Case const kCases[] = {
    // Line ends and the end of the file.
    {"crlf", "[S]\r\nk=v\r\n", "S", "k", "", 100, 1, "v"},
    {"cr alone ends a line", "[S]\rk=v\rj=w\r", "S", "j", "d", 100, 1, "w"},
    {"cr inside a value ends it", "[S]\nk=a\rb\n", "S", "k", "d", 100, 1, "a"},
    {"cr cr lf", "[S]\r\r\nk=v\r\r\n", "S", "k", "d", 100, 1, "v"},
    {"no final newline", "[S]\nk=v", "S", "k", "", 100, 1, "v"},
    {"blank and white lines", "\n\n[S]\n\n   \n\t\nk=v\n\n", "S", "k", "", 100, 1, "v"},
    {"empty file", "", "S", "k", "d", 100, 1, "d"},
    // No comments: ';' and '#' lines are keys like any other.
    {"semicolon line is not k", "[S]\n;k=v\n", "S", "k", "", 100, 0, ""},
    {"semicolon line is key ;k", "[S]\n;k=v\n", "S", ";k", "", 100, 1, "v"},
    {"indented semicolon key", "[S]\n  ;k=v\n", "S", ";k", "d", 100, 1, "v"},
    {"hash line is key #k", "[S]\n#k=v\n", "S", "#k", "", 100, 1, "v"},
    {"no inline comments", "[S]\nk=v ; c\n", "S", "k", "", 100, 5, "v ; c"},
    // White space around names and values.
    {"spaces around key and value", "[S]\n  k  =  v  \n", "S", "k", "", 100, 1, "v"},
    {"tabs around key and value", "[S]\n\tk\t=\tv\t\n", "S", "k", "", 100, 1, "v"},
    {"vt and ff are white space", "[S]\nk=\v\fv\v\f\n", "S", "k", "", 100, 1, "v"},
    {"0xA0 is not white space", "[S]\nk=\xA0v\xA0\n", "S", "k", "", 100, 3, "\xA0v\xA0"},
    {"0x1F is not white space", "[S]\nk=\x1Fv\x1F\n", "S", "k", "", 100, 3, "\x1Fv\x1F"},
    {"spaces inside a section name", "[ S ]\nk=v\n", "S", "k", "", 100, 1, "v"},
    {"asked section is trimmed", "[ S ]\nk=v\n", " S ", "k", "", 100, 1, "v"},
    {"indented section line", "  [S]  \nk=v\n", "S", "k", "", 100, 1, "v"},
    {"asked key is trimmed", "[S]\nk=v\n", " S", " k ", "d", 100, 1, "v"},
    {"inner spaces of a key count", "[S]\na b=c\n", "S", "a b", "", 100, 1, "c"},
    {"two inner spaces differ from one", "[S]\na  b=c\n", "S", "a b", "d", 100, 1, "d"},
    {"inner spaces of a section count", "[a b]\nk=v\n", "a b", "k", "d", 100, 1, "v"},
    // Quotes.
    {"double quotes go", "[S]\nk=\"v w\"\n", "S", "k", "", 100, 3, "v w"},
    {"single quotes go", "[S]\nk='v w'\n", "S", "k", "", 100, 3, "v w"},
    {"spaces inside quotes stay", "[S]\nk= \" v \" \n", "S", "k", "", 100, 3, " v "},
    {"only spaces inside quotes", "[S]\nk=  \"  \"  \n", "S", "k", "", 100, 2, "  "},
    {"unclosed quote stays", "[S]\nk=\"v\n", "S", "k", "", 100, 2, "\"v"},
    {"mixed quotes stay", "[S]\nk=\"v'\n", "S", "k", "", 100, 3, "\"v'"},
    {"empty quotes", "[S]\nk=\"\"\n", "S", "k", "", 100, 0, ""},
    {"a lone quote", "[S]\nk=\"\n", "S", "k", "", 100, 1, "\""},
    {"quotes inside", "[S]\nk=a\"b\"\n", "S", "k", "", 100, 4, "a\"b\""},
    {"outer quotes of several", "[S]\nk = \"x\" y \" \n", "S", "k", "", 100, 5, "x\" y "},
    {"nested quotes", "[S]\nk=\"'a'\"\n", "S", "k", "", 100, 3, "'a'"},
    {"quoted, buffer 6", "[S]\nk=\"abcdef\"\n", "S", "k", "", 6, 5, "abcde"},
    {"quoted, buffer 7 cuts one more", "[S]\nk=\"abcdef\"\n", "S", "k", "", 7, 5, "abcde"},
    {"quoted, buffer 8", "[S]\nk=\"abcdef\"\n", "S", "k", "", 8, 6, "abcdef"},
    {"single quoted, buffer 3", "[S]\nk='ab'\n", "S", "k", "", 3, 1, "a"},
    // Case of names.
    {"case of section and key", "[sEc]\nKeY=v\n", "SeC", "kEy", "", 100, 1, "v"},
    // Duplicates: the first section and the first key win.
    {"second section is dead", "[S]\nk=1\n[T]\nx=1\n[S]\nk=2\nj=3\n", "S", "j", "", 100, 0, ""},
    {"first section wins", "[S]\nk=1\n[T]\nx=1\n[S]\nk=2\nj=3\n", "S", "k", "", 100, 1, "1"},
    {"first key wins", "[S]\nk=1\nk=2\n", "S", "k", "", 100, 1, "1"},
    {"first empty key wins", "[S]\nk=\nk=v\n", "S", "k", "d", 100, 0, ""},
    {"first key without value wins", "[S]\nk\nk=v\n", "S", "k", "d", 100, 1, "d"},
    // Buffer sizes.
    {"value longer than buffer", "[S]\nk=abcdefghij\n", "S", "k", "", 4, 3, "abc"},
    {"value just fits", "[S]\nk=abc\n", "S", "k", "", 4, 3, "abc"},
    {"buffer of 1", "[S]\nk=abc\n", "S", "k", "", 1, 0, ""},
    {"buffer of 2", "[S]\nk=abc\n", "S", "k", "", 2, 1, "a"},
    {"long value", "[S]\nk=" + kBig + "\n", "S", "k", "", 6000, 5000, kBig},
    {"very long line", "[S]\nk=" + std::string(100000, 'y') + "\n", "S", "k", "", 10, 9, "yyyyyyyyy"},
    // Empty values and missing things give the default.
    {"empty value, not the default", "[S]\nk=\n", "S", "k", "dflt", 100, 0, ""},
    {"white value", "[S]\nk=   \n", "S", "k", "", 100, 0, ""},
    {"missing section", "[S]\nk=v\n", "T", "k", "dflt", 100, 4, "dflt"},
    {"missing key", "[S]\nk=v\n", "S", "j", "dflt", 100, 4, "dflt"},
    {"default loses trailing spaces", "[S]\nk=v\n", "S", "j", "dflt  ", 100, 4, "dflt"},
    {"default keeps leading spaces", "[S]\nk=v\n", "S", "j", "  dflt", 100, 6, "  dflt"},
    {"default keeps a trailing tab", "[S]\nk=v\n", "S", "j", "dflt\t", 100, 5, "dflt\t"},
    {"default is cut too", "[S]\nk=v\n", "S", "j", "abcdefgh", 4, 3, "abc"},
    {"key without '='", "[S]\nk\n", "S", "k", "dflt", 100, 4, "dflt"},
    {"key after a bare key", "[S]\nk\nj=v\n", "S", "j", "dflt", 100, 1, "v"},
    // Odd lines.
    {"value holds '='", "[S]\nk=a=b\n", "S", "k", "", 100, 3, "a=b"},
    {"empty key", "[S]\n=v\n", "S", "", "d", 100, 1, "v"},
    {"key '=' under empty name", "[S]\n==v\n", "S", "", "d", 100, 2, "=v"},
    {"keys before any section", "k=v\n[S]\nj=w\n", "", "k", "d", 100, 1, "v"},
    {"sections do not see them", "j=1\n[S]\nk=v\n", "S", "j", "d", 100, 1, "d"},
    {"[] is never found", "[]\nj=2\n", "", "j", "d", 100, 1, "d"},
    {"[ ] is never found", "[ ]\nk=v\n", " ", "k", "d", 100, 1, "d"},
    {"[] ends the section before", "[S]\nk=1\n[]\nj=2\n", "S", "j", "d", 100, 1, "d"},
    {"text after ] is ignored", "[S] junk\nk=v\n", "S", "k", "", 100, 1, "v"},
    {"key after ] is ignored", "[S]k=v\n", "S", "k", "d", 100, 1, "d"},
    {"section name up to the last ]", "[a]b]\nk=v\n", "a]b", "k", "d", 100, 1, "v"},
    {"not up to the first ]", "[a]b]\nk=v\n", "a", "k", "d", 100, 1, "d"},
    {"[T]=x opens section T", "[S]\n[T]=x\n", "S", "[T]", "d", 100, 1, "d"},
    {"unclosed [ is a key line", "[S]\n[x=1\n", "S", "[x", "d", 100, 1, "1"},
    {"unclosed [ opens nothing", "[S\nk=v\n", "S", "k", "d", 100, 1, "d"},
    {"keys after it stay put", "[S\nk=v\n", "", "k", "d", 100, 1, "v"},
    {"a lone [", "[\nk=v\n", "", "k", "d", 100, 1, "v"},
    {"control byte in a key", "[S]\nk\x01=v\n", "S", "k\x01", "d", 100, 1, "v"},
    {"Ctrl-Z is an ordinary byte", "[S]\nk=v\x1A\nj=w\n", "S", "j", "d", 100, 1, "w"},
    // Zero bytes end names and values where they stand.
    {"zero inside a value", "[S]\nk=a\0b\nj=c\n"s, "S", "k", "", 100, 1, "a"},
    {"lines after a zero", "[S]\nk=a\0b\nj=c\n"s, "S", "j", "", 100, 1, "c"},
    {"zero inside a section name", "[S\0x]\nk=v\n"s, "S", "k", "d", 100, 1, "v"},
    {"zero inside a key", "[S]\nk\0x=v\n"s, "S", "k", "d", 100, 1, "v"},
    {"zero after a key's space", "[S]\nk \0x=v\n"s, "S", "k", "d", 100, 1, "d"},
    // Bytes and byte-order marks.
    {"bytes above 0x7F pass", "[S]\nk=\x80\x81\x8d\x90\xff\n", "S", "k", "", 100, 5, "\x80\x81\x8d\x90\xff"},
    {"UTF-8 without a mark passes as bytes", "[S]\nk=\xC3\xA4\n", "S", "k", "", 100, 2, "\xC3\xA4"},
    {"UTF-8 mark", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "", 100, 1, "v"},
    {"UTF-8 mark, text in the code page", "\xEF\xBB\xBF[S]\nk=\xC3\xA4\xE2\x82\xAC\n", "S", "k", "", 100, 2, "\xE4\x80"},
    {"UTF-8 mark, text outside it", "\xEF\xBB\xBF[S]\nk=\xE4\xB8\x80z\n", "S", "k", "", 100, 2, "?z"},
    {"UTF-8 mark, broken sequence", "\xEF\xBB\xBF[S]\nk=a\xFF" "b\n", "S", "k", "", 100, 3, "a?b"},
    {"UTF-8 mark only", "\xEF\xBB\xBF", "S", "k", "d", 100, 1, "d"},
    {"second mark is text", "\xEF\xBB\xBF\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "d", 100, 1, "d"},
    {"mark inside is text", "[S]\n\xEF\xBB\xBFk=v\n", "S", "k", "d", 100, 1, "d"},
    {"UTF-16LE", "\xFF\xFE[\0S\0]\0\n\0k\0=\0v\0\n\0"s, "S", "k", "", 100, 1, "v"},
    {"UTF-16LE odd length", "\xFF\xFE[\0S\0]\0\n\0k\0=\0v\0\n"s, "S", "k", "", 100, 1, "v"},
    {"UTF-16LE outside ASCII", "\xFF\xFE[\0S\0]\0\n\0k\0=\0\xAC\x20\x00\x4E\n\0"s, "S", "k", "", 100, 2, "\x80?"},
    {"UTF-16BE", "\xFE\xFF\0[\0S\0]\0\n\0k\0=\0v\0\n"s, "S", "k", "", 100, 1, "v"},
    {"UTF-16 mark only", "\xFF\xFE", "S", "k", "d", 100, 1, "d"},
};

class ProfileTable : public ::testing::Test {
protected:
    zelk::test::TempDir dir{"zelk-profile"};
    std::string const file = dir.File("table.ini");
    // The text for S/k, or "gone" when there is none.
    std::string Read(std::string const& name) const {
        char buffer[32];
        zelk::os::GetProfileText(name.c_str(), "S", "k", "gone", buffer, sizeof buffer);
        return buffer;
    }
};

TEST_F(ProfileTable, EveryRowGivesTheSystemsAnswer) {
    for (Case const& c : kCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(zelk::test::WriteFile(file, c.content));
        std::string buffer(c.size + 16, '#');
        EXPECT_EQ(zelk::os::GetProfileText(file.c_str(), c.section, c.key, c.defaultText, buffer.data(), c.size), c.result);
        EXPECT_EQ(std::string(buffer.c_str()), c.text);
        EXPECT_EQ(buffer.find_first_not_of('#', c.size), std::string::npos);  // nothing written past the buffer
    }
}

// A missing file or a directory gives the default; size 0 leaves the buffer
// alone; a null section or key gives no text at all.
TEST_F(ProfileTable, MissingFilesAndBadArguments) {
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=abc\n"));
    std::string const absent = dir.File("absent.ini"), folder = dir.Path().string();
    struct {
        std::string const& file;
        char const *section, *key, *defaultText;
        unsigned long result;
        char const* text;
    } const rows[] = {
        {absent, "S", "k", "dflt", 4, "dflt"}, {absent, "S", "k", "", 0, ""}, {folder, "S", "k", "d", 1, "d"},
        {file, nullptr, "k", "d", 0, ""},      {file, "S", nullptr, "d", 0, ""},
    };
    for (auto const& row : rows) {
        char buffer[16] = "junk";
        EXPECT_EQ(zelk::os::GetProfileText(row.file.c_str(), row.section, row.key, row.defaultText, buffer, sizeof buffer),
                  row.result);
        EXPECT_STREQ(buffer, row.text);
    }
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(zelk::os::GetProfileText(file.c_str(), "S", "k", "", buffer, 0), 0u);
    EXPECT_EQ(buffer[0], '#');
}

// A file replaced on disk, or rewritten in place, serves the very next lookup;
// with many files in turn each answers from its own content however many are
// kept parsed at once.
TEST_F(ProfileTable, ChangedAndManyFilesServeTheirOwnContent) {
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=one\n"));
    EXPECT_EQ(Read(file), "one");
    ASSERT_TRUE(zelk::test::ReplaceFile(file, "[S]\nk=two\n"));
    EXPECT_EQ(Read(file), "two");
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=six\n"));  // same size, same inode, written at once
    EXPECT_EQ(Read(file), "six");
    std::filesystem::remove(file);
    EXPECT_EQ(Read(file), "gone");
    ASSERT_TRUE(zelk::test::WriteFile(file, "[S]\nk=back\n"));
    EXPECT_EQ(Read(file), "back");
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(zelk::test::WriteFile(dir.File(std::to_string(i)), "[S]\nk=" + std::to_string(i * 7)));
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 20; ++i) EXPECT_EQ(Read(dir.File(std::to_string(i))), std::to_string(i * 7));
    }
}

}  // namespace
