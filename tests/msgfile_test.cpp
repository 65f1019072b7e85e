// Message-file names, text lookups and the base error's description lines,
// through the exported interface only (as a host sees them).
#include "base_errors.h"
#include "temp_files.h"

#include <zelk/error.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using zelk::test::Line;
using zelk::test::TestError;
using zelk::test::WindowsName;

// ---- names ----

struct NameCase {
    char const* name;
    std::string given;
    std::string message;
    std::string english;
};

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

NameCase const kNameCases[] = {
    {"translated file", "D:\\Texts\\German.txt", "D:\\Texts\\German.txt", "d:\\texts\\Zelk.TXT"},
    {"English file, any case", "C:\\Dir\\ZeLk.TxT", "C:\\Dir\\ZeLk.TxT", ""},
    {"English file of 10 characters", "a\\zelk.txt", "a\\zelk.txt", ""},
    {"10 characters without backslash", "aaZelk.Txt", "aaZelk.Txt", ""},
    {"9 characters are not taken for it", "AZelk.Txt", "AZelk.Txt", "azelk.txt"},
    {"nor is zelk.txt alone", "Zelk.TXT", "Zelk.TXT", "zelk.txt"},
    {"no backslash: lower-case copy", "German.TXT", "German.TXT", "german.txt"},
    {"only the backslash separates", "D:/Texts/German.txt", "D:/Texts/German.txt", "d:/texts/german.txt"},
    {"cut at the last backslash", "x\\Y\\z\\", "x\\Y\\z\\", "x\\y\\z\\Zelk.TXT"},
    {"only A-Z are lowered", "\xC4\\\xC4.txt", "\xC4\\\xC4.txt", "\xC4\\Zelk.TXT"},
    {"empty name", "", "", ""},
    {"259 characters fit", "c:\\" + Repeat('n', 256), "c:\\" + Repeat('n', 256), "c:\\Zelk.TXT"},
    {"260 characters are refused", "c:\\" + Repeat('n', 257), "", ""},
    {"English name of 259 fits", "c:\\" + Repeat('d', 247) + "\\ab.txt", "c:\\" + Repeat('d', 247) + "\\ab.txt",
     "c:\\" + Repeat('d', 247) + "\\Zelk.TXT"},
    {"English name past 259 stays empty", "c:\\" + Repeat('d', 248) + "\\ab.txt",
     "c:\\" + Repeat('d', 248) + "\\ab.txt", ""},
};

class MsgFileNames : public ::testing::Test {
protected:
    void TearDown() override { SetMsgFileName(nullptr); }
};

TEST_F(MsgFileNames, DerivesTheEnglishName) {
    for (NameCase const& c : kNameCases) {
        SCOPED_TRACE(c.name);
        SetMsgFileName("D:\\before\\other.txt");  // every case replaces both names
        SetMsgFileName(c.given.c_str());
        ASSERT_NE(GetMsgFileName(), nullptr);
        ASSERT_NE(GetEnglishMsgFileName(), nullptr);
        EXPECT_EQ(std::string(GetMsgFileName()), c.message);
        EXPECT_EQ(std::string(GetEnglishMsgFileName()), c.english);
    }
    // Null empties both names, and then nothing opens.
    SetMsgFileName(nullptr);
    ASSERT_NE(GetMsgFileName(), nullptr);
    EXPECT_STREQ(GetMsgFileName(), "");
    EXPECT_STREQ(GetEnglishMsgFileName(), "");
    EXPECT_EQ(IsMsgFileOK() + IsEnglishMsgFileOK(), 0);
    char buffer[16] = "junk";
    EXPECT_EQ(CZelkError::GetText("TestError", "42", buffer, sizeof buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
}

// ---- lookups ----

constexpr char kTranslated[] =
    "; Deutsche Texte\r\n"
    "[TestError]\r\n"
    "42=Deutsch zweiundvierzig\r\n"
    "7=nur deutsch\r\n"
    "-1=minus eins\r\n"
    "[lowerError]\r\n"
    "002a=klein zweiundvierzig\r\n";

constexpr char kEnglish[] =
    "[TestError]\n"
    "42=English forty-two\n"
    "8=only English\n"
    "-1=minus one\n"
    "[lowerError]\n"
    "002a=lower forty-two\n"
    "42=lower decimal (never asked)\n"
    "ffffffff=lower minus one\n"
    "[`tick]\n"
    "000a=tick ten\n"
    "[_under]\n"
    "10=under ten\n"
    "000a=under hex (never asked)\n"
    "[\xC4rror]\n"
    "10=high ten\n"
    "000a=high hex (never asked)\n";

// Texts/German.txt and Texts/zelk.txt in a scratch directory; the English
// name the library derives ("...\texts\Zelk.TXT") differs from both in case.
class MsgFileLookups : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir.Path() / "Texts");
        ASSERT_TRUE(zelk::test::WriteFile(Translated(), kTranslated));
        ASSERT_TRUE(zelk::test::WriteFile(English(), kEnglish));
        SetMsgFileName(WindowsName(dir.Path() / "Texts" / "German.txt").c_str());
    }
    void TearDown() override { SetMsgFileName(nullptr); }

    std::string Translated() const { return (dir.Path() / "Texts" / "German.txt").string(); }
    std::string English() const { return (dir.Path() / "Texts" / "zelk.txt").string(); }

    zelk::test::TempDir dir{"zelk-msgfile"};
};

