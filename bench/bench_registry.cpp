// FReg::GetDWORD of an existing value, beside the bare prepared SQLite
// point query that reads the same value from the same database: the cost of
// the handle lookup, the per-thread connection and the Windows call shape on
// top of SQLite.  And a full listing of a key's values with FindValues, for
// 1,000 and 10,000 values: a listing must cost about n steps, not n * n / 2.
#include "bench/ratio.h"

#include <zelk/freg.h>

#include "platform/posix/registry_store.h"
#include "platform/registry.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

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
        fs::remove_all(folder, ignored);
    }
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
    sqlite3_create_collation(db, "zelk_names", SQLITE_UTF8, nullptr, [](void*, int n, void const* a, int m, void const* b) {
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

}  // namespace

ZELK_RATIO("BM_FRegGetDWORD", "BM_SqlitePreparedPointQuery", 2.0);
ZELK_RATIO("BM_FRegListValues/10000", "BM_FRegListValues/1000", 15.0);
