// CZelkErrorList and ErrorListPos: walking, capacity, rollback and copying.
#include "test_errors.h"

#include <zelk/error_list.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

using zelk::test::LineOf;
using zelk::test::ScriptedError;

namespace {

ErrorListPos At(std::uint32_t number) { return ErrorListPos(COrdinalNumber(number)); }
std::uint32_t NumberOf(ErrorListPos const& pos) { return pos.GetOrdinalNumber().Get(); }

void AddNumbers(CZelkErrorList& list, std::initializer_list<std::uint32_t> numbers) {
    for (std::uint32_t n : numbers) list.AddError(ScriptedError(n));
}

std::vector<std::uint32_t> Numbers(CZelkErrorList const& list) {
    std::vector<std::uint32_t> numbers;
    for (ErrorListPos pos = list.GetFirst(); !pos.IsNull(); pos = list.GetNext(pos)) numbers.push_back(NumberOf(pos));
    return numbers;
}

using Numbers_t = std::vector<std::uint32_t>;

TEST(ErrorList, EmptyListGivesNullPositions) {
    CZelkErrorList const list;
    EXPECT_EQ(list.GetErrorCount(), 0u);
    EXPECT_TRUE(list.GetFirst().IsNull());
    EXPECT_TRUE(list.GetLast().IsNull());
    EXPECT_EQ(ErrorListPos(), At(0));  // the default position is the null one
    for (std::uint32_t n : {0u, 1u, 5u}) {
        EXPECT_TRUE(list.GetNext(At(n)).IsNull());
        EXPECT_TRUE(list.GetPrevious(At(n)).IsNull());
    }
    CErrorClone snapshot;
    EXPECT_EQ(list.GetError(snapshot, At(1)), 0);
}

TEST(ErrorList, WalksForwardAndBackwardByUnsignedNumber) {
    CZelkErrorList list;
    AddNumbers(list, {9, 3, 5});  // order of adding plays no part
    EXPECT_EQ(NumberOf(list.GetFirst()), 3u);
    EXPECT_EQ(NumberOf(list.GetLast()), 9u);
    struct {
        std::uint32_t from, next, previous;
    } const cases[] = {
        {3, 5, 0},  // the first has no previous
        {5, 9, 3},
        {9, 0, 5},  // the last has no next
        {4, 0, 9},  // a number not in the list: no next, and it lies past the end
        {0, 0, 9},  // the null position likewise
    };
    for (auto const& c : cases) {
        EXPECT_EQ(NumberOf(list.GetNext(At(c.from))), c.next) << "next of " << c.from;
        EXPECT_EQ(NumberOf(list.GetPrevious(At(c.from))), c.previous) << "previous of " << c.from;
    }
    CZelkErrorList high;
    AddNumbers(high, {0x80000000u, 1u, 0xFFFFFFFFu});
    EXPECT_EQ(Numbers(high), (Numbers_t{1u, 0x80000000u, 0xFFFFFFFFu}));
}

// A snapshot is copied out whole, outlives its error, and a second add of
// the same number replaces it; a miss leaves the caller's snapshot alone.
TEST(ErrorList, SnapshotsAreKeptReplacedAndCopiedOut) {
    CZelkErrorList list;
    {
        ScriptedError source(4);
        source.lines[0][0] = {"a", "", "c"};
        source.code = 1;
        list.AddError(source);
        source.code = 2;
        list.AddError(source);
    }
    EXPECT_EQ(list.GetErrorCount(), 1u);
    CErrorClone snapshot;
    ASSERT_EQ(list.GetError(snapshot, At(4)), 1);
    EXPECT_EQ(snapshot.GetError(), 2);
    EXPECT_EQ(LineOf(snapshot, 2, 0, false), "c");  // lines after an empty one survive the copy out
    EXPECT_EQ(list.GetError(snapshot, At(5)), 0);
    EXPECT_EQ(list.GetError(snapshot, ErrorListPos()), 0);
    EXPECT_EQ(snapshot.GetOrdinalNumber(), COrdinalNumber(4));
}

TEST(ErrorList, FullListDropsNewErrorsAndNewSnapshotsOfOldOnes) {
    CZelkErrorList list;
    ScriptedError error(1);
    for (std::uint32_t n = 1; n <= 1001; ++n) {
        error.number = n;
        list.AddError(error);
    }
    EXPECT_EQ(list.GetErrorCount(), 1000u);
    EXPECT_EQ(NumberOf(list.GetLast()), 1000u);

    error.number = 500;
    error.code = 77;
    list.AddError(error);  // already held, but the full list refuses it all the same
    CErrorClone snapshot;
    ASSERT_EQ(list.GetError(snapshot, At(500)), 1);
    EXPECT_EQ(snapshot.GetError(), 42);

    list.Rollback(At(999));
    error.number = 1001;
    list.AddError(error);
    EXPECT_EQ(NumberOf(list.GetLast()), 1001u);
}

struct RollbackCase {
    char const* name;
    std::uint32_t position;
    Numbers_t left;
};

TEST(ErrorList, Rollback) {
    RollbackCase const cases[] = {
        {"toNullEmpties", 0, {}},
        {"toMissingKeepsAll", 4, {3, 5, 9}},
        {"toMiddle", 5, {3, 5}},
        {"toFirst", 3, {3}},
        {"toLast", 9, {3, 5, 9}},
    };
    for (RollbackCase const& c : cases) {
        CZelkErrorList list;
        AddNumbers(list, {3, 5, 9});
        list.Rollback(At(c.position));
        EXPECT_EQ(Numbers(list), c.left) << c.name;
    }
}

struct CopyCase {
    char const* name;
    bool hasFrom;
    std::uint32_t from;
    bool hasTo;
    std::uint32_t to;
    Numbers_t source;
    Numbers_t copied;
    std::uint32_t fromAfter;
};

TEST(ErrorList, CopyErrorsToRanges) {
    CopyCase const cases[] = {
        {"afterFromUpToTo", true, 3, true, 5, {3, 5, 9}, {5}, 5},
        {"fromEqualsTo", true, 5, true, 5, {3, 5, 9}, {}, 5},
        {"toBeforeFrom", true, 9, true, 3, {3, 5, 9}, {}, 9},
        {"bothNull", false, 0, false, 0, {3, 5, 9}, {3, 5, 9}, 0},
        {"nullFromStartsAtTheBeginning", false, 0, true, 5, {3, 5, 9}, {3, 5}, 0},
        {"nullToRunsToTheEnd", true, 3, false, 0, {3, 5, 9}, {5, 9}, 9},
        {"nothingAfterFromLeavesFrom", true, 9, false, 0, {3, 5, 9}, {}, 9},
        // `to` names no snapshot: the first one after it is copied, then the walk stops.
        {"toMissingTakesTheNextOne", true, 0, true, 4, {3, 5, 9}, {3, 5}, 5},
        // Bounds run on the circle of 2^32: 2 and 5 follow 0xFFFFFFF0, while
        // 0xFFFFFFF5 comes last in the map and after the end.
        {"boundsWrapModulo2To32", true, 0xFFFFFFF0u, true, 5, {2, 5, 0xFFFFFFF5u}, {2, 5}, 5},
        {"emptySource", false, 0, false, 0, {}, {}, 0},
    };
    for (CopyCase const& c : cases) {
        CZelkErrorList source, target;
        for (std::uint32_t n : c.source) source.AddError(ScriptedError(n));
        ErrorListPos from = At(c.from), to = At(c.to);
        source.CopyErrorsTo(target, c.hasFrom ? &from : nullptr, c.hasTo ? &to : nullptr);
        EXPECT_EQ(Numbers(target), c.copied) << c.name;
        if (c.hasFrom) {
            EXPECT_EQ(NumberOf(from), c.fromAfter) << c.name;
        }
        EXPECT_EQ(Numbers(source), c.source) << c.name;
    }
}

// A kept `from` copies only what was added since; the target's snapshots are
// replaced and its capacity honoured; a list copied into itself loses nothing.
TEST(ErrorList, CopyFollowsFromAndTheTargetsRules) {
    CZelkErrorList source, target;
    ErrorListPos from;
    AddNumbers(source, {1, 2});
    source.CopyErrorsTo(target, &from, nullptr);
    target.ClearErrors();
    AddNumbers(source, {3, 4});
    source.CopyErrorsTo(target, &from, nullptr);
    EXPECT_EQ(Numbers(target), (Numbers_t{3, 4}));
    EXPECT_EQ(NumberOf(from), 4u);

    ScriptedError newer(3);
    newer.code = 2;
    source.AddError(newer);
    source.CopyErrorsTo(target, nullptr, nullptr);
    CErrorClone snapshot;
    ASSERT_EQ(target.GetError(snapshot, At(3)), 1);
    EXPECT_EQ(snapshot.GetError(), 2);

    CZelkErrorList full;
    for (std::uint32_t n = 2000; n < 3000; ++n) full.AddError(ScriptedError(n));
    source.CopyErrorsTo(full, nullptr, nullptr);
    EXPECT_EQ(full.GetErrorCount(), 1000u);
    EXPECT_EQ(full.GetError(snapshot, At(3)), 0);

    source.CopyErrorsTo(source, nullptr, nullptr);
    EXPECT_EQ(Numbers(source), (Numbers_t{1, 2, 3, 4}));
}

TEST(ErrorList, CopiesAreIndependentLists) {
    auto original = std::make_unique<CZelkErrorList>();
    ScriptedError error(6);
    error.lines[0][1] = {"english"};
    original->AddError(error);
    CZelkErrorList copy(*original);
    CZelkErrorList assigned;
    AddNumbers(assigned, {1, 2, 3});
    assigned = *original;
    original.reset();

    for (CZelkErrorList* list : {&copy, &assigned}) {
        EXPECT_EQ(Numbers(*list), (Numbers_t{6}));
        CErrorClone snapshot;
        ASSERT_EQ(list->GetError(snapshot, At(6)), 1);
        EXPECT_EQ(LineOf(snapshot, 0, 0, true), "english");
        list->AddError(ScriptedError(7));  // each works on, with a lock of its own
        EXPECT_EQ(list->GetErrorCount(), 2u);
    }
    assigned = assigned;  // self-assignment changes nothing
    EXPECT_EQ(assigned.GetErrorCount(), 2u);
}

// An error whose type name cannot be read: the list must let go of its lock
// when the exception passes through AddError.
class ThrowingError : public ScriptedError {
public:
    using ScriptedError::ScriptedError;
    char const* GetTypeName() const override { throw std::runtime_error("unreadable"); }
};

TEST(ErrorList, LockIsReleasedWhenAnExceptionPassesThrough) {
    CZelkErrorList list;
    AddNumbers(list, {1});
    EXPECT_THROW(list.AddError(ThrowingError(2)), std::runtime_error);
    EXPECT_THROW(list.AddError(ThrowingError(1)), std::runtime_error);  // replacing fails too
    unsigned count = 0;
    std::thread other([&] { count = list.GetErrorCount(); });  // would hang on a leaked lock
    other.join();
    EXPECT_EQ(count, 1u);
    CErrorClone snapshot;
    ASSERT_EQ(list.GetError(snapshot, At(1)), 1);
    EXPECT_STREQ(snapshot.GetTypeName(), "ScriptedError");  // the old snapshot is intact
}

}  // namespace
