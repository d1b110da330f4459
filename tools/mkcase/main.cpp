// mkcase: writes a consistent run folder for ciprop from a short description
// on the command line.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/mkcase/make_case.hpp"
#include "tools/mkcase/options.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") {
      std::cout << mkcase::kUsage;
      return 0;
    }
  try {
    mkcase::Options o = mkcase::parse_options(args);
    mkcase::Case c = mkcase::make_case(o.d, o.dir);
    std::cout << o.dir << ": " << c.a->dets.size() << " determinants in deta, "
              << c.b->dets.size() << " in detb"
              << (c.ro.empty() ? "; densities skipped (above the limit)" : "") << "\n";
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n" << mkcase::kUsage;
    return 1;
  }
  return 0;
}
