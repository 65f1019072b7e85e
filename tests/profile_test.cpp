// The private-profile lookup, as one table that both backends pass
// unchanged: the Win32 build asks the system (Wine in our test runs), the
// POSIX build our own reader, so each row pins the POSIX reader to what the
// system does, byte for byte (what is written and what is left alone).
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
    char const *section, *key, *defaultText;  // null section or key: a list of names
    unsigned long size, result;
    std::string written;  // every byte written, the closing zero included
};

std::string const kTwo = "[Aa]\nk1=v1\nk2=v2\n[Bb]\nx=1\n";

// clang-format off
Case const kCases[] = {
    // Lines end at CR, LF or CRLF, and at the end of the file.
    {"crlf, no final line end", "[S]\r\nk=v", "S", "k", "", 100, 1, "v\0"s},
    {"cr alone ends a line and a value", "[S]\rk=a\rb\r", "S", "k", "d", 100, 1, "a\0"s},
    {"Ctrl-Z is an ordinary byte", "[S]\nk=v\x1A\nj=w\n", "S", "j", "d", 100, 1, "w\0"s},
    // No comments; a value splits at the first '='.
    {"semicolon line is key ;k", "[S]\n;k=v\n", "S", ";k", "", 100, 1, "v\0"s},
    {"value keeps '=' and ';'", "[S]\nk=a=b ; c\n", "S", "k", "", 100, 7, "a=b ; c\0"s},
    // White space around names and values.
    {"white space trimmed, inner kept", "[S]\n \v a b \f= \t v \f\n", "S", "a b", "", 100, 1, "v\0"s},
    {"0xA0 is not white space", "[S]\nk=\xA0v\xA0\n", "S", "k", "", 100, 3, "\xA0v\xA0\0"s},
    {"asked names are trimmed", "[S]\nk=v\n", " S ", " k ", "", 100, 1, "v\0"s},
    // Quotes.
    {"single quotes go", "[S]\nk='v w'\n", "S", "k", "", 100, 3, "v w\0"s},
    {"unclosed quote stays", "[S]\nk=\"v\n", "S", "k", "", 100, 2, "\"v\0"s},
    {"only the outer quotes go", "[S]\nk = \"x\" y \" \n", "S", "k", "", 100, 5, "x\" y \0"s},
    {"quoted, buffer 7 cuts one more", "[S]\nk=\"abcdef\"\n", "S", "k", "", 7, 5, "abcde\0"s},
    // Names match without case; the first section and the first key win.
    {"case of section and key", "[sEcA]\nKeYz=v\n", "SeCa", "kEyZ", "", 100, 1, "v\0"s},
    {"repeated section is dead", "[S]\nk=1\n[T]\nx=1\n[s]\nk=2\nj=3\n", "S", "j", "", 100, 0, "\0"s},
    {"first key wins", "[S]\nk=1\nK=2\n", "S", "k", "", 100, 1, "1\0"s},
    {"a first key without '=' wins too", "[S]\nk\nk=v\n", "S", "k", "dflt", 100, 4, "dflt\0"s},
    // Buffer sizes.
    {"long value cut to the buffer", "[S]\nk=" + std::string(100000, 'y') + "\n", "S", "k", "", 10, 9, "yyyyyyyyy\0"s},
    {"buffer of 1", "[S]\nk=abc\n", "S", "k", "", 1, 0, "\0"s},
    // Empty values and missing things.
    {"empty value, not the default", "[S]\nk=\n", "S", "k", "dflt", 100, 0, "\0"s},
    {"missing section, default cut", "[S]\nk=v\n", "T", "k", "abcdefgh", 4, 3, "abc\0"s},
    {"default loses trailing spaces", "[S]\nk=v\n", "S", "j", "dflt  ", 100, 4, "dflt\0"s},
    {"all-space default keeps one", "[S]\nk=v\n", "S", "j", "   ", 100, 1, " \0"s},
    // Odd lines.
    {"empty key", "[S]\n=v\n", "S", "", "d", 100, 1, "v\0"s},
    {"keys before any section", "k=v\n[S]\nj=w\n", "", "k", "d", 100, 1, "v\0"s},
    {"[] ends the section before", "[S]\nk=1\n[]\nj=2\n", "S", "j", "d", 100, 1, "d\0"s},
    {"name up to the last ], rest ignored", "[a]b]k=v\nk=w\n", "a]b", "k", "d", 100, 1, "w\0"s},
    {"unclosed [ opens nothing", "[S\nk=v\n", "S", "k", "d", 100, 1, "d\0"s},
    // Zero bytes end names and values where they stand.
    {"zero inside a value", "[S]\nk=a\0b\nj=c\n"s, "S", "k", "", 100, 1, "a\0"s},
    {"zero after a key's space", "[S]\nk \0x=v\n"s, "S", "k", "d", 100, 1, "d\0"s},
    // Bytes and byte-order marks.
    {"bytes above 0x7F pass", "[S]\nk=\x80\x81\x8d\x90\xff\n", "S", "k", "", 100, 5, "\x80\x81\x8d\x90\xff\0"s},
    {"UTF-8 mark: code page, or '?'", "\xEF\xBB\xBF[S]\nk=\xC3\xA4\xE2\x82\xAC\xC5\xB8\xE4\xB8\x80z\n", "S", "k", "", 100,
     5, "\xE4\x80\x9F?z\0"s},
    {"UTF-8 mark, broken sequences", "\xEF\xBB\xBF[S]\nk=a\xE4\xB8" "b\xED\xA0\x80\xED\xBF\xBF" "c\xF0\x9F\x98\x80" "d\xC2\x81" "e\xF5\x80\x80" "f\xC0\x80\n",
     "S", "k", "", 100, 19, "a?b????c??d\x81" "e???f??\0"s},
    {"UTF-8 mark, the edges of each length", "\xEF\xBB\xBF[S]\nk=\x7F\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\n",
     "S", "k", "", 100, 8, "\x7F???????\0"s},  // a character past U+FFFF is two '?'
    {"UTF-8 mark, cut at the end of the file", "\xEF\xBB\xBF[S]\nk=a\xF0z", "S", "k", "", 100, 2, "a?\0"s},
    {"second mark is text", "\xEF\xBB\xBF\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "d", 100, 1, "d\0"s},
    {"UTF-16LE, a pair is two '?'", "\xFF\xFE[\0S\0]\0\n\0k\0=\0\xAC\x20\x00\x4E\x3D\xD8\x00\xDE\n\0"s, "S", "k", "", 100,
     4, "\x80???\0"s},
    {"UTF-16BE", "\xFE\xFF\0[\0S\0]\0\n\0k\0=\0v\0\n"s, "S", "k", "", 100, 1, "v\0"s},
    // A null section lists the section names: not the nameless ones, repeated
    // ones twice.  A list that reaches size - 1 bytes is cut to size - 2 and
    // a zero, and the last byte is left alone.
    {"section names", "top=1\n[S]\n[]\n[s]\n[ U ]x\n", nullptr, "k", "d", 100, 6, "S\0s\0U\0\0"s},
    {"section names, exactly full", kTwo, nullptr, nullptr, "", 8, 6, "Aa\0Bb\0\0"s},
    {"section names, one byte short", kTwo, nullptr, nullptr, "", 7, 5, "Aa\0Bb\0"s},
    {"section names cut in a name", kTwo, nullptr, nullptr, "", 6, 4, "Aa\0B\0"s},
    {"section names in 2 bytes", kTwo, nullptr, nullptr, "", 2, 0, "\0"s},
    {"no sections: no default either", "k=v\n", nullptr, nullptr, "d", 100, 0, "\0"s},
    // A null key lists the section's keys with a value (not ';' ones, repeated
    // ones twice), or gives the default when the list would start empty.
    {"key names", "[S]\n;c=1\nplain\n k2 = v \n=e\nK1=a\nk1=b\n#h=3\n", "S", nullptr, "", 100, 13,
     "k2\0\0K1\0k1\0#h\0\0"s},
    {"key names of the nameless section", "top=1\n[S]\nk=v\n", "", nullptr, "", 100, 4, "top\0\0"s},
    {"key names, first section only", "[S]\nk=v\n[T]\n[S]\nj=w\n", "s", nullptr, "", 100, 2, "k\0\0"s},
    {"key names, full with two bytes left", kTwo, "Aa", nullptr, "", 5, 3, "k1\0\0"s},
    {"key names cut in a name", kTwo, "Aa", nullptr, "", 6, 4, "k1\0k\0"s},
    {"key names, one byte short", kTwo, "Aa", nullptr, "", 7, 5, "k1\0k2\0"s},
    {"key names in 2 bytes: the default", kTwo, "Aa", nullptr, "dflt", 2, 1, "d\0"s},
    {"key names: section not trimmed", kTwo, " Aa", nullptr, "dflt", 100, 4, "dflt\0"s},
    {"key names: empty first name", "[S]\n=e\nk=v\n", "S", nullptr, "dflt", 100, 4, "dflt\0"s},
};
// clang-format on

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
        EXPECT_EQ(zelk::os::GetProfileText(file.c_str(), c.section, c.key, c.defaultText, buffer.data(), c.size),
                  c.result);
        std::string const expected = c.written + std::string(buffer.size() - c.written.size(), '#');
        EXPECT_EQ(buffer, expected);
    }
    // A missing file or a directory reads as an empty file; size 0 leaves the buffer alone.
    std::string const absent = dir.File("absent.ini"), folder = dir.Path().string();
    for (std::string const& name : {absent, folder}) {
        char buffer[16] = "junk";
        EXPECT_EQ(zelk::os::GetProfileText(name.c_str(), "S", "k", "dflt", buffer, sizeof buffer), 4u);
        EXPECT_STREQ(buffer, "dflt");
        EXPECT_EQ(zelk::os::GetProfileText(name.c_str(), nullptr, nullptr, "dflt", buffer, sizeof buffer), 0u);
        EXPECT_EQ(zelk::os::IsProfileReadable(name.c_str()), 0);
    }
    EXPECT_EQ(zelk::os::IsProfileReadable(file.c_str()), 1);
    char buffer[1] = {'#'};
    EXPECT_EQ(zelk::os::GetProfileText(file.c_str(), "S", "k", "", buffer, 0), 0u);
    EXPECT_EQ(buffer[0], '#');
}

// Many files in turn each answer from their own content.
TEST(ProfileTable, ManyFilesServeTheirOwnContent) {
    zelk::test::TempDir const dir("zelk-profile");
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(zelk::test::WriteFile(dir.File(std::to_string(i)), "[S]\nk=" + std::to_string(i * 7)));
    for (int i = 0; i < 40; ++i) EXPECT_EQ(Read(dir.File(std::to_string(i % 20))), std::to_string(i % 20 * 7));
}

}  // namespace
