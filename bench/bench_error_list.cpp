// Error list operations, each beside the same work done on a plain
// std::map of copied strings under a std::recursive_mutex.
#include "bench/ratio.h"

#include <zelk/error_list.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

char const* const kLines[4] = {"The file could not be opened.", "Check that the path exists.",
                               "Check the access rights of the folder.", "Then try again."};

// An error with four description lines of kind 0, as a host's error might have.
class FourLineError final : public IZelkError {
public:
    explicit FourLineError(std::uint32_t number) : m_number(number) {}
    COrdinalNumber GetOrdinalNumber() const override { return COrdinalNumber(m_number); }
    char const* GetTypeName() const override { return "BenchError"; }
    int GetDescriptionLine(int line, int kind, char* buffer, int size) const override {
        return GetDescriptionLine(line, kind, buffer, size, false);
    }
    int GetDescriptionLine(int line, int kind, char* buffer, int size, bool) const override {
        if (kind != 0 || line < 0 || line >= 4) {
            buffer[0] = '\0';
            return 0;
        }
        std::strncpy(buffer, kLines[line], static_cast<std::size_t>(size));
        buffer[size - 1] = '\0';
        return 1;
    }
    int Fatal() const override { return 1; }
    int SetFatal(int fatal) override { return fatal; }
    ZelkErrorID GetErrorIcon() const override { return ZelkErrorIconError; }
    long GetTime() const override { return 1700000000; }
    int GetError() const override { return 42; }
    char const* GetErrorFile() const override { return "bench_error_list.cpp"; }
    int GetLine() const override { return 7; }
    void EnableMessageTranslation(int) override {}
    int IsMessageTranslationEnabled() const override { return 1; }
    char const* GetThreadName() const override { return "Main"; }

private:
    std::uint32_t m_number;
};

// The anchor's record: the same texts, copied directly.
struct PlainRecord {
    std::uint32_t number;
    std::string type, thread, file;
    std::vector<std::string> lines;
};

PlainRecord PlainCopy(std::uint32_t number) {
    return {number, "BenchError", "Main", "bench_error_list.cpp", {kLines[0], kLines[1], kLines[2], kLines[3]}};
}

void BM_ListAddError(benchmark::State& state) {
    CZelkErrorList list;
    std::uint32_t number = 1;
    for (auto _ : state) {
        list.AddError(FourLineError(number));
        if (++number > 1000) {
            state.PauseTiming();
            list.ClearErrors();
            number = 1;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_ListAddError);

void BM_AnchorMapInsert(benchmark::State& state) {
    std::recursive_mutex lock;
    std::map<std::uint32_t, PlainRecord> map;
    std::uint32_t number = 1;
    for (auto _ : state) {
        {
            std::lock_guard guard(lock);
            map.insert_or_assign(number, PlainCopy(number));
        }
        if (++number > 1000) {
            state.PauseTiming();
            map.clear();
            number = 1;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_AnchorMapInsert);
ZELK_RATIO("BM_ListAddError", "BM_AnchorMapInsert", 4.0);

void FillList(CZelkErrorList& list, std::uint32_t count) {
    for (std::uint32_t n = 1; n <= count; ++n) list.AddError(FourLineError(n));
}

void BM_ListWalk1000(benchmark::State& state) {
    CZelkErrorList list;
    FillList(list, 1000);
    for (auto _ : state) {
        unsigned count = 0;
        for (ErrorListPos pos = list.GetFirst(); !pos.IsNull(); pos = list.GetNext(pos)) ++count;
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(BM_ListWalk1000);

void BM_AnchorMapWalk1000(benchmark::State& state) {
    std::recursive_mutex lock;
    std::map<std::uint32_t, PlainRecord> map;
    for (std::uint32_t n = 1; n <= 1000; ++n) map.emplace(n, PlainCopy(n));
    for (auto _ : state) {
        // The same walk by key, one lookup and one lock per step.
        unsigned count = 0;
        std::uint32_t key = 0;
        for (;;) {
            std::lock_guard guard(lock);
            auto it = map.upper_bound(key);
            if (it == map.end()) break;
            key = it->first;
            ++count;
        }
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(BM_AnchorMapWalk1000);
ZELK_RATIO("BM_ListWalk1000", "BM_AnchorMapWalk1000", 2.0);

void BM_ListGetError(benchmark::State& state) {
    CZelkErrorList list;
    FillList(list, 1000);
    CErrorClone snapshot;
    ErrorListPos const pos(COrdinalNumber(500));
    for (auto _ : state) benchmark::DoNotOptimize(list.GetError(snapshot, pos));
}
BENCHMARK(BM_ListGetError);

void BM_AnchorMapCopyOut(benchmark::State& state) {
    std::recursive_mutex lock;
    std::map<std::uint32_t, PlainRecord> map;
    for (std::uint32_t n = 1; n <= 1000; ++n) map.emplace(n, PlainCopy(n));
    PlainRecord out;
    for (auto _ : state) {
        std::lock_guard guard(lock);
        out = map.find(500)->second;
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_AnchorMapCopyOut);
ZELK_RATIO("BM_ListGetError", "BM_AnchorMapCopyOut", 6.0);

void BM_ListRollback100(benchmark::State& state) {
    CZelkErrorList list;
    FillList(list, 900);
    for (auto _ : state) {
        state.PauseTiming();
        for (std::uint32_t n = 901; n <= 1000; ++n) list.AddError(FourLineError(n));
        state.ResumeTiming();
        list.Rollback(ErrorListPos(COrdinalNumber(900)));
    }
}
BENCHMARK(BM_ListRollback100);

void BM_ListCopyErrorsTo1000(benchmark::State& state) {
    CZelkErrorList source;
    FillList(source, 1000);
    for (auto _ : state) {
        CZelkErrorList target;
        source.CopyErrorsTo(target, nullptr, nullptr);
        benchmark::DoNotOptimize(target.GetErrorCount());
    }
}
BENCHMARK(BM_ListCopyErrorsTo1000);

void BM_AnchorMapCopy1000(benchmark::State& state) {
    std::map<std::uint32_t, PlainRecord> source;
    for (std::uint32_t n = 1; n <= 1000; ++n) source.emplace(n, PlainCopy(n));
    for (auto _ : state) {
        std::map<std::uint32_t, PlainRecord> target(source);
        benchmark::DoNotOptimize(target.size());
    }
}
BENCHMARK(BM_AnchorMapCopy1000);
ZELK_RATIO("BM_ListCopyErrorsTo1000", "BM_AnchorMapCopy1000", 5.0);

}  // namespace
