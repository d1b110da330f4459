// Cost of the phase of one determinant (the sort from the CI program's slot
// order to ascending spin-orbitals), taken once per determinant of both lists
// of a density run: 10 million calls on the determinants of the DDCI space of
// the density benchmark, with an even electron count (no empty-slot marker)
// and with an odd one (every determinant carries the marker), the best of
// three rounds.
//
//   bench_phases [--small]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/scale.hpp"
#include "detspace/substitution_parity.hpp"
#include "tools/mkcase/rng.hpp"
#include "tools/mkcase/space.hpp"

namespace {

// Holes and particles packed one determinant after the other: count, holes,
// particles, in the pairing of a determinant file (holes shuffled against the
// ascending particles, as the CI program's lists come).
struct Sample {
  std::vector<int> flat;
  int ndet = 0, norb = 0, nocc = 0, nel = 0;
  long long histogram[8] = {};
};

Sample sample(const mkcase::Description& d, int wanted) {
  const mkcase::OrbitalLayout l = mkcase::layout(d);
  const std::vector<mkcase::Determinant> dets = mkcase::enumerate_space(d, d.is0);
  Sample s;
  s.norb = l.norb;
  s.nocc = l.nocc;
  s.nel = 2 * l.ninac + d.nelac;
  mkcase::Rng rng(11);
  mkcase::Excitation e;
  const size_t step = std::max<size_t>(1, dets.size() / size_t(wanted));
  for (size_t i = 0; i < dets.size(); i += step) {
    mkcase::excitation(dets[i], l, e);
    const int n = static_cast<int>(e.holes.size());
    for (int k = n - 1; k > 0; --k) std::swap(e.holes[size_t(k)], e.holes[rng.below(k + 1)]);
    s.flat.push_back(n);
    s.flat.insert(s.flat.end(), e.holes.begin(), e.holes.end());
    s.flat.insert(s.flat.end(), e.parts.begin(), e.parts.end());
    ++s.histogram[std::min(n, 7)];
    ++s.ndet;
  }
  return s;
}

// The best of three rounds: the machine is shared, and the slower rounds
// measure the other work on it.
void time(const char* what, const Sample& s, long long calls) {
  const int* const end = s.flat.data() + s.flat.size();
  int sum = 0;
  double best = 0;
  for (int round = 0; round < 3; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    for (long long done = 0; done < calls;)
      for (const int* f = s.flat.data(); f < end && done < calls; ++done) {
        const int n = *f++;
        sum += ciprop::substitution_parity(s.norb, s.nocc, s.nel, n, f, f + n);
        f += 2 * n;
      }
    const double t =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (round == 0 || t < best) best = t;
  }
  std::printf("%-34s %lld calls on %d determinants: %6.3f s, %5.1f ns per call (sum %d)\n", what,
              calls, s.ndet, best, 1e9 * best / double(calls), sum);
  std::printf("%-34s substitutions 0..6, 7+:", "");
  for (long long h : s.histogram) std::printf(" %lld", h);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  const bool small = benchmark::small_scale(argc, argv);
  const long long calls = small ? 100'000 : 10'000'000;
  const int wanted = small ? 20'000 : 2'000'000;
  time("DDCI, 6 active electrons", sample(benchmark::orbital_spaces("DDCI", small, 6), wanted),
       calls);
  time("DDCI, 5 active electrons (marker)",
       sample(benchmark::orbital_spaces("DDCI", small, 5, -1), wanted), calls);
}
