// Message-file names, text lookups and the base error's description lines,
// through the exported interface only (as a host sees them).
#include "temp_files.h"
#include "test_errors.h"

#include <zelk/error.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace std::string_literals;
using zelk::test::Line;
using zelk::test::TestError;
using zelk::test::WindowsName;
using zelk::test::WriteFile;

std::string const kLong256(256, 'n');
std::string const kDir247 = "c:\\" + std::string(247, 'd'), kDir248 = "c:\\" + std::string(248, 'd');

struct NameCase {
    char const* name;
    std::string given, message, english;
} const kNameCases[] = {
    {"translated file", "D:\\Texts\\German.txt", "D:\\Texts\\German.txt", "d:\\texts\\Zelk.TXT"},
    {"English file, any case", "C:\\Dir\\ZeLk.TxT", "C:\\Dir\\ZeLk.TxT", ""},
    {"10 characters without backslash", "aaZelk.Txt", "aaZelk.Txt", ""},
    {"9 characters are not taken for it", "AZelk.Txt", "AZelk.Txt", "azelk.txt"},
    {"only the backslash separates", "D:/Texts/German.txt", "D:/Texts/German.txt", "d:/texts/german.txt"},
    {"cut at the last backslash", "x\\Y\\z\\", "x\\Y\\z\\", "x\\y\\z\\Zelk.TXT"},
    {"empty name", "", "", ""},
    {"259 characters fit", "c:\\" + kLong256, "c:\\" + kLong256, "c:\\Zelk.TXT"},
    {"260 characters are refused", "c:\\" + kLong256 + "n", "", ""},
    {"English name of 259 fits", kDir247 + "\\ab.txt", kDir247 + "\\ab.txt", kDir247 + "\\Zelk.TXT"},
    {"English name past 259 stays empty", kDir248 + "\\ab.txt", kDir248 + "\\ab.txt", ""},
};

TEST(MsgFileNames, DerivesTheEnglishName) {
    for (NameCase const& c : kNameCases) {
        SCOPED_TRACE(c.name);
        SetMsgFileName("D:\\before\\other.txt");  // every case replaces both names
        SetMsgFileName(c.given.c_str());
        EXPECT_EQ(std::string(GetMsgFileName()), c.message);
        EXPECT_EQ(std::string(GetEnglishMsgFileName()), c.english);
    }
    SetMsgFileName(nullptr);  // empties both names, and then nothing opens
    EXPECT_EQ(std::string(GetMsgFileName()) + GetEnglishMsgFileName(), "");
    EXPECT_EQ(IsMsgFileOK() + IsEnglishMsgFileOK(), 0);
    // The library's own names may be given back: set again, or switched to English.
    SetMsgFileName("D:\\Texts\\German.txt");
    SetMsgFileName(GetMsgFileName());
    EXPECT_EQ(std::string(GetMsgFileName()) + "|" + GetEnglishMsgFileName(),
              "D:\\Texts\\German.txt|d:\\texts\\Zelk.TXT");
    SetMsgFileName(GetEnglishMsgFileName());
    EXPECT_EQ(std::string(GetMsgFileName()) + "|" + GetEnglishMsgFileName(), "d:\\texts\\Zelk.TXT|");
}

constexpr char kTranslated[] =
    "; Deutsche Texte\r\n[TestError]\r\n42=Deutsch zweiundvierzig\r\n7=nur deutsch\r\n-1=minus eins\r\n";
constexpr char kEnglish[] =
    "[TestError]\n42=English forty-two\n8=only English\n-1=minus one\n"
    "[lowerError]\n002a=lower forty-two\n42=lower decimal (never asked)\nffffffff=lower minus one\n"
    "[`tick]\n000a=tick ten\n"
    "[_under]\n10=under ten\n000a=under hex (never asked)\n"
    "[\xC4rror]\n10=high ten\n000a=high hex (never asked)\n";

// Texts/German.txt and Texts/zelk.txt in a scratch directory; the English
// name the library derives ("...\texts\Zelk.TXT") differs from both in case.
struct MsgFileLookups : ::testing::Test {
    void SetUp() override {
        std::filesystem::create_directory(dir.Path() / "Texts");
        ASSERT_TRUE(WriteFile(translated, kTranslated));
        ASSERT_TRUE(WriteFile(english, kEnglish));
        SetMsgFileName(WindowsName(translated).c_str());
    }
    void TearDown() override { SetMsgFileName(nullptr); }

    zelk::test::TempDir dir{"zelk-msgfile"};
    std::string const translated = (dir.Path() / "Texts" / "German.txt").string();
    std::string const english = (dir.Path() / "Texts" / "zelk.txt").string();
    TestError const error{"file.cpp", 1, 42};
};

