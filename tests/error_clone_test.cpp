// CErrorClone: what a snapshot stores, how it reads back, and how it copies.
#include "test_errors.h"

#include <zelk/error.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using zelk::test::LineOf;
using zelk::test::ScriptedError;

namespace {

TEST(ErrorClone, EmptySnapshotHasDefinedValues) {
    CErrorClone const empty;
    EXPECT_EQ(empty.GetOrdinalNumber(), COrdinalNumber(0));
    EXPECT_EQ((std::vector<long long>{empty.GetError(), empty.GetLine(), empty.GetTime(), empty.GetErrorIcon(), empty.Fatal(),
                                      empty.IsMessageTranslationEnabled()}),
              (std::vector<long long>{0, 0, 0, 0, 1, 1}));
    EXPECT_STREQ(empty.GetTypeName(), "");
    EXPECT_STREQ(empty.GetThreadName(), "");
    EXPECT_STREQ(empty.GetErrorFile(), "");
    EXPECT_EQ(LineOf(empty, 0, 0, false) + LineOf(empty, 0, 1, true), "<none><none>");
}

// The snapshot reads its source once, in a fixed order, and reports what it
// read; null texts become "", and Fatal() is stored as the source answered.
TEST(ErrorClone, ReadsTheSourceOnceInOrder) {
    struct CodeZeroError : ScriptedError {  // Fatal() disagrees with the flag
        int Fatal() const override { return ScriptedError::Fatal() != 0 && code != 0; }
    } source;
    source.code = 0;
    source.line = 99;
    source.time = 1234567;
    source.icon = ZelkErrorIconInformation;
    source.translate = 0;
    source.typeName = source.threadName = nullptr;
    CErrorClone clone(source);
    std::vector<std::string> const expected = {
        "GetOrdinalNumber", "GetError", "GetTypeName",  "GetThreadName", "Fatal", "GetErrorIcon", "GetLine",
        "GetErrorFile",     "GetTime",  "IsMessageTranslationEnabled",
        // one call per array, each ending at the first line the source lacks
        "GetDescriptionLine", "GetDescriptionLine", "GetDescriptionLine", "GetDescriptionLine"};
    EXPECT_EQ(source.calls, expected);
    EXPECT_EQ((std::vector<long long>{clone.GetOrdinalNumber().Get(), clone.GetError(), clone.GetLine(), clone.GetTime(),
                                      clone.GetErrorIcon(), clone.IsMessageTranslationEnabled()}),
              (std::vector<long long>{1, 0, 99, 1234567, ZelkErrorIconInformation, 0}));
    EXPECT_STREQ(clone.GetTypeName(), "");
    EXPECT_STREQ(clone.GetThreadName(), "");
    EXPECT_STREQ(clone.GetErrorFile(), "scripted.cpp");
    EXPECT_EQ(clone.Fatal(), 0);
    EXPECT_EQ(clone.SetFatal(5), 5);
    EXPECT_EQ(clone.Fatal(), 5);
}

TEST(ErrorClone, KeepsBothKindsInBothLanguages) {
    ScriptedError source(7);
    source.lines[0][0] = {"Datei fehlt", "Pfad prüfen"};
    source.lines[0][1] = {"File missing", "Check the path"};
    source.lines[1][0] = {"Detail"};
    source.lines[1][1] = {"Detail (en)"};
    CErrorClone clone(source);
    struct {
        int line, kind;
        bool english;
        char const* text;
    } const rows[] = {
        {0, 0, false, "Datei fehlt"}, {1, 0, false, "Pfad prüfen"}, {2, 0, false, "<none>"},
        {1, 0, true, "Check the path"}, {0, 1, false, "Detail"}, {0, 1, true, "Detail (en)"}, {1, 1, true, "<none>"},
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
        int line, size, result;
        char const* text;
    } const rows[] = {{0, 32, 8, "abcdefgh"}, {0, 9, 8, "abcdefgh"}, {0, 5, 4, "abcd"}, {0, 1, 0, ""},
                      {1, 32, 6, "second"},   {2, 32, 0, ""},         {-1, 32, 0, ""}};
    for (auto const& r : rows) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(clone.GetDescriptionLine(r.line, 0, buffer, r.size, false), r.result) << r.line << "/" << r.size;
        EXPECT_STREQ(buffer, r.text) << r.line << "/" << r.size;
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

// Copy construction reads again through the interface, so an empty line ends
// it; assignment from a snapshot copies the record whole and deeply.
TEST(ErrorClone, CopiesAndAssignments) {
    ScriptedError source;
    source.lines[0][0] = {"first", "", "third"};
    auto original = std::make_unique<CErrorClone>(source);  // stores all three, the empty one included
    EXPECT_EQ(LineOf(*original, 1, 0, false), "<none>");    // an empty stored line reads as none
    EXPECT_EQ(LineOf(*original, 2, 0, false), "third");
    CErrorClone const constructed(*original);
    EXPECT_EQ(LineOf(constructed, 0, 0, false), "first");
    EXPECT_EQ(LineOf(constructed, 2, 0, false), "<none>");
    CErrorClone viaInterface;
    viaInterface = static_cast<IZelkError const&>(*original);  // a fresh snapshot
    EXPECT_EQ(LineOf(viaInterface, 2, 0, false), "<none>");

    CErrorClone assigned;
    assigned = *original;
    original->SetFatal(0);
    original.reset();
    EXPECT_EQ(LineOf(assigned, 2, 0, false), "third");
    EXPECT_EQ(assigned.Fatal(), 1);
    // Self-assignment in either form changes nothing.
    assigned.SetFatal(3);
    CErrorClone& self = assigned;
    assigned = self;
    assigned = static_cast<IZelkError const&>(self);
    EXPECT_EQ(assigned.Fatal(), 3);
    EXPECT_EQ(LineOf(assigned, 2, 0, false), "third");
    EXPECT_EQ(assigned.GetOrdinalNumber(), COrdinalNumber(1));

    // Assigning through the interface changes neither side.
    ScriptedError x(1), y(2);
    x.code = 10;
    static_cast<IZelkError&>(x) = static_cast<IZelkError const&>(y);
    EXPECT_EQ(x.code, 10);
    EXPECT_EQ(x.number, 1u);
}

}  // namespace
