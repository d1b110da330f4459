// A whole run of the program in a child process, timed; the child sends
// back the count of coupled determinant pairs.  The peak memory of a run is
// taken apart (peak_of_run), from the program started as users start it.
#pragma once
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "driver/driver.hpp"
#include "tools/mkcase/make_case.hpp"

namespace timing {

struct Timed {
  double seconds = 0;
  double cpu = 0;  // user and system time of the run, on every thread
  int status = 0;
  long long pairs = 0;
};

// Puts a case just generated on disk before it is timed, as a CI run's files
// are when ciprop runs after it: their write-back would otherwise go on
// during the timed runs.
inline void settle_case_files() { ::sync(); }

// A generated case written to `dir`, settled and made the working folder:
// its determinant count, the seconds its generation took and its input.
struct CaseOnDisk {
  size_t ndet = 0;
  double seconds = 0;
  std::string input;
};
inline CaseOnDisk enter_case(const mkcase::Description& d, const std::string& dir) {
  CaseOnDisk c;
  const auto t0 = std::chrono::steady_clock::now();
  c.ndet = mkcase::make_case(d, dir).b->dets.size();
  c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  settle_case_files();
  if (::chdir(dir.c_str()) != 0) return c;
  std::ifstream f("input");
  c.input.assign(std::istreambuf_iterator<char>(f), {});
  return c;
}

// The input with its item "NUMERO=..." replaced by `roots` (items or cards).
inline std::string with_roots(std::string input, const std::string& roots) {
  const size_t k = input.find("NUMERO=");
  input.replace(k, input.find(' ', k) - k, roots);
  return input;
}

// Runs the program on `input` in the working directory.
inline Timed run_child(const std::string& input) {
  int fd[2];
  if (pipe(fd) != 0) return {0, 0, -1, 0};
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
  t.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
          1e-6 * double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
  return t;
}

// A process forked from a benchmark starts with the benchmark's pages
// resident (a generated case among them), and they count in its peak even
// past an exec.  So the program is started by a small process of its own:
// the benchmark started again as "--peak-of PROGRAM INPUT", which runs the
// program on the file INPUT and prints its peak resident memory in kB.
// Called first in main: true when this process is that starter.
inline bool run_as_peak_starter(int argc, char** argv) {
  if (argc != 4 || std::strcmp(argv[1], "--peak-of") != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(argv[3], O_RDONLY), null = open("/dev/null", O_WRONLY);
    if (in < 0 || null < 0) _exit(127);
    dup2(in, 0);
    dup2(null, 1);
    dup2(null, 2);
    execl(argv[2], argv[2], static_cast<char*>(nullptr));
    _exit(127);
  }
  int ws = 0;
  rusage ru{};
  wait4(pid, &ws, 0, &ru);
  std::printf("%ld\n", ru.ru_maxrss);
  return true;
}

// The peak memory, in MB, of the program run as a process of its own on
// `input` in the working directory; 0 when it could not be started.
inline long peak_of_run(const std::string& input) {
  const char* file = "peak_input";
  std::ofstream(file) << input;
  int fd[2];
  if (pipe(fd) != 0) return 0;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fd[0]);
    dup2(fd[1], 1);
    execl("/proc/self/exe", "starter", "--peak-of", CIPROP_EXE, file, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fd[1]);
  std::string text;
  char buf[64];
  for (ssize_t n; (n = read(fd[0], buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
  close(fd[0]);
  waitpid(pid, nullptr, 0);
  std::remove(file);
  return text.empty() ? 0 : std::stol(text) / 1024;
}

}  // namespace timing