struct TextCase {
    char const* name;
    char const* typeName;
    int code;
    bool english;
    char const* text;  // nullptr: no line
};

TextCase const kTextCases[] = {
    {"translated text", "TestError", 42, false, "Deutsch zweiundvierzig"},
    {"English text", "TestError", 42, true, "English forty-two"},
    {"translated falls back to English", "TestError", 8, false, "only English"},
    {"English does not fall back", "TestError", 7, true, nullptr},
    {"negative code, decimal key", "TestError", -1, true, "minus one"},
    {"lower-case type, hex key", "lowerError", 42, true, "lower forty-two"},
    {"lower-case type, -1 is ffffffff", "lowerError", -1, true, "lower minus one"},
    {"lower-case type, translated", "lowerError", 42, false, "klein zweiundvierzig"},
    {"grave accent (0x60) is hex", "`tick", 10, true, "tick ten"},
    {"underscore (0x5F) is decimal", "_under", 10, true, "under ten"},
    {"high byte counts as negative: decimal", "\xC4rror", 10, true, "high ten"},
    {"section names match in any case", "TESTERROR", 42, true, "English forty-two"},
    {"unknown code", "TestError", 99, false, nullptr},
    {"unknown type", "NoSuchError", 42, false, nullptr},
};

TEST_F(MsgFileLookups, DescriptionLinesComeFromTheRightFile) {
    for (TextCase const& c : kTextCases) {
        SCOPED_TRACE(c.name);
        TestError const error("file.cpp", 1, c.code, c.typeName);
        EXPECT_EQ(Line(error, c.english), c.text ? c.text : "<none>");
    }
}

