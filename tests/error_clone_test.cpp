// CErrorClone: what a snapshot stores, how it reads back, and how it copies.
#include "test_errors.h"

#include <zelk/error.h>

#include <gtest/gtest.h>

#include <string>

using zelk::test::LineOf;
using zelk::test::ScriptedError;

namespace {

ScriptedError TwoKindError() {
    ScriptedError e(7);
    e.lines[0][0] = {"Datei fehlt", "Pfad prüfen"};
    e.lines[0][1] = {"File missing", "Check the path"};
    e.lines[1][0] = {"Detail"};
    e.lines[1][1] = {"Detail (en)"};
    return e;
}

TEST(ErrorClone, EmptySnapshotHasDefinedValues) {
    CErrorClone const empty;
    EXPECT_EQ(empty.GetOrdinalNumber(), COrdinalNumber(0));
    EXPECT_EQ(empty.GetError(), 0);
    EXPECT_STREQ(empty.GetTypeName(), "");
    EXPECT_STREQ(empty.GetThreadName(), "");
    EXPECT_STREQ(empty.GetErrorFile(), "");
    EXPECT_EQ(empty.Fatal(), 1);
    EXPECT_EQ(empty.IsMessageTranslationEnabled(), 1);
    EXPECT_EQ(empty.GetErrorIcon(), ZelkErrorID(0));
    EXPECT_EQ(empty.GetLine(), 0);
    EXPECT_EQ(empty.GetTime(), 0);
    char buffer[8] = "x";
    for (int kind : {0, 1})
        for (bool english : {false, true}) {
            EXPECT_EQ(empty.GetDescriptionLine(0, kind, buffer, sizeof buffer, english), 0);
            EXPECT_STREQ(buffer, "");
        }
}

TEST(ErrorClone, ThroughTheInterfaceReportsWhatTheSourceReported) {
    ScriptedError source = TwoKindError();
    source.code = -5;
    source.line = 99;
    source.time = 1234567;
    source.translate = 0;
    source.icon = ZelkErrorIconInformation;
    CErrorClone const clone(source);
    IZelkError const& a = source;
    IZelkError const& b = clone;
    EXPECT_EQ(b.GetOrdinalNumber(), a.GetOrdinalNumber());
    EXPECT_STREQ(b.GetTypeName(), a.GetTypeName());
    EXPECT_STREQ(b.GetThreadName(), a.GetThreadName());
    EXPECT_STREQ(b.GetErrorFile(), a.GetErrorFile());
    EXPECT_EQ(b.GetError(), a.GetError());
    EXPECT_EQ(b.GetLine(), a.GetLine());
    EXPECT_EQ(b.GetTime(), a.GetTime());
    EXPECT_EQ(b.GetErrorIcon(), a.GetErrorIcon());
    EXPECT_EQ(b.Fatal(), a.Fatal());
    EXPECT_EQ(b.IsMessageTranslationEnabled(), a.IsMessageTranslationEnabled());
}

TEST(ErrorClone, NullTextsAreStoredAsEmpty) {
    ScriptedError source;
    source.typeName = nullptr;
    source.threadName = nullptr;
    source.file = nullptr;
    CErrorClone const clone(source);
    EXPECT_STREQ(clone.GetTypeName(), "");
    EXPECT_STREQ(clone.GetThreadName(), "");
    EXPECT_STREQ(clone.GetErrorFile(), "");
}

TEST(ErrorClone, ReadsTheSourceInItsDefinedOrder) {
    ScriptedError source;
    CErrorClone const clone(source);
    std::vector<std::string> const expected = {
        "GetOrdinalNumber", "GetError",     "GetTypeName", "GetThreadName", "Fatal",
        "GetErrorIcon",     "GetLine",      "GetErrorFile", "GetTime",      "IsMessageTranslationEnabled",
        // one call per array, each ending at the first line the source lacks
        "GetDescriptionLine", "GetDescriptionLine", "GetDescriptionLine", "GetDescriptionLine"};
    EXPECT_EQ(source.calls, expected);
}

// A source whose Fatal() differs from its stored flag: the snapshot keeps
// what Fatal() said (the base error reports 0 for code 0 whatever its flag).
class CodeZeroError : public ScriptedError {
public:
    int Fatal() const override { return code != 0 && fatal != 0; }
};

TEST(ErrorClone, StoresTheResultOfFatalNotTheFlag) {
    CodeZeroError source;
    source.code = 0;
    source.fatal = 1;
    CErrorClone clone(source);
    EXPECT_EQ(clone.Fatal(), 0);
    EXPECT_EQ(clone.SetFatal(5), 5);
    EXPECT_EQ(clone.Fatal(), 5);
}

TEST(ErrorClone, KeepsBothKindsInBothLanguages) {
    CErrorClone const clone(TwoKindError());
    EXPECT_EQ(LineOf(clone, 0, 0, false), "Datei fehlt");
    EXPECT_EQ(LineOf(clone, 1, 0, false), "Pfad prüfen");
    EXPECT_EQ(LineOf(clone, 2, 0, false), "<none>");
    EXPECT_EQ(LineOf(clone, 1, 0, true), "Check the path");
    EXPECT_EQ(LineOf(clone, 0, 1, false), "Detail");
    EXPECT_EQ(LineOf(clone, 0, 1, true), "Detail (en)");
    EXPECT_EQ(LineOf(clone, 1, 1, true), "<none>");
    // Every kind other than 0 reads the kind-1 lines.
    EXPECT_EQ(LineOf(clone, 0, 7, true), "Detail (en)");
    EXPECT_EQ(LineOf(clone, 0, -1, false), "Detail");
}

TEST(ErrorClone, TranslationFlagChoosesTheStoredTextWithoutReadingAgain) {
    CErrorClone clone(TwoKindError());
    char buffer[64];
    ASSERT_EQ(clone.IsMessageTranslationEnabled(), 1);
    EXPECT_GT(clone.GetDescriptionLine(0, 0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "Datei fehlt");
    clone.EnableMessageTranslation(0);
    EXPECT_GT(clone.GetDescriptionLine(0, 0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "File missing");
}

TEST(ErrorClone, LongSourceLinesAreCutToWhatFitsIn299Bytes) {
    ScriptedError source;
    source.lines[0][0] = {std::string(400, 'x')};
    CErrorClone const clone(source);
    char buffer[600];
    int const length = clone.GetDescriptionLine(0, 0, buffer, sizeof buffer, false);
    EXPECT_EQ(length, 298);
    EXPECT_EQ(std::string(buffer), std::string(298, 'x'));
}

struct ReadCase {
    char const* name;
    int line;
    int size;
    int expectedResult;
    char const* expectedText;
};

class ErrorCloneRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ErrorCloneRead, CutsAndTerminates) {
    ScriptedError source;
    source.lines[0][0] = {"abcdefgh", "second"};
    CErrorClone const clone(source);
    ReadCase const& c = GetParam();
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(clone.GetDescriptionLine(c.line, 0, buffer, c.size, false), c.expectedResult);
    EXPECT_STREQ(buffer, c.expectedText);
}

INSTANTIATE_TEST_SUITE_P(Cases, ErrorCloneRead,
                         ::testing::Values(ReadCase{"whole", 0, 32, 8, "abcdefgh"},
                                           ReadCase{"exact", 0, 9, 8, "abcdefgh"},
                                           ReadCase{"cutToFour", 0, 5, 4, "abcd"},
                                           ReadCase{"sizeOne", 0, 1, 0, ""},
                                           ReadCase{"secondLine", 1, 32, 6, "second"},
                                           ReadCase{"pastTheEnd", 2, 32, 0, ""},
                                           ReadCase{"negative", -1, 32, 0, ""}),
                         [](auto const& p) { return std::string(p.param.name); });

TEST(ErrorClone, NullBufferOrNoRoomGivesZeroWithoutTouchingMemory) {
    ScriptedError source;
    source.lines[0][0] = {"text"};
    CErrorClone const clone(source);
    EXPECT_EQ(clone.GetDescriptionLine(0, 0, nullptr, 10, false), 0);
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(clone.GetDescriptionLine(0, 0, buffer, 0, false), 0);
    EXPECT_EQ(clone.GetDescriptionLine(0, 0, buffer, -3, false), 0);
    EXPECT_EQ(buffer[0], '#');
}

TEST(ErrorClone, EmptyLineEndsCopyConstructionButAssignmentKeepsIt) {
    ScriptedError source;
    source.lines[0][0] = {"first", "", "third"};
    CErrorClone const original(source);  // stores all three, the empty one included
    EXPECT_EQ(LineOf(original, 0, 0, false), "first");
    EXPECT_EQ(LineOf(original, 1, 0, false), "<none>");  // an empty stored line reads as none
    EXPECT_EQ(LineOf(original, 2, 0, false), "third");

    CErrorClone const constructed(original);  // reads again through the interface
    EXPECT_EQ(LineOf(constructed, 0, 0, false), "first");
    EXPECT_EQ(LineOf(constructed, 2, 0, false), "<none>");

    CErrorClone assigned;
    assigned = original;  // copies the record whole
    EXPECT_EQ(LineOf(assigned, 2, 0, false), "third");

    CErrorClone viaInterface;
    viaInterface = static_cast<IZelkError const&>(original);  // a fresh snapshot
    EXPECT_EQ(LineOf(viaInterface, 2, 0, false), "<none>");
}

TEST(ErrorClone, SelfAssignmentInEitherFormChangesNothing) {
    ScriptedError source;
    source.lines[0][0] = {"first", "", "third"};
    CErrorClone clone(source);
    clone.SetFatal(3);
    CErrorClone& self = clone;
    clone = self;
    clone = static_cast<IZelkError const&>(self);
    EXPECT_EQ(clone.Fatal(), 3);
    EXPECT_EQ(LineOf(clone, 2, 0, false), "third");
    EXPECT_EQ(clone.GetOrdinalNumber(), COrdinalNumber(1));
}

TEST(ErrorClone, AssignmentCopiesDeeplyAndSnapshotsStayIndependent) {
    CErrorClone a(TwoKindError());
    CErrorClone b;
    b = a;
    a.SetFatal(0);
    a.EnableMessageTranslation(0);
    EXPECT_EQ(b.Fatal(), 1);
    EXPECT_EQ(b.IsMessageTranslationEnabled(), 1);
    {
        CErrorClone const temporary(a);
        b = temporary;
    }
    EXPECT_EQ(LineOf(b, 1, 0, true), "Check the path");  // still readable after the source went
}

TEST(ErrorInterface, AssigningThroughTheInterfaceChangesNeither) {
    ScriptedError a(1), b(2);
    a.code = 10;
    b.code = 20;
    static_cast<IZelkError&>(a) = static_cast<IZelkError const&>(b);
    EXPECT_EQ(a.code, 10);
    EXPECT_EQ(a.number, 1u);
    EXPECT_EQ(b.code, 20);
}

}  // namespace
