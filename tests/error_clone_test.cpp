// CErrorClone: what a snapshot stores, how it reads back, and how it copies.
#include "test_errors.h"

#include <zelk/error.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using zelk::test::LineOf;
using zelk::test::ScriptedError;

namespace {

std::vector<long long> Values(IZelkError const& e) {
    return {e.GetOrdinalNumber().Get(),     e.GetError(), e.GetLine(), e.GetTime(), e.GetErrorIcon(), e.Fatal(),
            e.IsMessageTranslationEnabled()};
}

TEST(ErrorClone, EmptySnapshotHasDefinedValues) {
    CErrorClone const empty;
    EXPECT_EQ(Values(empty), (std::vector<long long>{0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(std::string(empty.GetTypeName()) + empty.GetThreadName() + empty.GetErrorFile(), "");
    EXPECT_EQ(LineOf(empty, 0, 0, false) + LineOf(empty, 0, 1, true), "<none><none>");
}

// Null texts become "", and Fatal() is stored as the source answered it.
TEST(ErrorClone, StoresWhatTheSourceReports) {
    struct CodeZeroError : ScriptedError {  // Fatal() disagrees with the flag
        int Fatal() const override { return ScriptedError::Fatal() != 0 && code != 0; }
    } source;
    source.code = 0;
    source.icon = ZelkErrorIconInformation;
    source.translate = 0;
    source.typeName = source.threadName = nullptr;
    CErrorClone clone(source);
    EXPECT_EQ(Values(clone), (std::vector<long long>{1, 0, 17, 1700000000, ZelkErrorIconInformation, 0, 0}));
    EXPECT_EQ(std::string(clone.GetTypeName()) + clone.GetThreadName() + clone.GetErrorFile(), "scripted.cpp");
    EXPECT_EQ(clone.SetFatal(5), 5);
}

// Both kinds in both languages (every kind but 0 reads the kind-1 lines),
// lines cut to the buffer and to the 299 bytes a stored line holds.
TEST(ErrorClone, KeepsBothKindsInBothLanguages) {
    ScriptedError source(7);
    source.lines[0][0] = {"abcdefgh", "Pfad prüfen"};
    source.lines[0][1] = {"File missing"};
    source.lines[1][0] = {std::string(400, 'x')};
    source.lines[1][1] = {"Detail (en)"};
    CErrorClone clone(source);
    // clang-format off
    struct {
        int line, kind, english, size, result;
        char const* text;
    } const rows[] = {
        {1, 0, 0, 64, 12, "Pfad prüfen"}, {1, 0, 1, 64, 0, ""}, {0, 7, 1, 64, 11, "Detail (en)"}, {0, -1, 0, 600, 298, ""},
        {0, 0, 0, 9, 8, "abcdefgh"}, {0, 0, 0, 5, 4, "abcd"}, {0, 0, 0, 1, 0, ""}, {0, 0, 0, 0, 0, "junk"},
        {-1, 0, 0, 64, 0, ""},
    };
    // clang-format on
    for (auto const& r : rows) {
        char buffer[600] = "junk";
        EXPECT_EQ(clone.GetDescriptionLine(r.line, r.kind, buffer, r.size, r.english == 1), r.result)
            << r.line << "/" << r.kind;
        EXPECT_EQ(std::string(buffer), r.result == 298 ? std::string(298, 'x') : r.text) << r.line << "/" << r.kind;
    }
    EXPECT_EQ(clone.GetDescriptionLine(0, 0, nullptr, 10, false), 0);
    // The four-argument form follows the stored flag without asking anyone again.
    char buffer[64];
    EXPECT_GT(clone.GetDescriptionLine(0, 0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "abcdefgh");
    clone.EnableMessageTranslation(0);
    EXPECT_GT(clone.GetDescriptionLine(0, 0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "File missing");
}

// Copy construction reads again through the interface, so an empty line ends
// it; assignment from a snapshot copies the record whole and deeply.
TEST(ErrorClone, CopiesAndAssignments) {
    ScriptedError source;
    source.lines[0][0] = {"first", "", "third"};
    auto original = std::make_unique<CErrorClone>(source);  // stores all three, the empty one included
    EXPECT_EQ(LineOf(*original, 1, 0, false), "<none>");  // an empty stored line reads as none
    EXPECT_EQ(LineOf(*original, 2, 0, false), "third");
    EXPECT_EQ(LineOf(CErrorClone(*original), 2, 0, false), "<none>");
    CErrorClone viaInterface;
    viaInterface = static_cast<IZelkError const&>(*original);  // a fresh snapshot
    EXPECT_EQ(LineOf(viaInterface, 2, 0, false), "<none>");

    CErrorClone assigned;
    assigned = *original;
    original.reset();
    EXPECT_EQ(LineOf(assigned, 2, 0, false), "third");
    // Self-assignment in either form changes nothing.
    assigned.SetFatal(3);
    CErrorClone& self = assigned;
    assigned = self;
    assigned = static_cast<IZelkError const&>(self);
    EXPECT_EQ(assigned.Fatal(), 3);
    EXPECT_EQ(LineOf(assigned, 2, 0, false), "third");

    // Assigning through the interface changes neither side.
    ScriptedError x(1), y(2);
    x.code = 10;
    static_cast<IZelkError&>(x) = static_cast<IZelkError const&>(y);
    EXPECT_EQ(x.code * 100 + int(x.number), 1001);
}

}  // namespace
