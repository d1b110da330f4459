#include "density/density_threads.hpp"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "core/threads.hpp"
#include "fortio/progress.hpp"

namespace ciprop {

int piece_threads(size_t count) {
  return static_cast<int>(std::max<size_t>(1, std::min<size_t>(run_threads(), count)));
}

void run_pieces(fio::Units& io, size_t count, int threads,
                const std::function<void(size_t piece, int thread)>& work) {
  std::atomic<size_t> next{0};
  fio::Progress progress(io, "density", static_cast<long long>(count));
  auto worker = [&](int thread) {
    for (size_t piece; (piece = next.fetch_add(1)) < count;) {
      work(piece, thread);
      if (thread == 0) progress.tick(static_cast<long long>(piece + 1));
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(worker, t);
  worker(0);
  for (std::thread& t : pool) t.join();
}

}  // namespace ciprop
