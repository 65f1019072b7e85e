// zelk-reg's export and import of a key of 10,000 values (a file of about
// 800 KB), each beside the plain file I/O of the same bytes: writing them,
// and reading them back.  The goal is an absolute one, at most 2 s each on
// the development machine; the ratios show how much of that is the registry
// and the .reg format rather than the disk.
#include "bench/ratio.h"

#include "files.h"
#include "key_name.h"
#include "verbs.h"

#include "platform/registry.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace zelk::regtool;

constexpr int kValues = 10000;

struct BenchKey {
    BenchKey() {
        folder = fs::temp_directory_path() / ("zelk-bench-zelk-reg-" + std::to_string(getpid()));
        fs::create_directories(folder);
        setenv("ZELK_REGISTRY", (folder / "registry.db").c_str(), 1);
        setenv("ZELK_MACHINE_REGISTRY", (folder / "machine.db").c_str(), 1);
        file = (folder / "key.reg").string();
        std::string error;
        ParseKeyName("HKCU\\Software\\ZelkRegBench", key, error);
        HKEY handle = nullptr;
        zelk::os::RegCreateKeyA(key.root, key.path.c_str(), &handle);
        zelk::os::RegistryTransaction transaction;
        transaction.Begin();
        for (int i = 0; i < kValues; ++i) {
            std::string const name = "value" + std::to_string(i);
            std::string const text = "C:\\Program Files\\Suite\\component " + std::to_string(i);
            zelk::os::RegSetValueExA(handle, name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<unsigned char const*>(text.c_str()),
                                     static_cast<std::uint32_t>(text.size() + 1));
        }
        transaction.Commit();
        zelk::os::RegCloseKey(handle);
        ExportToBytes(key, bytes);
        WriteWholeFile(file, bytes, error);
    }
    ~BenchKey() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    fs::path folder;
    std::string file;
    KeyName key;
    std::string bytes;  // the export
};

BenchKey& Key() {
    static BenchKey key;
    return key;
}

void BM_ZelkRegExport(benchmark::State& state) {
    BenchKey& key = Key();
    std::string error;
    for (auto _ : state) {
        std::string bytes;
        if (!ExportToBytes(key.key, bytes) || !WriteWholeFile(key.file, bytes, error)) {
            state.SkipWithError("export failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(key.bytes.size()));
}
BENCHMARK(BM_ZelkRegExport)->Unit(benchmark::kMillisecond);

void BM_ZelkRegImport(benchmark::State& state) {
    BenchKey& key = Key();
    std::string error;
    for (auto _ : state) {
        std::string bytes;
        if (!ReadWholeFile(key.file, bytes, error) || !ImportBytes(bytes, key.file)) {
            state.SkipWithError("import failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(key.bytes.size()));
}
BENCHMARK(BM_ZelkRegImport)->Unit(benchmark::kMillisecond);

// The anchors: the same bytes through plain file streams.
void BM_WriteSameBytes(benchmark::State& state) {
    BenchKey& key = Key();
    std::string const name = key.file + ".plain";
    for (auto _ : state) {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out.write(key.bytes.data(), static_cast<std::streamsize>(key.bytes.size()));
    }
}
BENCHMARK(BM_WriteSameBytes)->Unit(benchmark::kMillisecond);

void BM_ReadSameBytes(benchmark::State& state) {
    BenchKey& key = Key();
    for (auto _ : state) {
        std::ifstream in(key.file, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_ReadSameBytes)->Unit(benchmark::kMillisecond);

}  // namespace

// Each side about 100 ms on the development machine, some 20 times the
// plain file I/O.
ZELK_RATIO("BM_ZelkRegExport", "BM_WriteSameBytes", 60.0);
ZELK_RATIO("BM_ZelkRegImport", "BM_ReadSameBytes", 60.0);
