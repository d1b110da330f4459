// Running the real binary with standard input or standard error on a
// pseudo-terminal, as when a user types the command in a shell.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_in_dir.hpp"

namespace test {

struct TerminalRun {
  int status = -1;
  std::string terminal;  // what the program wrote to the terminal
  std::string out;       // standard output (a file)
  std::string err;       // standard error when it is not the terminal
};

// Runs exe with args in dir.  Standard output goes to a file; standard input
// is the terminal when input_on_terminal (the test then types an end of
// file), else the text `input` from a file; standard error is the terminal
// when err_on_terminal, else a file.
inline TerminalRun run_on_terminal(const ScratchDir& dir, const std::vector<std::string>& args,
                                   bool input_on_terminal, bool err_on_terminal,
                                   const std::string& input = "") {
  TerminalRun r;
  dir.write(".stdin", input);
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return r;
  const std::string slave_name = ::ptsname(master);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    const int slave = ::open(slave_name.c_str(), O_RDWR);
    const std::string d = dir.path().string();
    if (::chdir(d.c_str()) != 0) ::_exit(127);
    const int in = input_on_terminal ? slave : ::open(".stdin", O_RDONLY);
    const int out = ::open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err =
        err_on_terminal ? slave : ::open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  // An end of file typed at the start of a line ends the program's input.
  if (input_on_terminal) {
    const char eot = 4;
    if (::write(master, &eot, 1) != 1) return r;
  }
  int wstatus = 0;
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 100) > 0 && (p.revents & POLLIN)) {
      char buf[4096];
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n > 0) r.terminal.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (::waitpid(pid, &wstatus, WNOHANG) == pid) break;
  }
  for (char buf[4096];;) {  // what is still buffered after the exit
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) break;
    const ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;
    r.terminal.append(buf, static_cast<size_t>(n));
  }
  ::close(master);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.out = dir.read(".stdout");
  if (!err_on_terminal) r.err = dir.read(".stderr");
  return r;
}

}  // namespace test
