// A small seeded generator whose sequence is fixed by its definition
// (splitmix64), so that a case made from the same description and seed is the
// same on every machine and with every standard library.
#pragma once
#include <cstdint>

namespace mkcase {

class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in 0..n-1 (n > 0); the tiny modulo bias is of no concern here.
  uint64_t below(uint64_t n) { return next() % n; }
  // Uniform in [-1, 1).
  double symmetric() {
    return static_cast<double>(next() >> 11) * (2.0 / 9007199254740992.0) - 1.0;
  }

 private:
  uint64_t state_;
};

}  // namespace mkcase
