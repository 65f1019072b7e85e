// FReg::GetDWORD of an existing value, beside the bare prepared SQLite
// point query that reads the same value from the same database: the cost of
// the handle lookup, the per-thread connection and the Windows call shape on
// top of SQLite.  And a full listing of a key's values with FindValues, for
// 1,000 and 10,000 values: a listing must cost about n steps, not n * n / 2.
// And single writes of short-lived processes beside a process whose four
// threads write in a tight loop: the median wait of such a write (its time
// from call to return less one transaction of its own) beside the busy
// writer's own transaction time, with the count of writes refused.
#include "bench/ratio.h"

#include <zelk/freg.h>

#include "platform/posix/registry/connections.h"
#include "platform/posix/registry/name_order.h"
#include "platform/registry.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The registry of this run: a fresh database in a temporary folder, named
// before the library's first registry call, with one key and one value.
struct BenchRegistry {
    BenchRegistry() {
        folder = fs::temp_directory_path() / ("zelk-bench-registry-" + std::to_string(getpid()));
        fs::create_directories(folder);
        database = (folder / "registry.db").string();
        setenv("ZELK_REGISTRY", database.c_str(), 1);
        FReg key(HKEY_CURRENT_USER, "Software\\ZelkBench", true);
        key.SetDWORD("Value", 0x12345678);
        key.SetDWORD("Other", 1);
        for (int count : {1000, 10000}) {
            FReg list(HKEY_CURRENT_USER, BinChar(("Software\\ZelkBench\\List" + std::to_string(count)).c_str()), true);
            zelk::os::RegistryTransaction transaction;  // one commit, not ten thousand
            transaction.Begin();
            for (int i = 0; i < count; ++i) {
                list.SetDWORD(("value" + std::to_string(i)).c_str(), static_cast<unsigned long>(i));
            }
            transaction.Commit();
        }
    }
    ~BenchRegistry() {
        std::error_code ignored;
        if (getpid() == owner) fs::remove_all(folder, ignored);  // not in the children that exit
    }
    pid_t owner = getpid();
    fs::path folder;
    std::string database;
};

BenchRegistry& Registry() {
    static BenchRegistry registry;
    return registry;
}

void BM_FRegGetDWORD(benchmark::State& state) {
    Registry();
    FReg key(HKEY_CURRENT_USER, "Software\\ZelkBench", false);
    if (!key.IsValid() || key.GetDWORD("Value", 0) != 0x12345678) {
        state.SkipWithError("the bench value is missing");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(key.GetDWORD("Value", 0));
    }
}
BENCHMARK(BM_FRegGetDWORD);

void BM_SqlitePreparedPointQuery(benchmark::State& state) {
    std::string const& database = Registry().database;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot open the database");
        sqlite3_close(db);
        return;
    }
    // Names compare as the registry compares them.
    sqlite3_create_collation(
        db, "zelk_names", SQLITE_UTF8, nullptr, [](void*, int n, void const* a, int m, void const* b) {
            return zelk::os::registry::CompareNames({static_cast<char const*>(a), static_cast<std::size_t>(n)},
                                                    {static_cast<char const*>(b), static_cast<std::size_t>(m)});
        });
    // The key's id once, as the library holds it in its handle.
    sqlite3_int64 keyId = 0;
    sqlite3_stmt* find = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT k.id FROM keys k JOIN keys p ON k.parent = p.id "
                       "WHERE p.parent = 2 AND p.name = 'Software' AND k.name = 'ZelkBench'",
                       -1, &find, nullptr);
    if (find && sqlite3_step(find) == SQLITE_ROW) {
        keyId = sqlite3_column_int64(find, 0);
    }
    sqlite3_finalize(find);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v3(db, "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2", -1, SQLITE_PREPARE_PERSISTENT,
                       &query, nullptr);
    if (!query || keyId == 0) {
        state.SkipWithError("cannot prepare the query");
        sqlite3_finalize(query);
        sqlite3_close(db);
        return;
    }
    for (auto _ : state) {
        char const* const name = "Value";
        sqlite3_bind_int64(query, 1, keyId);
        sqlite3_bind_text(query, 2, name, static_cast<int>(std::strlen(name)), SQLITE_STATIC);
        std::uint32_t value = 0;
        if (sqlite3_step(query) == SQLITE_ROW && sqlite3_column_int(query, 0) == 4 &&
            sqlite3_column_bytes(query, 1) == 4) {
            std::memcpy(&value, sqlite3_column_blob(query, 1), 4);
        }
        sqlite3_reset(query);
        benchmark::DoNotOptimize(value);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
}
BENCHMARK(BM_SqlitePreparedPointQuery);

void BM_FRegListValues(benchmark::State& state) {
    Registry();
    auto const count = state.range(0);
    FReg key(HKEY_CURRENT_USER, BinChar(("Software\\ZelkBench\\List" + std::to_string(count)).c_str()), false);
    for (auto _ : state) {
        BinChar name;
        int index = 0;
        std::int64_t listed = 0;
        while (key.FindValues("*", name, index, nullptr)) {
            ++listed;
        }
        if (listed != count) {
            state.SkipWithError("the listing is incomplete");
            return;
        }
    }
}
BENCHMARK(BM_FRegListValues)->Arg(1000)->Arg(10000);