// The four-argument form follows the flag; the five-argument form puts the
// flag back whichever way it asked.  The result is 1 or 0, never a length,
// and only line 0 exists: for others the type name is not even asked.
TEST_F(MsgFileLookups, DescriptionLineForms) {
    struct CountingError : TestError {
        CountingError() : TestError("f.cpp", 1, 42) {}
        mutable int typeNameCalls = 0;
        char const* GetTypeName() const override { return ++typeNameCalls, "TestError"; }
    } error;
    char buffer[64];
    EXPECT_EQ(error.GetDescriptionLine(0, 1, buffer, sizeof buffer), 1);  // the kind does not matter
    EXPECT_STREQ(buffer, "Deutsch zweiundvierzig");
    error.EnableMessageTranslation(0);
    EXPECT_EQ(error.GetDescriptionLine(0, 0, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "English forty-two");
    EXPECT_EQ(error.GetDescriptionLine(0, 0, buffer, sizeof buffer, false), 1);
    EXPECT_STREQ(buffer, "Deutsch zweiundvierzig");
    EXPECT_EQ(error.IsMessageTranslationEnabled(), 0);
    error.EnableMessageTranslation(7);
    EXPECT_EQ(error.GetDescriptionLine(0, 0, buffer, 4, true), 1);
    EXPECT_STREQ(buffer, "Eng");
    EXPECT_EQ(error.IsMessageTranslationEnabled(), 7);
    error.typeNameCalls = 0;
    for (int line : {1, 2, -1}) {
        std::strcpy(buffer, "junk");
        EXPECT_EQ(error.GetDescriptionLine(line, 0, buffer, sizeof buffer, false), 0);
        EXPECT_STREQ(buffer, "");
    }
    EXPECT_EQ(error.typeNameCalls, 0);
}

TEST_F(MsgFileLookups, GetTextChoosesTheFile) {
    char buffer[64];
    EXPECT_EQ(CZelkError::GetText("TestError", "7", buffer, sizeof buffer, 1), 1);
    EXPECT_STREQ(buffer, "nur deutsch");
    EXPECT_EQ(CZelkError::GetText("TestError", "7", buffer, sizeof buffer, 0), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(CZelkError::GetText("TestError", "42", buffer, 4, 0), 1);
    EXPECT_STREQ(buffer, "Eng");
    // Bad arguments: nothing found, nothing written past the buffer.
    EXPECT_EQ(CZelkError::GetText("TestError", "8", nullptr, 64, 0), 0);
    EXPECT_EQ(CZelkError::GetText("TestError", "8", buffer, 0, 0), 0);
    EXPECT_EQ(CZelkError::GetText("TestError", "8", buffer, -5, 0), 0);
    EXPECT_EQ(CZelkError::GetText(nullptr, "8", buffer, sizeof buffer, 0), 0);
    EXPECT_EQ(CZelkError::GetText("TestError", nullptr, buffer, sizeof buffer, 0), 0);
}

// Which files serve: the message file that is itself the English one serves
// both languages; without the English file only translated texts are found.
TEST_F(MsgFileLookups, ReadableFilesServeTheirLanguage) {
    EXPECT_EQ(IsMsgFileOK() + IsEnglishMsgFileOK(), 2);
    TestError const error("file.cpp", 1, 42);
    SetMsgFileName(WindowsName(dir.Path() / "Texts" / "zelk.txt").c_str());
    EXPECT_STREQ(GetEnglishMsgFileName(), "");
    EXPECT_EQ(Line(error, false), "English forty-two");
    EXPECT_EQ(Line(error, true), "English forty-two");
    EXPECT_EQ(Line(TestError("file.cpp", 1, 7), false), "<none>");

    SetMsgFileName(WindowsName(dir.Path() / "Texts" / "German.txt").c_str());
    std::filesystem::remove(English());
    EXPECT_EQ(IsMsgFileOK(), 1);
    EXPECT_EQ(IsEnglishMsgFileOK(), 0);
    EXPECT_EQ(Line(error, false), "Deutsch zweiundvierzig");
    EXPECT_EQ(Line(error, true), "<none>");
    std::filesystem::remove(Translated());
    std::filesystem::create_directory(Translated());  // a directory is no readable file
    EXPECT_EQ(IsMsgFileOK(), 0);
}

// Starts with a zero byte, so it is no byte-order mark.
constexpr char kBinary[] = "\x00\x01\x02\xFF\xFE\x00[\x00TestError\x00]\x00\n42\x00=x\x80\x00";

// Missing, empty and binary message files give no text, and the
// next lookup after the file is fixed finds it again.
TEST_F(MsgFileLookups, BadFilesGiveNoTextAndRecover) {
    std::filesystem::remove(English());
    TestError const error("file.cpp", 1, 42);
    struct Bad {
        char const* name;
        std::string bytes;
    } const bads[] = {
        {"empty", ""},
        {"binary", std::string(kBinary, sizeof kBinary - 1)},
        {"no sections", "42=Deutsch\n"},
        {"garbage lines", std::string(4000, '\xA7') + "\n" + std::string(300, '=') + "\n"},
    };
    for (Bad const& bad : bads) {
        SCOPED_TRACE(bad.name);
        ASSERT_TRUE(zelk::test::WriteFile(Translated(), bad.bytes));
        EXPECT_EQ(Line(error, false), "<none>");
        ASSERT_TRUE(zelk::test::ReplaceFile(Translated(), kTranslated));
        EXPECT_EQ(Line(error, false), "Deutsch zweiundvierzig");
    }
    std::filesystem::remove(Translated());
    EXPECT_EQ(Line(error, false), "<none>");
    ASSERT_TRUE(zelk::test::WriteFile(Translated(), kTranslated));
    EXPECT_EQ(Line(error, false), "Deutsch zweiundvierzig");
}

// A snapshot keeps the texts it was made with; the error reads the new file.
TEST_F(MsgFileLookups, SnapshotsKeepTheirTexts) {
    TestError const error("file.cpp", 1, 42);
    CErrorClone const snapshot(error);
    ASSERT_TRUE(zelk::test::ReplaceFile(Translated(), "[TestError]\n42=neu\n"));
    ASSERT_TRUE(zelk::test::ReplaceFile(English(), "[TestError]\n42=new\n"));
    EXPECT_EQ(Line(error, false), "neu");
    EXPECT_EQ(Line(error, true), "new");
    EXPECT_EQ(Line(snapshot, false), "Deutsch zweiundvierzig");
    EXPECT_EQ(Line(snapshot, true), "English forty-two");
}

}  // namespace
