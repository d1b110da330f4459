// A spectrum in one run against one run per root: a DDCI space of several
// million determinants in four irreps with ten roots in each vector file,
// root 1 of the first file against roots 1 to 10 of the second (RACINES)
// in one run, then the ten pairs as ten runs.  Each run is a child process;
// its time and peak memory are printed, and the sums of the ten.
//
//   bench_absorption [--small] [roots]     roots: how many (default 10)
//
// The memory of one run grows by one vector per root held at once; a run
// given less room than the roots need takes several passes over vector 1,
// shown in the report's table.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/child_run.hpp"
#include "bench/scale.hpp"

namespace fs = std::filesystem;
using timing::with_roots;

int main(int argc, char** argv) {
  if (timing::run_as_peak_starter(argc, argv)) return 0;
  const bool small = benchmark::small_scale(argc, argv);
  const int nroots = argc > 1 ? std::atoi(argv[1]) : small ? 3 : 10;
  mkcase::Description d = benchmark::orbital_spaces("DDCI", small, 6);
  d.nroots = nroots;
  d.root1 = 1;
  d.root2 = 2;
  d.density_limit = 0;
  const fs::path dir = benchmark::own_folder("ciprop_bench_absorption");
  const fs::path home = fs::current_path();
  const timing::CaseOnDisk c = timing::enter_case(d, dir.string());
  std::printf("DDCI, %d irreps: %zu determinants, %d orbitals, %d roots (generated in %.1f s)\n",
              d.nsym, c.ndet, d.norb(), nroots, c.seconds);
  const std::string& input = c.input;

  // The list on a card of its own: a card holds 80 columns.
  std::string listed = "NUMERO=1,\n RACINES=";
  for (int r = 1; r <= nroots; ++r) listed += std::to_string(r) + ",";
  listed += "\n";
  const std::string spectrum = with_roots(input, listed);
  const timing::Timed one = timing::run_child(spectrum);
  const long one_peak = timing::peak_of_run(spectrum);
  std::printf("  one run, %d pairs      %7.2f s (cpu %.2f s, status %d), peak memory %ld MB\n",
              nroots, one.seconds, one.cpu, one.status, one_peak);

  double seconds = 0, cpu = 0;
  long peak = 0;
  bool failed = one.status != 0;
  for (int r = 1; r <= nroots; ++r) {
    const std::string pair = with_roots(input, "NUMERO=1," + std::to_string(r) + ",");
    const timing::Timed t = timing::run_child(pair);
    const long t_peak = timing::peak_of_run(pair);
    std::printf("  run of pair 1-%-2d        %7.2f s (cpu %.2f s, status %d), peak memory %ld MB\n",
                r, t.seconds, t.cpu, t.status, t_peak);
    failed = failed || t.status != 0;
    seconds += t.seconds;
    cpu += t.cpu;
    peak = std::max(peak, t_peak);
    std::fflush(stdout);
  }
  std::printf("  %d runs, one pair each  %7.2f s (cpu %.2f s), largest peak memory %ld MB\n",
              nroots, seconds, cpu, peak);
  std::printf("  one run against %d:     %.1fx faster, %.2fx the memory\n", nroots,
              seconds / one.seconds, double(one_peak) / double(peak));
  fs::current_path(home);
  fs::remove_all(dir);
  return failed ? 1 : 0;
}
