// mkcase: writes a consistent run folder for ciprop from a short description
// on the command line.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/mkcase/options.hpp"
#include "tools/mkcase/runfiles.hpp"
#include "tools/mkcase/space.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    mkcase::Options o = mkcase::parse_options(args);
    long long ndet = mkcase::space_size(o.d, o.d.is0);
    mkcase::write_run_description(o.d, o.dir, ndet);
    std::cout << o.dir << ": " << ndet << " determinants\n";
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n" << mkcase::kUsage;
    return 1;
  }
  return 0;
}