// The busy writer and the single writes, run once for both benchmarks
// below.  Times in seconds.
struct BesideBusy {
    double busyTransaction = 0;  // the busy process's run time over the writes that took turns
    double medianWrite = 0;  // call to return
    double medianWait = 0;  // the same less one transaction
    int refused = 0;
    int singles = 0;
};

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

BesideBusy RunBesideBusy() {
    constexpr int kThreads = 4, kSingles = 60;
    std::string const file = (Registry().folder / "busy.db").string();
    setenv("ZELK_REGISTRY", file.c_str(), 1);
    zelk::os::RegistryClose();
    FReg(HKEY_CURRENT_USER, "Software\\Single", true).SetDWORD("made", 1);
    zelk::os::RegistryClose();
    BesideBusy result;
    int stop[2], report[2];
    if (pipe(stop) != 0 || pipe(report) != 0) return result;
    std::fflush(nullptr);
    pid_t const busy = fork();
    if (busy == 0) {  // writes until the stop pipe closes, then reports its writes and run time
        close(stop[1]);
        std::atomic<bool> stopping{false};
        std::atomic<long> writes{0};
        double const start = Now();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                FReg key(HKEY_CURRENT_USER, BinChar(("Software\\Busy" + std::to_string(t)).c_str()), true);
                for (unsigned long n = 0; !stopping; ++n) writes += key.SetDWORD("n", n) ? 1 : 0;
            });
        }
        char byte;
        (void)!read(stop[0], &byte, 1);
        stopping = true;
        for (auto& thread : threads) thread.join();
        dprintf(report[1], "%ld %.9f\n", writes.load(), Now() - start);
        std::exit(0);
    }
    close(stop[0]);
    close(report[1]);
    usleep(300000);  // the busy writer is under way
    std::vector<double> times;
    for (int i = 0; i < kSingles; ++i) {
        int single[2];
        if (pipe(single) != 0) break;
        std::fflush(nullptr);
        pid_t const child = fork();
        if (child == 0) {  // connects with a read, times one write, and exits normally
            FReg key(HKEY_CURRENT_USER, "Software\\Single", false);
            key.GetDWORD("made", 0);
            double const start = Now();
            bool const written = key.SetDWORD(BinChar(("v" + std::to_string(i)).c_str()), 1);
            dprintf(single[1], "%d %.9f\n", written ? 1 : 0, Now() - start);
            std::exit(0);
        }
        close(single[1]);
        FILE* in = fdopen(single[0], "r");
        int written = 0;
        double time = 0;
        if (in && std::fscanf(in, "%d %lf", &written, &time) == 2 && written) {
            times.push_back(time);
        } else {
            ++result.refused;
        }
        if (in) std::fclose(in);
        waitpid(child, nullptr, 0);
    }
    close(stop[1]);
    FILE* in = fdopen(report[0], "r");
    long writes = 0;
    double run = 0;
    if (in && std::fscanf(in, "%ld %lf", &writes, &run) == 2 && writes > 0) {
        result.busyTransaction = run / static_cast<double>(writes + static_cast<long>(times.size()));
    }
    if (in) std::fclose(in);
    waitpid(busy, nullptr, 0);
    if (!times.empty()) {
        std::nth_element(times.begin(), times.begin() + static_cast<long>(times.size() / 2), times.end());
        result.medianWrite = times[times.size() / 2];
        result.medianWait = std::max(result.medianWrite - result.busyTransaction, 1e-9);
    }
    result.singles = kSingles;
    setenv("ZELK_REGISTRY", Registry().database.c_str(), 1);
    zelk::os::RegistryClose();
    return result;
}

BesideBusy const& Busy() {
    static BesideBusy const busy = RunBesideBusy();
    return busy;
}

void BM_BusyWriterTransaction(benchmark::State& state) {
    for (auto _ : state) {
        if (Busy().busyTransaction <= 0) {
            state.SkipWithError("the busy writer did not report");
            return;
        }
        state.SetIterationTime(Busy().busyTransaction);
    }
}
BENCHMARK(BM_BusyWriterTransaction)->Iterations(1)->UseManualTime();

void BM_SingleWriteWaitBesideBusyWriter(benchmark::State& state) {
    for (auto _ : state) {
        if (Busy().medianWrite <= 0 || Busy().busyTransaction <= 0) {
            state.SkipWithError("no single write was acknowledged");
            return;
        }
        state.SetIterationTime(Busy().medianWait);
    }
    state.counters["refused"] = Busy().refused;
    state.counters["of"] = Busy().singles;
    state.counters["call_to_return_ms"] = Busy().medianWrite * 1e3;
}
BENCHMARK(BM_SingleWriteWaitBesideBusyWriter)->Iterations(1)->UseManualTime();

}  // namespace

ZELK_RATIO("BM_FRegGetDWORD", "BM_SqlitePreparedPointQuery", 2.0);
ZELK_RATIO("BM_FRegListValues/10000", "BM_FRegListValues/1000", 15.0);
ZELK_RATIO("BM_SingleWriteWaitBesideBusyWriter/iterations:1/manual_time",
           "BM_BusyWriterTransaction/iterations:1/manual_time", 2.0);
