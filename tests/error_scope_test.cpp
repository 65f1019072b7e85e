// CZelkErrorScope as a host uses it: work abandoned by an early return or an
// exception leaves no errors behind, kept work keeps them, errors from before
// the scope stay; scopes nest, move and work on their own thread's list.
//
// The host has an operator new of its own, as leak trackers install, which
// refuses to free a block it did not hand out: on Windows the library has a
// C++ run-time of its own, so memory that changed hands would show here.
#include "layer_thread.h"
#include "test_errors.h"

#include <zelk/error_scope.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {
struct alignas(std::max_align_t) Header {
    void* self;
};
void Free(void* block) noexcept {
    if (block == nullptr) return;
    Header* const header = static_cast<Header*>(block) - 1;
    if (header->self != header) std::abort();  // not a block of this host's
    header->self = nullptr;
    std::free(header);
}
}  // namespace

void* operator new(std::size_t size) {
    auto* const header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (header == nullptr) throw std::bad_alloc();
    header->self = header;
    return header + 1;
}
void operator delete(void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }

namespace {

using zelk::test::Numbers;
using zelk::test::TestError;
using Numbers_t = std::vector<std::uint32_t>;

std::uint32_t Report() { return ERRAdd(TestError("scope.cpp", 1, 1)).GetOrdinalNumber().Get(); }

Numbers_t Of(std::vector<ErrorListPos> const& positions) {
    Numbers_t numbers;
    for (ErrorListPos const& p : positions) numbers.push_back(p.GetOrdinalNumber().Get());
    return numbers;
}
Numbers_t Mine() { return Numbers(ERRMyList()); }

struct ErrorScope : ::testing::Test {
    void SetUp() override { ERRClearErrors(); }
    void TearDown() override { ERRClearErrors(); }
};

enum class Outcome { Return, Throw, Keep };

// A piece of work that reports two errors and then gives up or succeeds.
bool Work(Outcome outcome, Numbers_t* reported = nullptr) {
    CZelkErrorScope scope;
    Report();
    Report();
    if (reported) *reported = Of(scope.Errors());
    if (outcome == Outcome::Return) return false;
    if (outcome == Outcome::Throw) throw std::runtime_error("abandoned");
    scope.Keep();
    return true;
}

TEST_F(ErrorScope, AbandonedWorkLeavesNoErrorsKeptWorkKeepsThem) {
    for (bool emptyBefore : {true, false}) {
        SCOPED_TRACE(emptyBefore ? "empty list before" : "errors before");
        ERRClearErrors();
        Numbers_t before;
        if (!emptyBefore) before = {Report(), Report()};
        EXPECT_FALSE(Work(Outcome::Return));
        EXPECT_EQ(Mine(), before);
        EXPECT_THROW(Work(Outcome::Throw), std::runtime_error);
        EXPECT_EQ(Mine(), before);
        Numbers_t reported;
        EXPECT_TRUE(Work(Outcome::Keep, &reported));
        Numbers_t all = before;
        all.insert(all.end(), reported.begin(), reported.end());
        EXPECT_EQ(reported.size(), 2u) << "Errors(): the two reported in the scope";
        EXPECT_EQ(Mine(), all);
    }
}

// An inner scope's fate is its own; the outer one decides for everything
// after its mark, even once the error at its mark has been cleared away.
TEST_F(ErrorScope, NestedScopesAndAClearedMark) {
    std::uint32_t const a = Report();
    {
        CZelkErrorScope outer;
        std::uint32_t const b = Report();
        {
            CZelkErrorScope inner;
            Report();
        }
        EXPECT_EQ(Mine(), (Numbers_t{a, b}));
        std::uint32_t c = 0;
        {
            CZelkErrorScope inner;
            c = Report();
            inner.Keep();
        }
        EXPECT_EQ(Of(outer.Errors()), (Numbers_t{b, c}));
    }
    EXPECT_EQ(Mine(), Numbers_t{a});
    {
        CZelkErrorScope scope;  // marks a
        ERRClearErrors();
        Report();
    }
    EXPECT_TRUE(Mine().empty());
}

// A moved-from scope does nothing; the scope it moved to ends once, with the
// old mark and the old Keep(); a scope assigned over ends first.
TEST_F(ErrorScope, MovedScopesEndOnce) {
    std::uint32_t const a = Report();
    {
        std::optional<CZelkErrorScope> first(std::in_place);  // marks a
        std::uint32_t const b = Report();
        CZelkErrorScope second(std::move(*first));
        first->Keep();
        EXPECT_TRUE(first->Errors().empty());
        first.reset();
        EXPECT_EQ(Mine(), (Numbers_t{a, b}));
        CZelkErrorScope third;  // marks b
        Report();
        third = std::move(second);  // removes its own error, then holds the mark at a
        EXPECT_EQ(Mine(), (Numbers_t{a, b}));
        EXPECT_EQ(Of(third.Errors()), Numbers_t{b});
    }
    EXPECT_EQ(Mine(), Numbers_t{a});
    {
        CZelkErrorScope kept;
        Report();
        kept.Keep();
        CZelkErrorScope taken(std::move(kept));
    }
    EXPECT_EQ(Mine().size(), 2u);
}

// A scope on a thread the library started works on that thread's list only.
TEST_F(ErrorScope, AScopeWorksOnItsOwnThreadsList) {
    std::uint32_t const a = Report();
    zelk::test::LayerThread worker([] {
        Report();
        CZelkErrorScope scope;
        Report();
        return 0ul;
    });
    worker.Join();
    EXPECT_EQ(worker.Thread().GetErrorList().GetErrorCount(), 1u);
    EXPECT_EQ(Mine(), Numbers_t{a});
}

}  // namespace
