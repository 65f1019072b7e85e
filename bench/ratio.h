// Side-by-side comparisons for the benchmarks.
//
//   ZELK_RATIO("BM_SemaphoreLockUnlock", "BM_StdMutexLockUnlock", 2.0);
//
// declares that the subject's real time per iteration should be at most
// `goal` times the anchor's, both measured in the same run.  A goal below 1
// asks for a speed-up ("at least 10x faster" is 0.1).  The shared main prints
// every declared ratio after the run and adds them to the JSON output
// (--benchmark_out=<file>) under "ratios".  Names are the full run names that
// Google Benchmark prints (e.g. "BM_Pipe/65536" or "BM_X/threads:2").
#pragma once

namespace zelk::bench {

int RegisterRatio(char const* subject, char const* anchor, double goal);

}  // namespace zelk::bench

#define ZELK_RATIO_CONCAT_(a, b) a##b
#define ZELK_RATIO_CONCAT(a, b) ZELK_RATIO_CONCAT_(a, b)
#define ZELK_RATIO(subject, anchor, goal)                                      \
  [[maybe_unused]] static int const ZELK_RATIO_CONCAT(zelk_ratio_, __LINE__) = \
      ::zelk::bench::RegisterRatio(subject, anchor, goal)