TEST_F(MsgFileLookups, DescriptionLinesComeFromTheRightFile) {
    struct {
        char const *name, *typeName;
        int code;
        bool english;
        char const* text;
    } const cases[] = {
        {"English text", "TestError", 42, true, "English forty-two"},
        {"translated falls back to English", "TestError", 8, false, "only English"},
        {"English does not fall back", "TestError", 7, true, "<none>"},
        {"negative code, decimal key", "TestError", -1, true, "minus one"},
        {"lower-case type, hex key", "lowerError", 42, true, "lower forty-two"},
        {"lower-case type, -1 is ffffffff", "lowerError", -1, true, "lower minus one"},
        {"grave accent (0x60) is hex", "`tick", 10, true, "tick ten"},
        {"underscore (0x5F) is decimal", "_under", 10, true, "under ten"},
        {"high byte counts as negative: decimal", "\xC4rror", 10, true, "high ten"},
        {"no type name: no text", nullptr, 42, false, "<none>"},
    };
    for (auto const& c : cases) EXPECT_EQ(Line(TestError("f.cpp", 1, c.code, c.typeName), c.english), c.text) << c.name;
}

// The four-argument form follows the flag (of any kind); the five-argument
// form leaves it alone.  The result is 1 or 0, never a length, and only line 0
// exists: for others not even the type name is asked.
TEST_F(MsgFileLookups, DescriptionLineFormsAndGetText) {
    struct CountingError : TestError {
        CountingError() : TestError("f.cpp", 1, 42) {}
        mutable int typeNameCalls = 0;
        char const* GetTypeName() const override { return ++typeNameCalls, "TestError"; }
    } counting;
    // clang-format off
    struct {
        int flag, line, size, english;  // english -1: the four-argument form
        char const* text;
    } const rows[] = {{1, 0, 64, -1, "Deutsch zweiundvierzig"}, {0, 0, 64, -1, "English forty-two"},
                      {7, 0, 4, 1, "Eng"}, {1, 1, 64, 0, ""}, {1, -1, 64, 0, ""}};
    // clang-format on
    char buffer[64];
    for (auto const& r : rows) {
        SCOPED_TRACE(testing::Message() << r.flag << "/" << r.line << "/" << r.english);
        std::strcpy(buffer, "junk");
        counting.EnableMessageTranslation(r.flag);
        counting.typeNameCalls = 0;
        int const found = *r.text != '\0';
        EXPECT_EQ(r.english < 0 ? counting.GetDescriptionLine(r.line, 1, buffer, r.size)
                                : counting.GetDescriptionLine(r.line, 0, buffer, r.size, r.english == 1),
                  found);
        EXPECT_STREQ(buffer, r.text);
        EXPECT_EQ(counting.IsMessageTranslationEnabled(), r.flag);
        EXPECT_EQ(counting.typeNameCalls > 0, found == 1);
    }
    EXPECT_EQ(CZelkError::GetText("TestError", "8", nullptr, 64, 0), 0);
    // A null section lists the sections, a null key the keys, as the platform's lookup does.
    EXPECT_EQ(CZelkError::GetText(nullptr, "8", buffer, sizeof buffer, 0), 1);
    EXPECT_EQ(std::string(buffer, 41), "TestError\0lowerError\0`tick\0_under\0\xC4rror\0\0"s);
    EXPECT_EQ(CZelkError::GetText("TestError", nullptr, buffer, sizeof buffer, 1), 1);
    EXPECT_EQ(std::string(buffer, 9), "42\0"s + "7\0"s + "-1\0\0"s);
}

// The message file that is itself the English one serves both languages.
// Without the English file, a binary or section-less file gives no text; the
// next lookup after the file is replaced on disk finds it, and a snapshot
// keeps the texts it was made with.
TEST_F(MsgFileLookups, FilesOnDisk) {
    EXPECT_EQ(IsMsgFileOK() + IsEnglishMsgFileOK(), 2);
    SetMsgFileName(WindowsName(english).c_str());
    EXPECT_EQ(Line(error, false), "English forty-two");
    SetMsgFileName(WindowsName(translated).c_str());

    std::filesystem::remove(english);
    EXPECT_EQ(IsMsgFileOK() * 2 + IsEnglishMsgFileOK(), 2);
    CErrorClone const snapshot(error);
    constexpr char kBinary[] = "\x00\x01\xFF\xFE\x00[\x00TestError\x00]\x00\n42\x00=x\x80\x00";  // no byte-order mark
    for (std::string const& bad : {std::string(kBinary, sizeof kBinary - 1), std::string("42=Deutsch\n")}) {
        ASSERT_TRUE(WriteFile(translated, bad));
        EXPECT_EQ(Line(error, false), "<none>");
        ASSERT_TRUE(zelk::test::ReplaceFile(translated, "[TestError]\n42=neu\n"));
        EXPECT_EQ(Line(error, false), "neu");
    }
    EXPECT_EQ(Line(snapshot, false), "Deutsch zweiundvierzig");
    std::filesystem::remove(translated);
    std::filesystem::create_directory(translated);  // a directory is no readable file
    EXPECT_EQ(IsMsgFileOK(), 0);
    EXPECT_EQ(Line(error, false), "<none>");
}

}  // namespace
