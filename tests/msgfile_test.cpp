// Message-file names, text lookups and the base error's description lines,
// through the exported interface only (as a host sees them).
#include "temp_files.h"
#include "test_errors.h"

#include <zelk/error.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

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
    {"English file of 10 characters", "a\\zelk.txt", "a\\zelk.txt", ""},
    {"10 characters without backslash", "aaZelk.Txt", "aaZelk.Txt", ""},
    {"9 characters are not taken for it", "AZelk.Txt", "AZelk.Txt", "azelk.txt"},
    {"nor is zelk.txt alone", "Zelk.TXT", "Zelk.TXT", "zelk.txt"},
    {"only the backslash separates", "D:/Texts/German.txt", "D:/Texts/German.txt", "d:/texts/german.txt"},
    {"cut at the last backslash", "x\\Y\\z\\", "x\\Y\\z\\", "x\\y\\z\\Zelk.TXT"},
    {"only A-Z are lowered", "\xC4\\\xC4.txt", "\xC4\\\xC4.txt", "\xC4\\Zelk.TXT"},
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
    // Null empties both names, and then nothing opens.
    SetMsgFileName(nullptr);
    EXPECT_STREQ(GetMsgFileName(), "");
    EXPECT_STREQ(GetEnglishMsgFileName(), "");
    EXPECT_EQ(IsMsgFileOK() + IsEnglishMsgFileOK(), 0);
    char buffer[16] = "junk";
    EXPECT_EQ(CZelkError::GetText("TestError", "42", buffer, sizeof buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
}

constexpr char kTranslated[] =
    "; Deutsche Texte\r\n[TestError]\r\n42=Deutsch zweiundvierzig\r\n7=nur deutsch\r\n-1=minus eins\r\n"
    "[lowerError]\r\n002a=klein zweiundvierzig\r\n";
constexpr char kEnglish[] =
    "[TestError]\n42=English forty-two\n8=only English\n-1=minus one\n"
    "[lowerError]\n002a=lower forty-two\n42=lower decimal (never asked)\nffffffff=lower minus one\n"
    "[`tick]\n000a=tick ten\n"
    "[_under]\n10=under ten\n000a=under hex (never asked)\n"
    "[\xC4rror]\n10=high ten\n000a=high hex (never asked)\n";

// Texts/German.txt and Texts/zelk.txt in a scratch directory; the English
// name the library derives ("...\texts\Zelk.TXT") differs from both in case.
class MsgFileLookups : public ::testing::Test {
protected:
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
        char const* name;
        char const* typeName;
        int code;
        bool english;
        char const* text;
    } const cases[] = {
        {"translated text", "TestError", 42, false, "Deutsch zweiundvierzig"},
        {"English text", "TestError", 42, true, "English forty-two"},
        {"translated falls back to English", "TestError", 8, false, "only English"},
        {"English does not fall back", "TestError", 7, true, "<none>"},
        {"negative code, decimal key", "TestError", -1, true, "minus one"},
        {"lower-case type, hex key", "lowerError", 42, true, "lower forty-two"},
        {"lower-case type, -1 is ffffffff", "lowerError", -1, true, "lower minus one"},
        {"lower-case type, translated", "lowerError", 42, false, "klein zweiundvierzig"},
        {"grave accent (0x60) is hex", "`tick", 10, true, "tick ten"},
        {"underscore (0x5F) is decimal", "_under", 10, true, "under ten"},
        {"high byte counts as negative: decimal", "\xC4rror", 10, true, "high ten"},
        {"section names match in any case", "TESTERROR", 42, true, "English forty-two"},
        {"unknown code", "TestError", 99, false, "<none>"},
        {"unknown type", "NoSuchError", 42, false, "<none>"},
    };
    for (auto const& c : cases) EXPECT_EQ(Line(TestError("f.cpp", 1, c.code, c.typeName), c.english), c.text) << c.name;
}

