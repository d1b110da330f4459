#include "tools/mkcase/records.hpp"

#include <bit>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace mkcase {

// Payloads (4-byte integers, doubles) are written in the machine's order.
static_assert(std::endian::native == std::endian::little,
              "the CI program's files are little-endian");

RecordFile::RecordFile(const std::string& path) : path_(path), buffer_(1 << 20) {
  f_ = std::fopen(path.c_str(), "wb");
  if (!f_) throw std::runtime_error("mkcase: cannot create " + path);
  std::setvbuf(f_, buffer_.data(), _IOFBF, buffer_.size());
}

RecordFile::~RecordFile() {
  if (f_) std::fclose(f_);
}

void RecordFile::put(const void* data, std::size_t nbytes) {
  if (nbytes > 0 && std::fwrite(data, 1, nbytes, f_) != nbytes) failed_ = true;
}

void RecordFile::record(std::initializer_list<Piece> pieces) {
  std::size_t n = 0;
  for (const Piece& p : pieces) n += p.nbytes;
  if (n > std::numeric_limits<uint32_t>::max())
    throw std::runtime_error("mkcase: record too long for " + path_);
  const uint32_t len = static_cast<uint32_t>(n);
  const unsigned char le[4] = {static_cast<unsigned char>(len), static_cast<unsigned char>(len >> 8),
                               static_cast<unsigned char>(len >> 16),
                               static_cast<unsigned char>(len >> 24)};
  put(le, 4);
  for (const Piece& p : pieces) put(p.data, p.nbytes);
  put(le, 4);
}

void RecordFile::close() {
  if (!f_) return;
  if (std::fclose(f_) != 0) failed_ = true;
  f_ = nullptr;
  if (failed_) throw std::runtime_error("mkcase: error writing " + path_);
}

}  // namespace mkcase
