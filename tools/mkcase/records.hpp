// Sequential unformatted files as the CI program writes them: every record is
// a 4-byte little-endian byte count, the payload and the count again.
#pragma once
#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace mkcase {

class RecordFile {
 public:
  // Creates (or truncates) path; throws std::runtime_error naming it.
  explicit RecordFile(const std::string& path);
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  struct Piece {
    const void* data;
    std::size_t nbytes;
  };
  // One record made of the pieces, in order.
  void record(std::initializer_list<Piece> pieces);
  template <class T>
  void record(const std::vector<T>& v) {
    record({{v.data(), v.size() * sizeof(T)}});
  }
  // Flushes and closes; throws if anything failed on the way.
  void close();

 private:
  void put(const void* data, std::size_t nbytes);
  std::string path_;
  std::FILE* f_ = nullptr;
  std::vector<char> buffer_;
  bool failed_ = false;
};

}  // namespace mkcase
