// CZelkErrorList and ErrorListPos: walking, capacity, rollback and copying.
#include "test_errors.h"

#include <zelk/error_list.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

using zelk::test::LineOf;
using zelk::test::Numbers;
using zelk::test::ScriptedError;

namespace {

using Numbers_t = std::vector<std::uint32_t>;

ErrorListPos At(std::uint32_t number) { return ErrorListPos(COrdinalNumber(number)); }
std::uint32_t NumberOf(ErrorListPos const& pos) { return pos.GetOrdinalNumber().Get(); }

void AddNumbers(CZelkErrorList& list, Numbers_t const& numbers) {
    for (std::uint32_t n : numbers) list.AddError(ScriptedError(n));
}

// The code of the snapshot held under `number`, or -1 when none is.
int CodeAt(CZelkErrorList const& list, std::uint32_t number) {
    CErrorClone snapshot;
    return list.GetError(snapshot, At(number)) == 1 ? snapshot.GetError() : -1;
}

// Walks run by number whatever the order of adding; a position that
// names no snapshot has no next and lies past the end.  Rollback to it changes
// nothing, to the null position empties the list.
TEST(ErrorList, WalksAndRollbacks) {
    CZelkErrorList list;
    EXPECT_EQ(NumberOf(list.GetFirst()) + NumberOf(list.GetLast()) + NumberOf(list.GetNext(At(1))) +
                  NumberOf(list.GetPrevious(At(1))) + list.GetErrorCount(),
              0u);
    AddNumbers(list, {9, 3, 5});
    EXPECT_EQ(NumberOf(list.GetFirst()), 3u);
    struct {
        std::uint32_t from, next, previous;
        Numbers_t leftByRollback;
    } const cases[] = {{3, 5, 0, {3}}, {5, 9, 3, {3, 5}}, {9, 0, 5, {3, 5, 9}}, {4, 0, 9, {3, 5, 9}}, {0, 0, 9, {}}};
    for (auto const& c : cases) {
        EXPECT_EQ(NumberOf(list.GetNext(At(c.from))), c.next) << "next of " << c.from;
        EXPECT_EQ(NumberOf(list.GetPrevious(At(c.from))), c.previous) << "previous of " << c.from;
        CZelkErrorList copy(list);
        copy.Rollback(At(c.from));
        EXPECT_EQ(Numbers(copy), c.leftByRollback) << "rollback to " << c.from;
    }
}

// A second add of the same number replaces the snapshot, except in a full
// list, which drops new errors and new snapshots of old ones alike.
TEST(ErrorList, ReplacementAndCapacity) {
    CZelkErrorList list;
    ScriptedError error(4);
    list.AddError(error);
    error.code = 2;
    list.AddError(error);
    EXPECT_EQ(list.GetErrorCount(), 1u);
    EXPECT_EQ(CodeAt(list, 4), 2);

    for (std::uint32_t n = 1; n <= 1001; ++n) list.AddError((error.number = n, error));
    EXPECT_EQ(NumberOf(list.GetLast()), 1000u);
    error.number = 500;
    error.code = 77;
    list.AddError(error);
    EXPECT_EQ(CodeAt(list, 500), 2);
}

constexpr std::uint32_t kNull = 0xDEAD;  // stands for a null pointer to the bound

TEST(ErrorList, CopyErrorsToRanges) {
    struct {
        char const* name;
        std::uint32_t from, to;
        Numbers_t source, copied;
        std::uint32_t fromAfter;
    } const cases[] = {
        {"afterFromUpToTo", 3, 5, {3, 5, 9}, {5}, 5},
        {"fromEqualsTo", 5, 5, {3, 5, 9}, {}, 5},
        {"toBeforeFrom", 9, 3, {3, 5, 9}, {}, 9},
        {"bothNull", kNull, kNull, {3, 5, 9}, {3, 5, 9}, 0},
        {"nullFromStartsAtTheBeginning", kNull, 5, {3, 5, 9}, {3, 5}, 0},
        {"nullToRunsToTheEnd", 3, kNull, {3, 5, 9}, {5, 9}, 9},
        // `to` names no snapshot: the first one after it is copied, then the walk stops.
        {"toMissingTakesTheNextOne", 0, 4, {3, 5, 9}, {3, 5}, 5},
        // Bounds run on the circle of 2^32: 2 and 5 follow 0xFFFFFFF0, while
        // 0xFFFFFFF5 comes last in the map and after the end.
        {"boundsWrapModulo2To32", 0xFFFFFFF0u, 5, {2, 5, 0xFFFFFFF5u}, {2, 5}, 5},
        // `to` just inside half the circle after `from` is a range; one step
        // further it lies before `from`, and nothing is copied.
        {"spanJustBelowTheBoundary", 0, 0x7FFFFFFEu, {1, 5}, {1, 5}, 5},
        {"spanAtTheBoundary", 0, 0x7FFFFFFFu, {1, 5}, {}, 0},
    };
    for (auto const& c : cases) {
        CZelkErrorList source, target;
        AddNumbers(source, c.source);
        ErrorListPos from = At(c.from), to = At(c.to);
        source.CopyErrorsTo(target, c.from == kNull ? nullptr : &from, c.to == kNull ? nullptr : &to);
        EXPECT_EQ(Numbers(target), c.copied) << c.name;
        if (c.from != kNull) {
            EXPECT_EQ(NumberOf(from), c.fromAfter) << c.name;
        }
        EXPECT_EQ(Numbers(source), c.source) << c.name;
    }
}

// Copies land by the target's own rules: a snapshot replaces the one the
// target holds under its number, and a full target takes nothing more, not
// even a newer snapshot of a number it holds.
TEST(ErrorList, CopyIntoOccupiedAndFullTargets) {
    CZelkErrorList source, target;
    ScriptedError error(5);
    error.code = 1;
    error.lines[0][0] = {"old text"};
    target.AddError(error);
    error.code = 2;
    error.lines[0][0] = {"new text"};
    source.AddError(error);
    source.CopyErrorsTo(target, nullptr, nullptr);
    CErrorClone snapshot;
    ASSERT_EQ(target.GetError(snapshot, At(5)), 1);
    EXPECT_EQ(snapshot.GetError(), 2);
    EXPECT_EQ(LineOf(snapshot, 0, 0, false), "new text");

    CZelkErrorList full;
    for (std::uint32_t n = 1; n <= 1000; ++n) full.AddError(ScriptedError(n));
    AddNumbers(source, {1001});
    source.CopyErrorsTo(full, nullptr, nullptr);
    EXPECT_EQ(full.GetErrorCount(), 1000u);
    EXPECT_EQ(NumberOf(full.GetLast()), 1000u);
    EXPECT_EQ(CodeAt(full, 5), 42);
}

// Copies and assignments are deep, with a lock of their own; a miss leaves
// the caller's snapshot exactly as it was.
TEST(ErrorList, CopiesAreIndependentLists) {
    auto original = std::make_unique<CZelkErrorList>();
    ScriptedError error(6);
    error.lines[0][1] = {"english"};
    original->AddError(error);
    CZelkErrorList assigned;
    AddNumbers(assigned, {1, 2, 3});
    assigned = *original;
    original.reset();
    CErrorClone snapshot;
    ASSERT_EQ(assigned.GetError(snapshot, At(6)), 1);
    EXPECT_EQ(assigned.GetError(snapshot, At(9)) + assigned.GetError(snapshot, ErrorListPos()), 0);
    EXPECT_EQ(snapshot.GetOrdinalNumber().Get(), 6u);
    EXPECT_EQ(LineOf(snapshot, 0, 0, true), "english");
    assigned.AddError(ScriptedError(7));
    assigned = assigned;  // must neither deadlock on its own lock nor lose anything
    assigned.CopyErrorsTo(assigned, nullptr, nullptr);  // likewise
    EXPECT_EQ(Numbers(assigned), (Numbers_t{6, 7}));
}

// An error whose type name cannot be read: the list must let go of its lock
// when the exception passes through AddError, and keep the old snapshot.
TEST(ErrorList, LockIsReleasedWhenAnExceptionPassesThrough) {
    struct ThrowingError : ScriptedError {
        using ScriptedError::ScriptedError;
        char const* GetTypeName() const override { throw std::runtime_error("unreadable"); }
    };
    CZelkErrorList list;
    AddNumbers(list, {1});
    EXPECT_THROW(list.AddError(ThrowingError(2)), std::runtime_error);
    EXPECT_THROW(list.AddError(ThrowingError(1)), std::runtime_error);  // replacing fails too
    unsigned count = 0;
    std::thread([&] { count = list.GetErrorCount(); }).join();  // would hang on a leaked lock
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(CodeAt(list, 1), 42);
}

}  // namespace
