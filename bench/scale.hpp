// What the benchmarks share about their scale and their folders.  Each one
// runs on cases of the size users run, or, given --small, on cases so small
// that the test suite runs it in a few seconds to show that it still builds
// and runs; the figures of a small run mean nothing.  A benchmark writes its
// cases in a folder of its own process: several may run on one machine.
#pragma once
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "tools/mkcase/case.hpp"

namespace benchmark {

// True when the arguments ask for the small scale.  "--small" is taken out of
// them, so that a benchmark reads the others as it always has.
inline bool small_scale(int& argc, char** argv) {
  for (int k = 1; k < argc; ++k)
    if (std::strcmp(argv[k], "--small") == 0) {
      for (int j = k; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      return true;
    }
  return false;
}

// name_<process id> in the temporary directory.
inline std::filesystem::path own_folder(const std::string& name) {
  return std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
}

// The orbital spaces of the density benchmark, where most benchmarks run:
// 4 irreps with 8 inactive, 6 active and 48 virtual orbitals; at the small
// scale 2 irreps with 3 inactive, 4 active and 7 virtual orbitals.
inline mkcase::Description orbital_spaces(const std::string& gener, bool small, int nelac,
                                          int ms2 = 0) {
  if (small) return mkcase::describe(gener, 2, {2, 1}, {2, 2}, {4, 3}, nelac, ms2);
  return mkcase::describe(gener, 4, {3, 2, 2, 1}, {2, 2, 1, 1}, {16, 12, 12, 8}, nelac, ms2);
}

}  // namespace benchmark
