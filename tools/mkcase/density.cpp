#include "tools/mkcase/density.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <unordered_map>

namespace mkcase {

namespace {

// Occupation of up to 1024 spin-orbitals; spin-orbital s is bit s-1.
struct Bits {
  std::array<uint64_t, 16> w{};
  bool operator==(const Bits&) const = default;
  bool test(int s) const { return w[(s - 1) / 64] >> ((s - 1) % 64) & 1; }
  void flip(int s) { w[(s - 1) / 64] ^= uint64_t{1} << ((s - 1) % 64); }
  // Occupied spin-orbitals below s: the sign of moving an operator on s to
  // the front of the ascending product.
  int below(int s) const {
    int n = 0, word = (s - 1) / 64;
    for (int k = 0; k < word; ++k) n += std::popcount(w[k]);
    return n + std::popcount(w[word] & ((uint64_t{1} << ((s - 1) % 64)) - 1));
  }
};

struct BitsHash {
  std::size_t operator()(const Bits& b) const {
    uint64_t h = 0;
    for (uint64_t x : b.w) {
      h = (h ^ x) * 0x9E3779B97F4A7C15ull;
      h ^= h >> 32;
    }
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::size_t>(h ^ (h >> 31));
  }
};

Bits bits_of(const Determinant& det, const OrbitalLayout& l) {
  Bits b;
  for (int s : occupied(det, l)) b.flip(s);
  return b;
}

}  // namespace

std::vector<std::vector<double>> one_particle_densities(
    const std::vector<Determinant>& dets1, const std::vector<Determinant>& dets2,
    const OrbitalLayout& l, const std::vector<StatePair>& pairs) {
  const int n = l.norb;
  std::unordered_map<Bits, int, BitsHash> index;
  index.reserve(dets2.size());
  for (std::size_t k = 0; k < dets2.size(); ++k)
    index.emplace(bits_of(dets2[k], l), static_cast<int>(k));
  std::vector<std::vector<double>> ro(pairs.size(), std::vector<double>(std::size_t(n) * n, 0.0));
  for (std::size_t m = 0; m < dets1.size(); ++m) {
    Bits J = bits_of(dets1[m], l);
    for (int spin = 0; spin < 2; ++spin)
      for (int i = 1; i <= n; ++i) {
        int si = i + spin * n;
        if (!J.test(si)) continue;
        Bits K = J;
        int sign = K.below(si) % 2 ? -1 : 1;  // a(i)
        K.flip(si);
        for (int j = 1; j <= n; ++j) {
          int sj = j + spin * n;
          if (K.test(sj)) continue;
          Bits L = K;
          int s = L.below(sj) % 2 ? -sign : sign;  // a+(j)
          L.flip(sj);
          auto it = index.find(L);
          if (it == index.end()) continue;
          for (std::size_t p = 0; p < pairs.size(); ++p)
            ro[p][(i - 1) + std::size_t(j - 1) * n] +=
                s * (*pairs[p].c1)[m] * (*pairs[p].c2)[it->second];
        }
      }
  }
  return ro;
}

long long density_cost(std::size_t ndet1, const OrbitalLayout& l, int nelac) {
  return static_cast<long long>(ndet1) * (2 * l.ninac + nelac) * l.norb;
}

}  // namespace mkcase
