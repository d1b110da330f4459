// ciprop: one-electron properties of CI wavefunctions.  The options come as
// namelist groups on standard input, the report goes to standard output;
// the only arguments are --help and --version.
#include <unistd.h>

#include <iostream>
#include <memory>

#include "driver/command_line.hpp"
#include "driver/driver.hpp"

int main(int argc, char** argv) {
  if (const int status = ciprop::command_line(argc, argv, std::cout, std::cerr); status >= 0)
    return status;
  ciprop::terminal_hint(isatty(STDIN_FILENO) == 1, std::cerr);
  std::ios::sync_with_stdio(false);
  auto run = std::make_unique<ciprop::Run>(std::cout, std::cin, std::cerr);
  run->io.set_err_is_terminal(isatty(STDERR_FILENO) == 1);
  return ciprop::run_program(*run);
}
