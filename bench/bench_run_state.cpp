// Cost of creating the run state as the program does at start, each time in
// a fresh process (a process that has freed memory before would get other
// pages back), and the memory it holds then.  A run pays this before reading
// a single file, whatever the size of its case.
// Usage: bench_run_state [--small] [repetitions]     (--small: 2 repetitions)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

#include "bench/scale.hpp"
#include "core/run_state.hpp"

namespace {

struct Sample {
  double seconds = 0;
  long resident_kb = 0;  // the child's peak, the run state just made
};

Sample one_child() {
  int fd[2];
  if (pipe(fd) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fd[0]);
    std::ostringstream out, err;
    std::istringstream in;
    const auto t0 = std::chrono::steady_clock::now();
    auto run = std::make_unique<ciprop::Run>(out, in, err);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (write(fd[1], &s, sizeof s) != sizeof s) _exit(1);
    _exit(run->orb.norb);
  }
  close(fd[1]);
  Sample x;
  if (read(fd[0], &x.seconds, sizeof x.seconds) != sizeof x.seconds) std::exit(1);
  close(fd[0]);
  int ws = 0;
  rusage ru{};
  wait4(pid, &ws, 0, &ru);
  x.resident_kb = ru.ru_maxrss;
  return x;
}

}  // namespace

int main(int argc, char** argv) {
  const bool small = benchmark::small_scale(argc, argv);
  const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : small ? 2 : 21;
  std::vector<double> t;
  long kb = 0;
  for (int k = 0; k < n; ++k) {
    const Sample x = one_child();
    t.push_back(x.seconds);
    kb = std::max(kb, x.resident_kb);
  }
  std::sort(t.begin(), t.end());
  std::printf("run state object of %zu bytes (large arrays beside it), %d fresh processes\n",
              sizeof(ciprop::Run), n);
  std::printf("construction: median %.5f s, fastest %.5f s, slowest %.5f s\n", t[t.size() / 2],
              t.front(), t.back());
  std::printf("peak resident memory of a process holding it: %.1f MB\n", kb / 1024.0);
}
