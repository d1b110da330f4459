// ciprop: one-electron properties of CI wavefunctions.  No arguments; the
// options come as namelist groups on standard input, the report goes to
// standard output.
#include <iostream>
#include <memory>

#include "driver/driver.hpp"

int main() {
  std::ios::sync_with_stdio(false);
  auto run = std::make_unique<ciprop::Run>(std::cout, std::cin, std::cerr);
  return ciprop::run_program(*run);
}
