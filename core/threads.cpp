#include "core/threads.hpp"

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <vector>

namespace ciprop {

int run_threads() {
  if (const char* e = std::getenv("CIPROP_THREADS")) {
    const int n = std::atoi(e);
    if (n > 0) return n;
  }
  // The processors are counted once: the count reads a system file, and the
  // passes over a list ask for it per batch.
  static const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return processors;
}

void in_shares(int count, int min_share, const std::function<void(int lo, int hi)>& work) {
  const int nt = std::max(1, std::min(run_threads(), count / std::max(1, min_share)));
  auto bound = [&](int t) { return static_cast<int>(static_cast<long long>(count) * t / nt); };
  std::vector<std::thread> pool;
  for (int t = 1; t < nt; ++t) pool.emplace_back(work, bound(t), bound(t + 1));
  work(0, bound(1));
  for (std::thread& t : pool) t.join();
}

}  // namespace ciprop
