// Every transition among the roots of one CI run in one run against one run
// per transition: the DDCI space of the density benchmark (5.6 million
// determinants in four irreps), six roots in one vector file serving as
// both.  One run of RACINESA=1..6 and RACINES=1..6 forms the 21 pairs (15
// transitions and the 6 states); then each of the 15 transitions runs
// alone.  Each run is a child process; its time, processor time and peak
// memory are printed, and the sums of the single runs.
//
//   bench_all_pairs [--small]     --small: a space of a few thousand
//                                 determinants, for a quick check that the
//                                 benchmark runs
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/child_run.hpp"
#include "bench/scale.hpp"

namespace fs = std::filesystem;
using timing::with_roots;

constexpr int kRoots = 6;

int main(int argc, char** argv) {
  if (timing::run_as_peak_starter(argc, argv)) return 0;
  mkcase::Description d =
      benchmark::orbital_spaces("DDCI", benchmark::small_scale(argc, argv), 6);
  d.nroots = kRoots;
  d.root1 = 1;
  d.root2 = 2;
  d.one_list = true;
  d.density_limit = 0;
  const fs::path dir = benchmark::own_folder("ciprop_bench_all_pairs");
  const fs::path home = fs::current_path();
  const timing::CaseOnDisk c = timing::enter_case(d, dir.string());
  std::printf("DDCI, %d irreps, one CI run: %zu determinants, %d orbitals, %d roots "
              "(generated in %.1f s)\n",
              d.nsym, c.ndet, d.norb(), kRoots, c.seconds);
  const std::string& input = c.input;

  // Each list on a card of its own: a card holds 80 columns.
  const std::string all = with_roots(input, "RACINESA=1,2,3,4,5,6,\n RACINES=1,2,3,4,5,6,\n");
  const timing::Timed one = timing::run_child(all);
  const long one_peak = timing::peak_of_run(all);
  std::printf(
      "  one run, all 21 pairs          %7.2f s (cpu %7.2f s, status %d), peak memory "
      "%ld MB\n",
      one.seconds, one.cpu, one.status, one_peak);

  double seconds = 0, cpu = 0;
  long peak = 0;
  for (int i = 1; i <= kRoots; ++i)
    for (int j = i + 1; j <= kRoots; ++j) {
      const std::string pair =
          with_roots(input, "NUMERO=" + std::to_string(i) + "," + std::to_string(j) + ",");
      const timing::Timed t = timing::run_child(pair);
      const long t_peak = timing::peak_of_run(pair);
      std::printf(
          "  run of pair %d-%d                %7.2f s (cpu %7.2f s, status %d), peak "
          "memory %ld MB\n",
          i, j, t.seconds, t.cpu, t.status, t_peak);
      seconds += t.seconds;
      cpu += t.cpu;
      peak = std::max(peak, t_peak);
      std::fflush(stdout);
    }
  std::printf(
      "  15 runs, one transition each   %7.2f s (cpu %7.2f s), largest peak memory "
      "%ld MB\n",
      seconds, cpu, peak);
  std::printf(
      "  one run against 15:            %.1fx faster (%.1fx less processor time), %.2fx "
      "the memory\n",
      seconds / one.seconds, cpu / one.cpu, double(one_peak) / double(peak));
  fs::current_path(home);
  fs::remove_all(dir);
  return one.status;
}
