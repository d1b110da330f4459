// A whole run of the program in a child process, timed, with its peak
// memory: the child's own, not the parent's (which may hold a generated
// case).  The child sends back the count of coupled determinant pairs.
#pragma once
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

#include "driver/driver.hpp"

namespace timing {

struct Timed {
  double seconds = 0;
  double cpu = 0;  // user and system time of the run, on every thread
  int status = 0;
  long long pairs = 0;
  long peak_mb = 0;
};

// Puts a case just generated on disk before it is timed, as a CI run's files
// are when ciprop runs after it: their write-back would otherwise go on
// during the timed runs.
inline void settle_case_files() { ::sync(); }

// Runs the program on `input` in the working directory.
inline Timed run_child(const std::string& input) {
  int fd[2];
  if (pipe(fd) != 0) return {0, 0, -1, 0, 0};
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    close(fd[0]);
    std::ostringstream out, err;
    std::istringstream in(input);
    auto run = std::make_unique<ciprop::Run>(out, in, err);
    const int status = ciprop::run_program(*run);
    if (status != 0) std::fprintf(stderr, "%s%s", out.str().c_str(), err.str().c_str());
    const long long pairs = run->dens.connected;
    if (write(fd[1], &pairs, sizeof pairs) != sizeof pairs) _exit(99);
    _exit(status);
  }
  close(fd[1]);
  Timed t;
  if (read(fd[0], &t.pairs, sizeof t.pairs) != sizeof t.pairs) t.pairs = 0;
  close(fd[0]);
  int ws = 0;
  rusage ru{};
  wait4(pid, &ws, 0, &ru);
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  t.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
  t.peak_mb = ru.ru_maxrss / 1024;
  t.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
          1e-6 * double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
  return t;
}

}  // namespace timing
