// CErrorClone: what a snapshot stores, how it reads back, and how it copies.
#include "test_errors.h"

#include <zelk/error.h>

#include <gtest/gtest.h>

#include <cstring>
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
    EXPECT_EQ(empty.GetError() + empty.GetLine() + empty.GetTime(), 0);
    EXPECT_EQ(empty.GetErrorIcon(), ZelkErrorID(0));
    EXPECT_STREQ(empty.GetTypeName(), "");
    EXPECT_STREQ(empty.GetThreadName(), "");
    EXPECT_STREQ(empty.GetErrorFile(), "");
    EXPECT_EQ(empty.Fatal(), 1);
    EXPECT_EQ(empty.IsMessageTranslationEnabled(), 1);
    char buffer[8] = "x";
    for (int kind : {0, 1}) {
        EXPECT_EQ(empty.GetDescriptionLine(0, kind, buffer, sizeof buffer, kind == 1), 0);
        EXPECT_STREQ(buffer, "");
    }
}

// The snapshot reads its source once, in a fixed order, and reports what it
// read; null texts become "", and Fatal() is stored as the source answered.
TEST(ErrorClone, ReadsTheSourceOnceInOrder) {
    class CodeZeroError : public ScriptedError {  // Fatal() disagrees with the flag
    public:
        int Fatal() const override { return ScriptedError::Fatal() != 0 && code != 0; }
    };
    CodeZeroError source;
    source.code = 0;
    source.line = 99;
    source.time = 1234567;
    source.translate = 0;
    source.icon = ZelkErrorIconInformation;
    source.typeName = nullptr;
    source.threadName = nullptr;
    CErrorClone clone(source);
    std::vector<std::string> const expected = {
        "GetOrdinalNumber", "GetError",     "GetTypeName", "GetThreadName", "Fatal",
        "GetErrorIcon",     "GetLine",      "GetErrorFile", "GetTime",      "IsMessageTranslationEnabled",
        // one call per array, each ending at the first line the source lacks
        "GetDescriptionLine", "GetDescriptionLine", "GetDescriptionLine", "GetDescriptionLine"};
    EXPECT_EQ(source.calls, expected);
    EXPECT_EQ(clone.GetOrdinalNumber(), COrdinalNumber(1));
    EXPECT_STREQ(clone.GetTypeName(), "");
    EXPECT_STREQ(clone.GetThreadName(), "");
    EXPECT_STREQ(clone.GetErrorFile(), "scripted.cpp");
    EXPECT_EQ(clone.GetError(), 0);
    EXPECT_EQ(clone.GetLine(), 99);
    EXPECT_EQ(clone.GetTime(), 1234567);
    EXPECT_EQ(clone.GetErrorIcon(), ZelkErrorIconInformation);
    EXPECT_EQ(clone.IsMessageTranslationEnabled(), 0);
    EXPECT_EQ(clone.Fatal(), 0);
    EXPECT_EQ(clone.SetFatal(5), 5);
    EXPECT_EQ(clone.Fatal(), 5);
}

TEST(ErrorClone, KeepsBothKindsInBothLanguages) {
    CErrorClone clone(TwoKindError());
    struct {
        int line, kind;
        bool english;
        char const* text;
    } const rows[] = {
        {0, 0, false, "Datei fehlt"}, {1, 0, false, "Pfad prüfen"}, {2, 0, false, "<none>"},
        {1, 0, true, "Check the path"}, {0, 1, false, "Detail"}, {0, 1, true, "Detail (en)"},
        {1, 1, true, "<none>"},
        {0, 7, true, "Detail (en)"}, {0, -1, false, "Detail"},  // every kind but 0 reads the kind-1 lines
    };
    for (auto const& r : rows) EXPECT_EQ(LineOf(clone, r.line, r.kind, r.english), r.text) << r.line << "/" << r.kind;
    // The four-argument form follows the stored flag without asking anyone again.
    char buffer[64];
    EXPECT_GT(clone.GetDescriptionLine(0, 0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "Datei fehlt");
    clone.EnableMessageTranslation(0);
    EXPECT_GT(clone.GetDescriptionLine(0, 0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "File missing");
}

TEST(ErrorClone, ReadingCutsAndTerminates) {
    ScriptedError source;
    source.lines[0][0] = {"abcdefgh", "second"};
    source.lines[1][0] = {std::string(400, 'x')};
    CErrorClone const clone(source);
    struct {
        char const* name;
        int line, size, result;
        char const* text;
    } const rows[] = {
        {"whole", 0, 32, 8, "abcdefgh"}, {"exact", 0, 9, 8, "abcdefgh"}, {"cutToFour", 0, 5, 4, "abcd"},
        {"sizeOne", 0, 1, 0, ""},        {"secondLine", 1, 32, 6, "second"}, {"pastTheEnd", 2, 32, 0, ""},
        {"negative", -1, 32, 0, ""},
    };
    for (auto const& r : rows) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(clone.GetDescriptionLine(r.line, 0, buffer, r.size, false), r.result) << r.name;
        EXPECT_STREQ(buffer, r.text) << r.name;
    }
    // A source line longer than a stored line holds is cut to what fits in 299 bytes.
    char big[600];
    EXPECT_EQ(clone.GetDescriptionLine(0, 1, big, sizeof big, false), 298);
    EXPECT_EQ(std::string(big), std::string(298, 'x'));
    // No buffer or no room: 0, and nothing is written.
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(clone.GetDescriptionLine(0, 0, nullptr, 10, false), 0);
    EXPECT_EQ(clone.GetDescriptionLine(0, 0, buffer, 0, false), 0);
    EXPECT_EQ(clone.GetDescriptionLine(0, 0, buffer, -3, false), 0);
    EXPECT_EQ(buffer[0], '#');
}

TEST(ErrorClone, EmptyLineEndsCopyConstructionButAssignmentKeepsIt) {
    ScriptedError source;
    source.lines[0][0] = {"first", "", "third"};
    CErrorClone original(source);  // stores all three, the empty one included
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

    // Self-assignment in either form changes nothing.
    original.SetFatal(3);
    CErrorClone& self = original;
    original = self;
    original = static_cast<IZelkError const&>(self);
    EXPECT_EQ(original.Fatal(), 3);
    EXPECT_EQ(LineOf(original, 2, 0, false), "third");
    EXPECT_EQ(original.GetOrdinalNumber(), COrdinalNumber(1));
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

    // Assigning through the interface changes neither side.
    ScriptedError x(1), y(2);
    x.code = 10;
    static_cast<IZelkError&>(x) = static_cast<IZelkError const&>(y);
    EXPECT_EQ(x.code, 10);
    EXPECT_EQ(x.number, 1u);
}

}  // namespace
