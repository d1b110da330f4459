#include "input/byte_files.hpp"

#include <fcntl.h>
#include <unistd.h>

namespace ciprop {

// A FIFO put in place of the file between the check and this open is not
// waited on.
int c_open(const char* name) { return ::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }

long c_lseek(int fd, long offset) {
  if (fd < 0) return -1;
  return static_cast<long>(::lseek(fd, offset, SEEK_SET));
}

long c_read(int fd, void* buffer, std::size_t nbytes) {
  if (fd < 0) return -1;
  std::size_t done = 0;
  auto* p = static_cast<unsigned char*>(buffer);
  while (done < nbytes) {
    ssize_t got = ::read(fd, p + done, nbytes - done);
    if (got < 0) return done > 0 ? static_cast<long>(done) : -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<long>(done);
}

}  // namespace ciprop