// The four-argument form follows the flag (of any kind); the five-argument
// form puts the flag back whichever way it asked.  The result is 1 or 0, never
// a length, and only line 0 exists: for others the type name is not even asked.
TEST_F(MsgFileLookups, DescriptionLineFormsAndGetText) {
    struct CountingError : TestError {
        CountingError() : TestError("f.cpp", 1, 42) {}
        mutable int typeNameCalls = 0;
        char const* GetTypeName() const override { return ++typeNameCalls, "TestError"; }
    } counting;
    struct {
        int flag, line, size, english;  // english -1: the four-argument form
        int result;
        char const* text;
    } const rows[] = {
        {1, 0, 64, -1, 1, "Deutsch zweiundvierzig"}, {0, 0, 64, -1, 1, "English forty-two"},
        {0, 0, 64, 0, 1, "Deutsch zweiundvierzig"},   {7, 0, 4, 1, 1, "Eng"},
        {1, 1, 64, 0, 0, ""}, {1, 2, 64, 0, 0, ""}, {1, -1, 64, 0, 0, ""},
    };
    char buffer[64];
    for (auto const& r : rows) {
        SCOPED_TRACE(testing::Message() << "flag " << r.flag << " line " << r.line << " english " << r.english);
        std::strcpy(buffer, "junk");
        counting.EnableMessageTranslation(r.flag);
        counting.typeNameCalls = 0;
        EXPECT_EQ(r.english < 0 ? counting.GetDescriptionLine(r.line, 1, buffer, r.size)
                                : counting.GetDescriptionLine(r.line, 0, buffer, r.size, r.english == 1),
                  r.result);
        EXPECT_STREQ(buffer, r.text);
        EXPECT_EQ(counting.IsMessageTranslationEnabled(), r.flag);
        EXPECT_EQ(counting.typeNameCalls == 0, r.result == 0);  // asked only for a line that exists
    }

    EXPECT_EQ(CZelkError::GetText("TestError", "7", buffer, sizeof buffer, 1), 1);
    EXPECT_STREQ(buffer, "nur deutsch");
    EXPECT_EQ(CZelkError::GetText("TestError", "7", buffer, sizeof buffer, 0), 0);
    EXPECT_STREQ(buffer, "");
    // Bad arguments: nothing found, nothing written past the buffer.
    EXPECT_EQ(CZelkError::GetText("TestError", "8", nullptr, 64, 0), 0);
    EXPECT_EQ(CZelkError::GetText("TestError", "8", buffer, 0, 0), 0);
    EXPECT_EQ(CZelkError::GetText("TestError", "8", buffer, -5, 0), 0);
    EXPECT_EQ(CZelkError::GetText(nullptr, "8", buffer, sizeof buffer, 0), 0);
    EXPECT_EQ(CZelkError::GetText("TestError", nullptr, buffer, sizeof buffer, 0), 0);
}

// The message file that is itself the English one serves both languages;
// without the English file only translated texts are found.
TEST_F(MsgFileLookups, ReadableFilesServeTheirLanguage) {
    EXPECT_EQ(IsMsgFileOK() + IsEnglishMsgFileOK(), 2);
    SetMsgFileName(WindowsName(english).c_str());
    EXPECT_STREQ(GetEnglishMsgFileName(), "");
    EXPECT_EQ(Line(error, false), "English forty-two");
    EXPECT_EQ(Line(error, true), "English forty-two");
    EXPECT_EQ(Line(TestError("file.cpp", 1, 7), false), "<none>");

    SetMsgFileName(WindowsName(translated).c_str());
    std::filesystem::remove(english);
    EXPECT_EQ(IsMsgFileOK(), 1);
    EXPECT_EQ(IsEnglishMsgFileOK(), 0);
    EXPECT_EQ(Line(error, false), "Deutsch zweiundvierzig");
    EXPECT_EQ(Line(error, true), "<none>");
    std::filesystem::remove(translated);
    std::filesystem::create_directory(translated);  // a directory is no readable file
    EXPECT_EQ(IsMsgFileOK(), 0);
}

// Empty, binary and missing message files give no text, and the next lookup
// after the file is replaced on disk finds it again (the cache sees the change).
TEST_F(MsgFileLookups, BadFilesGiveNoTextAndRecover) {
    std::filesystem::remove(english);
    constexpr char kBinary[] = "\x00\x01\x02\xFF\xFE\x00[\x00TestError\x00]\x00\n42\x00=x\x80\x00";  // no byte-order mark
    std::string const bads[] = {"", std::string(kBinary, sizeof kBinary - 1), "42=Deutsch\n",
                                std::string(4000, '\xA7') + "\n" + std::string(300, '=') + "\n"};
    for (std::string const& bad : bads) {
        SCOPED_TRACE(bad.size());
        ASSERT_TRUE(WriteFile(translated, bad));
        EXPECT_EQ(Line(error, false), "<none>");
        ASSERT_TRUE(zelk::test::ReplaceFile(translated, kTranslated));
        EXPECT_EQ(Line(error, false), "Deutsch zweiundvierzig");
    }
    std::filesystem::remove(translated);
    EXPECT_EQ(Line(error, false), "<none>");
    ASSERT_TRUE(WriteFile(translated, kTranslated));
    EXPECT_EQ(Line(error, false), "Deutsch zweiundvierzig");
}

// A snapshot keeps the texts it was made with; the error reads the new file.
TEST_F(MsgFileLookups, SnapshotsKeepTheirTexts) {
    CErrorClone const snapshot(error);
    ASSERT_TRUE(zelk::test::ReplaceFile(translated, "[TestError]\n42=neu\n"));
    ASSERT_TRUE(zelk::test::ReplaceFile(english, "[TestError]\n42=new\n"));
    EXPECT_EQ(Line(error, false), "neu");
    EXPECT_EQ(Line(error, true), "new");
    EXPECT_EQ(Line(snapshot, false), "Deutsch zweiundvierzig");
    EXPECT_EQ(Line(snapshot, true), "English forty-two");
}

}  // namespace
