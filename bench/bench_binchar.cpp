// BinChar and NonLocal::StringToDouble beside the C and C++ library work
// they stand in for: masks against fnmatch(FNM_CASEFOLD), number parsing
// against strtod, and chains of string operations against std::string.
#include "bench/ratio.h"

#include <zelk/binchar.h>

#include <benchmark/benchmark.h>

#include <fnmatch.h>
#include <string.h>  // memmem

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// ---- masks ----

constexpr std::array<char const*, 8> kNames = {
    "readme.txt", "Report_2024.TXT", "abc.doc",      "a1c_backup.tar.gz",
    "notes.md",   "ABCDEF.txt",      "image001.png", "very_long_file_name_of_a_log.txt.bak",
};
constexpr std::array<char const*, 3> kMasks = {"*.txt", "a?c*", "*.*"};

void BM_MaskenFit(benchmark::State& state) {
    std::array<BinChar, kNames.size()> names;
    for (std::size_t i = 0; i < kNames.size(); ++i) names[i] = BinChar(kNames[i]);
    for (auto _ : state) {
        int fits = 0;
        for (BinChar const& name : names)
            for (char const* mask : kMasks) fits += name.MaskenFit(mask);
        benchmark::DoNotOptimize(fits);
    }
}
BENCHMARK(BM_MaskenFit);

void BM_Fnmatch_Casefold(benchmark::State& state) {
    for (auto _ : state) {
        int fits = 0;
        for (char const* name : kNames)
            for (char const* mask : kMasks) fits += fnmatch(mask, name, FNM_CASEFOLD) == 0;
        benchmark::DoNotOptimize(fits);
    }
}
BENCHMARK(BM_Fnmatch_Casefold);

ZELK_RATIO("BM_MaskenFit", "BM_Fnmatch_Casefold", 1.5);

// ---- numbers ----
//
// The same texts through both: short settings as users type them, and long
// digit runs of the kind programs write (17 significant digits and more,
// the largest and smallest normal doubles, a halfway case).

constexpr std::array<char const*, 8> kShortNumbers = {"1e1",  "2.5e3",      "0.1", "12345.678",
                                                      "-0.5", "3.14159265", "42",  "0.000123"};
constexpr std::array<char const*, 6> kLongNumbers = {
    "0.1000000000000000055511151231257827",
    "3.141592653589793238462643383279",
    "2.2250738585072014e-308",
    "1.7976931348623157e308",
    "123456789012345678901234567890",
    "9007199254740993",
};

void BM_StringToDouble(benchmark::State& state) {
    auto const run = [&](auto const& texts) {
        for (auto _ : state) {
            double sum = 0;
            for (char const* text : texts) {
                double value = 0;
                NonLocal::StringToDouble(text, &value, 10);
                sum += value;
            }
            benchmark::DoNotOptimize(sum);
        }
    };
    if (state.range(0) == 0)
        run(kShortNumbers);
    else
        run(kLongNumbers);
}
BENCHMARK(BM_StringToDouble)->ArgName("long")->Arg(0)->Arg(1);

void BM_Strtod(benchmark::State& state) {
    auto const run = [&](auto const& texts) {
        for (auto _ : state) {
            double sum = 0;
            for (char const* text : texts) sum += std::strtod(text, nullptr);
            benchmark::DoNotOptimize(sum);
        }
    };
    if (state.range(0) == 0)
        run(kShortNumbers);
    else
        run(kLongNumbers);
}
BENCHMARK(BM_Strtod)->ArgName("long")->Arg(0)->Arg(1);

ZELK_RATIO("BM_StringToDouble/long:0", "BM_Strtod/long:0", 1.0);
ZELK_RATIO("BM_StringToDouble/long:1", "BM_Strtod/long:1", 1.0);

// ---- string chains ----
//
// Concatenate three pieces, take a substring and trim it, then join a left
// and a right part: the everyday shape of path and message building.

std::string Piece(std::size_t size, char fill) {
    std::string text = "  ";
    while (text.size() + 2 < size) text += fill;
    return text + "  ";
}

void BM_BinChar_Chain(benchmark::State& state) {
    std::size_t const size = static_cast<std::size_t>(state.range(0));
    BinChar const a(Piece(size, 'a').c_str());
    BinChar const b(Piece(size / 2, 'b').c_str());
    BinChar const c(Piece(size / 4, 'c').c_str());
    int const cut = static_cast<int>(size);
    for (auto _ : state) {
        BinChar s = a + b;
        s += c;
        BinChar const t = s(cut / 2, cut).Trim();
        BinChar const u = t.Left(cut / 4) + s.Right(cut / 4);
        benchmark::DoNotOptimize(u.len());
    }
}
BENCHMARK(BM_BinChar_Chain)->Arg(20)->Arg(200);

