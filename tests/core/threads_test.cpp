// Pieces handed to the run's workers while the caller goes on with work of
// its own: every piece runs once, the caller's own shares meanwhile run on
// it alone (the workers are busy with the pieces), and a caller that throws
// leaves no piece running behind it.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/threads.hpp"

using namespace ciprop;

namespace {

struct ThreadCount {
  explicit ThreadCount(int n) { setenv("CIPROP_THREADS", std::to_string(n).c_str(), 1); }
  ~ThreadCount() { unsetenv("CIPROP_THREADS"); }
};

TEST(Overlap, EveryPieceRunsOnceBesideTheCallersOwnShares) {
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    ThreadCount count(threads);
    std::vector<std::atomic<int>> runs(500);
    Overlap pieces(500, [&](int p) { runs[size_t(p)].fetch_add(1); });
    // The caller's own work, cut into shares while the pieces are out.
    std::vector<int> mine(10000, 0);
    in_shares(10000, 1, [&](int lo, int hi) {
      for (int i = lo; i < hi; ++i) mine[size_t(i)] = i;
    });
    pieces.join();
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(mine[size_t(i)], i);
    for (int p = 0; p < 500; ++p) ASSERT_EQ(runs[size_t(p)].load(), 1) << "piece " << p;
    // The workers are free again for shares of their own.
    std::atomic<int> shares{0};
    in_shares(100, 1, [&](int lo, int hi) { shares += hi - lo; });
    EXPECT_EQ(shares.load(), 100);
  }
}

TEST(Overlap, ACallerThatThrowsLeavesNoPieceRunning) {
  ThreadCount count(2);
  std::atomic<int> begun{0}, ended{0};
  try {
    Overlap pieces(100000, [&](int) {
      ++begun;
      std::this_thread::sleep_for(std::chrono::microseconds(20));
      ++ended;
    });
    throw std::runtime_error("refused");
  } catch (const std::runtime_error&) {
  }
  const int after = ended.load();
  EXPECT_EQ(begun.load(), after);  // every piece begun was waited for
  EXPECT_LT(after, 100000);        // and the rest were skipped
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(ended.load(), after);
}

}  // namespace
