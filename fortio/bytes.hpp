// Four-byte little-endian integers in a byte buffer: the record lengths of
// the unformatted files and the words of the MOLCAS binary files.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace fio {

inline uint32_t get_le32(const unsigned char* b) {
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

inline void put_le32(unsigned char* b, uint32_t v) {
  b[0] = v & 0xff;
  b[1] = (v >> 8) & 0xff;
  b[2] = (v >> 16) & 0xff;
  b[3] = (v >> 24) & 0xff;
}

// The position of the first NaN or infinity among n doubles, n when all
// are finite.  A non-finite number read from a file is damage, never data.
inline std::size_t first_non_finite(const double* x, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (!std::isfinite(x[i])) return i;
  return n;
}

}  // namespace fio