std::string TrimSpaces(std::string const& s) {
    std::size_t const first = s.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

void BM_StdString_Chain(benchmark::State& state) {
    std::size_t const size = static_cast<std::size_t>(state.range(0));
    std::string const a = Piece(size, 'a');
    std::string const b = Piece(size / 2, 'b');
    std::string const c = Piece(size / 4, 'c');
    std::size_t const cut = size;
    for (auto _ : state) {
        std::string s = a + b;
        s += c;
        std::string const t = TrimSpaces(s.substr(cut / 2, cut));
        std::size_t const right = std::min(cut / 4, s.size());
        std::string const u = t.substr(0, cut / 4) + s.substr(s.size() - right);
        benchmark::DoNotOptimize(u.size());
    }
}
BENCHMARK(BM_StdString_Chain)->Arg(20)->Arg(200);

ZELK_RATIO("BM_BinChar_Chain/20", "BM_StdString_Chain/20", 2.0);
ZELK_RATIO("BM_BinChar_Chain/200", "BM_StdString_Chain/200", 2.0);

// ---- hostile input ----
//
// Inputs built to make a naive search compare almost the whole pattern at
// every position, or a step-by-step rewrite copy the whole path per step.
// Each runs at two sizes: doubling the input may at most triple the time.

// "aaa...a" and a pattern of half its length that fails on its last byte.
std::string Run(std::size_t size, char fill) { return std::string(size, fill); }

void BM_iStr_Hostile(benchmark::State& state) {
    std::size_t const size = static_cast<std::size_t>(state.range(0));
    BinChar const text(Run(size, 'a').c_str());
    BinChar const pattern((Run(size / 2, 'a') + 'b').c_str());
    for (auto _ : state) benchmark::DoNotOptimize(text.iStr(pattern, 0));
}
BENCHMARK(BM_iStr_Hostile)->Arg(1 << 19)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// glibc's memmem is linear in the worst case (the two-way search).
void BM_Memmem_Hostile(benchmark::State& state) {
    std::size_t const size = static_cast<std::size_t>(state.range(0));
    std::string const text = Run(size, 'a');
    std::string const pattern = Run(size / 2, 'a') + 'b';
    for (auto _ : state) benchmark::DoNotOptimize(memmem(text.data(), text.size(), pattern.data(), pattern.size()));
}
BENCHMARK(BM_Memmem_Hostile)->Arg(1 << 19)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

ZELK_RATIO("BM_iStr_Hostile/1048576", "BM_iStr_Hostile/524288", 3.0);
ZELK_RATIO("BM_iStr_Hostile/1048576", "BM_Memmem_Hostile/1048576", 10.0);

// A star, then a literal run of half the name's length that fails on its
// last byte.  The anchor gives fnmatch the same name with a star and that
// last byte alone: one linear scan (fnmatch backtracks on the long mask).
void BM_MaskenFit_Hostile(benchmark::State& state) {
    std::size_t const size = static_cast<std::size_t>(state.range(0));
    BinChar const name(Run(size, 'a').c_str());
    std::string const mask = "*" + Run(size / 2, 'A') + "b";
    for (auto _ : state) benchmark::DoNotOptimize(name.MaskenFit(mask.c_str()));
}
BENCHMARK(BM_MaskenFit_Hostile)->Arg(1 << 17)->Arg(1 << 18)->Unit(benchmark::kMillisecond);

void BM_Fnmatch_Scan(benchmark::State& state) {
    std::string const name = Run(static_cast<std::size_t>(state.range(0)), 'a');
    for (auto _ : state) benchmark::DoNotOptimize(fnmatch("*b", name.c_str(), FNM_CASEFOLD));
}
BENCHMARK(BM_Fnmatch_Scan)->Arg(1 << 17)->Arg(1 << 18)->Unit(benchmark::kMillisecond);

ZELK_RATIO("BM_MaskenFit_Hostile/262144", "BM_MaskenFit_Hostile/131072", 3.0);
ZELK_RATIO("BM_MaskenFit_Hostile/262144", "BM_Fnmatch_Scan/262144", 20.0);

// "c:\a\a\...\a\..\..\...": every ".." step climbs out of one folder.
std::string ParentSteps(std::size_t size, char separator) {
    std::string const down = std::string("a") + separator, up = std::string("..") + separator;
    std::string path = separator == '\\' ? "c:\\" : "/";
    std::size_t const steps = (size - path.size()) / (down.size() + up.size());
    for (std::size_t i = 0; i < steps; ++i) path += down;
    for (std::size_t i = 0; i < steps; ++i) path += up;
    return path;
}

void BM_ReducePath_Hostile(benchmark::State& state) {
    BinChar const path(ParentSteps(static_cast<std::size_t>(state.range(0)), '\\').c_str());
    for (auto _ : state) benchmark::DoNotOptimize(path.ReducePath().len());
}
BENCHMARK(BM_ReducePath_Hostile)->Arg(1 << 20)->Arg(1 << 21)->Unit(benchmark::kMillisecond);

void BM_LexicallyNormal(benchmark::State& state) {
    std::filesystem::path const path(ParentSteps(static_cast<std::size_t>(state.range(0)), '/'));
    for (auto _ : state) benchmark::DoNotOptimize(path.lexically_normal().native().size());
}
BENCHMARK(BM_LexicallyNormal)->Arg(1 << 20)->Arg(1 << 21)->Unit(benchmark::kMillisecond);

ZELK_RATIO("BM_ReducePath_Hostile/2097152", "BM_ReducePath_Hostile/1048576", 3.0);
ZELK_RATIO("BM_ReducePath_Hostile/2097152", "BM_LexicallyNormal/2097152", 1.0);

}  // namespace
