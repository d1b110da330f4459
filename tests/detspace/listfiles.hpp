// Determinant lists written by hand for the reader and reordering tests: an
// encoder of the packed layout written from the file description alone, the
// plain layout, random excitation lists, and a Run in a scratch folder.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "core/run_state.hpp"
#include "fortio/stop.hpp"
#include "support/run_in_dir.hpp"

namespace listfiles {

// n emptied spin-orbitals (alpha first) and n filled ones (alpha first).
struct TDet {
  std::vector<int> a, b;
  bool operator==(const TDet&) const = default;
};

// The bytes of one determinant in the packed layout.
struct Packed {
  unsigned char desc = 0;
  std::vector<unsigned char> orb, high;
};

inline Packed encode(const TDet& d, int norb) {
  const int n = int(d.a.size());
  const int k = int(std::count_if(d.a.begin(), d.a.end(), [&](int s) { return s <= norb; }));
  auto spatial = [&](int s) { return s <= norb ? s : s - norb; };
  Packed p;
  p.desc = static_cast<unsigned char>(n * (n + 1) / 2 + k + 1);
  for (int s : d.a) p.orb.push_back(static_cast<unsigned char>(spatial(s) % 256));
  for (int s : d.b) p.orb.push_back(static_cast<unsigned char>(spatial(s) % 256));
  if (norb > 256)
    for (int i = 0; i < n; i += 4) {
      int h = 0;
      for (int j = i; j < std::min(n, i + 4); ++j) h |= ((spatial(d.b[j]) - 1) / 256) << (2 * (j - i));
      p.high.push_back(static_cast<unsigned char>(h));
    }
  return p;
}

// One block record: L1, K, orbital bytes, descriptors, L3, high-bit bytes.
inline void write_block(fio::Units& io, int unit, const std::vector<unsigned char>& orb,
                        const std::vector<unsigned char>& desc,
                        const std::vector<unsigned char>& high) {
  int l1 = int(orb.size()), k = int(desc.size()), l3 = int(high.size());
  io.write_record(unit, {{&l1, 4},
                         {&k, 4},
                         {orb.data(), orb.size()},
                         {desc.data(), desc.size()},
                         {&l3, 4},
                         {high.data(), high.size()}});
}

inline void write_packed(fio::Units& io, int unit, const std::vector<TDet>& dets, int norb,
                         int per_block) {
  std::vector<unsigned char> orb, desc, high;
  for (size_t i = 0; i < dets.size(); ++i) {
    Packed p = encode(dets[i], norb);
    desc.push_back(p.desc);
    orb.insert(orb.end(), p.orb.begin(), p.orb.end());
    high.insert(high.end(), p.high.begin(), p.high.end());
    if (int(desc.size()) == per_block || i + 1 == dets.size()) {
      write_block(io, unit, orb, desc, high);
      orb.clear();
      desc.clear();
      high.clear();
    }
  }
}

inline void write_plain(fio::Units& io, int unit, const std::vector<TDet>& dets) {
  for (const TDet& d : dets) {
    int n = int(d.a.size());
    io.write_record(unit, &n, 4);
    if (n == 0) continue;
    std::vector<int> ab(d.a);
    ab.insert(ab.end(), d.b.begin(), d.b.end());
    io.write_record(unit, ab.data(), 4 * ab.size());
  }
}

// Random determinants against a reference with orbitals 1..nocc doubly
// occupied: up to nmax substitutions, particles in nocc+1..norb.  With an odd
// electron count (ms2 = -1) the reference holds one alpha electron too many:
// every determinant empties one alpha spin-orbital more than it fills, the
// last filled slot being the empty-slot marker 2 norb + 1.
inline std::vector<TDet> random_dets(int count, int norb, int nocc, int ms2, int nmax,
                                     unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi, int k) {
    std::vector<int> v;
    while (int(v.size()) < k) {
      int x = lo + int(rng() % unsigned(hi - lo + 1));
      if (std::find(v.begin(), v.end(), x) == v.end()) v.push_back(x);
    }
    std::sort(v.begin(), v.end());
    return v;
  };
  const int odd = ms2 < 0 ? 1 : 0;
  std::vector<TDet> dets;
  while (int(dets.size()) < count) {
    int n = odd + int(rng() % unsigned(nmax + 1 - odd));
    int k = odd + int(rng() % unsigned(n + 1 - odd));  // alpha holes
    TDet d;
    d.a = pick(1, nocc, k);
    for (int s : pick(1, nocc, n - k)) d.a.push_back(s + norb);
    const int ka = k - odd;  // alpha particles
    d.b = pick(nocc + 1, norb, ka);
    for (int s : pick(nocc + 1, norb, n - ka - odd)) d.b.push_back(s + norb);
    if (odd) d.b.push_back(2 * norb + 1);
    dets.push_back(d);
  }
  return dets;
}

inline std::vector<int> permutation(int n, unsigned seed) {
  std::vector<int> p(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) p[size_t(i)] = i + 1;
  std::shuffle(p.begin(), p.end(), std::mt19937(seed));
  return p;
}

// A Run whose relative file names land in a scratch folder.
struct ListTest : ::testing::Test {
  std::ostringstream out, err;
  std::istringstream in;
  test::ScratchDir dir;
  std::filesystem::path home = std::filesystem::current_path();
  std::unique_ptr<ciprop::Run> run;

  void SetUp() override {
    std::filesystem::current_path(dir.path());
    fresh_run();
  }
  // A run state as at program start (packed lists, full work array).
  void fresh_run() {
    run.reset();
    out.str("");
    err.str("");
    run = std::make_unique<ciprop::Run>(out, in, err);
    run->dim = ciprop::kDim;
    run->switches.packed_lists = true;
  }
  void TearDown() override {
    run.reset();
    std::filesystem::current_path(home);
  }
  // The status with which f stops the run, or -1 when it returns.
  template <class F>
  int status_of(F f) {
    try {
      f();
    } catch (const fio::StopRun& s) {
      return s.status;
    }
    return -1;
  }
};

}  // namespace listfiles
