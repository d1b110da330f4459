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
  std::atomic<size_t> next{0}, done{0};
  fio::Progress progress(io, "density", static_cast<long long>(count));
  // Shown from the start: on a small case the caller's thread may get no
  // piece at all.  Only that thread draws; it reports the pieces finished
  // by every thread.
  progress.tick(0);
  auto worker = [&](int thread) {
    for (size_t piece; (piece = next.fetch_add(1)) < count;) {
      work(piece, thread);
      const size_t finished = done.fetch_add(1) + 1;
      if (thread == 0) progress.tick(static_cast<long long>(finished));
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(worker, t);
  worker(0);
  for (std::thread& t : pool) t.join();
}

bool kernel_vectors(const AddressTables& tables, int symmetry, const CiVector& psi1,
                    std::span<const CiVector> kets) {
  if (kets.empty() || psi1.in_address_order == nullptr ||
      tables.records().switches.stop_at_address != 0)
    return false;
  for (const CiVector& k : kets)
    if (k.symmetry != symmetry || k.n != tables.size()) return false;
  return true;
}

std::vector<Piece> plan_pieces(size_t items, const std::function<long long(size_t)>& rows,
                               const std::function<long long(size_t)>& weight,
                               long long sum_bytes) {
  long long total = 0;
  for (size_t k = 0; k < items; ++k) total += weight(k) * rows(k);
  const long long budget = 64LL << 20;
  long long n = std::clamp<long long>(total / 4096, 1, 64);
  n = std::max<long long>(1, std::min(n, budget / std::max<long long>(sum_bytes, 1)));
  const long long share = (total + n - 1) / n;
  std::vector<Piece> pieces(1);
  long long done = 0, limit = share;
  for (size_t k = 0; k < items; ++k) {
    const long long w = weight(k), count = rows(k);
    long long r = 0;
    while (r < count) {
      if (done >= limit && !pieces.back().empty()) {
        pieces.emplace_back();
        limit += share;
      }
      const long long take = std::clamp<long long>((limit - done + w - 1) / w, 1, count - r);
      pieces.back().push_back({static_cast<int>(k), r, r + take});
      done += take * w;
      r += take;
    }
  }
  return pieces;
}

std::vector<TransitionDensity> sum_pieces(
    fio::Units& io, const std::vector<Piece>& pieces, int norb, int nkets,
    const std::vector<int>& cls, bool diagonal,
    const std::function<void(const Piece&, PieceSums&, int thread)>& work) {
  const size_t stride = PieceSums::stride_for(norb), per = stride * size_t(nkets);
  std::vector<double> partial(pieces.size() * per, 0.0);
  std::vector<long long> pairs(pieces.size(), 0);
  run_pieces(io, pieces.size(), piece_threads(pieces.size()), [&](size_t g, int thread) {
    PieceSums s{&partial[g * per], stride, norb};
    work(pieces[g], s, thread);
    pairs[g] = s.pairs;
  });
  std::vector<double> sum(per, 0.0);
  long long connected = 0;
  for (size_t g = 0; g < pieces.size(); ++g) {
    for (size_t k = 0; k < per; ++k) sum[k] += partial[g * per + k];
    connected += pairs[g];
  }
  const PieceSums at{sum.data(), stride, norb};
  const size_t n = size_t(norb);
  std::vector<TransitionDensity> out;
  for (int k = 0; k < nkets; ++k) {
    const double* a = at.ket(k);
    TransitionDensity t{OrbitalMatrix(norb), connected};
    std::copy(a, a + n * n, t.ro.v.begin());
    // Both spins of an inactive orbital are occupied in every determinant
    // but those with a hole there; a virtual orbital only in those with a
    // particle there.
    if (diagonal)
      for (int i = 1; i <= norb; ++i) {
        if (cls[size_t(i)] == 1)
          t.ro(i, i) = 2.0 * a[at.all()] - a[at.holes() + size_t(i)] - a[at.holes() + size_t(i) + n];
        else if (cls[size_t(i)] == 3)
          t.ro(i, i) = a[at.parts() + size_t(i)] + a[at.parts() + size_t(i) + n];
      }
    out.push_back(std::move(t));
  }
  return out;
}

}  // namespace ciprop
