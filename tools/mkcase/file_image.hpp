// The image of a binary MOLCAS file being written: little-endian words at
// byte positions, the file grown on demand with a fill byte.
#pragma once
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace mkcase {

struct FileImage {
  std::vector<unsigned char> b;
  unsigned char fill = 0;

  void grow(size_t end) {
    if (b.size() < end) b.resize(end, fill);
  }
  void word(size_t pos, uint64_t v, int bytes) {
    grow(pos + bytes);
    for (int k = 0; k < bytes; ++k) b[pos + k] = static_cast<unsigned char>(v >> (8 * k));
  }
  void i32(size_t pos, int32_t v) { word(pos, uint32_t(v), 4); }
  void i64(size_t pos, int64_t v) { word(pos, uint64_t(v), 8); }
  void f64(size_t pos, double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    word(pos, u, 8);
  }
  void text(size_t pos, const std::string& s) {
    grow(pos + s.size());
    std::memcpy(b.data() + pos, s.data(), s.size());
  }
  void save(const std::string& path) const {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
  }
};

}  // namespace mkcase
