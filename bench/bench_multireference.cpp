// Cost of a multireference run: an "MRDD" case of several million
// determinants on ten references, run stage by stage in this process, beside
// the "DDCI" case of the same orbital spaces.  Per mode: the tables (and, in
// MRDD, the references), the list check with the reordering, the density,
// and the density's cost per connected pair (an excited determinant found in
// the second space).
//
//   bench_multireference [scale]   scale 1 (default) for the full case; 0 for
//                                  a small one that checks the program runs
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <unistd.h>

#include "driver/driver.hpp"
#include "fortio/stop.hpp"
#include "input/open_files.hpp"
#include "tools/mkcase/make_case.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Processor time of this process: on a machine shared with other work the
// wall time of a stage stretches, its processor time much less.
double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// One whole run in the folder of the case, the time after each stage.
void run_stages_timed(const char* mode, size_t ndet) {
  std::ostringstream out, err;
  std::istringstream in;
  auto run = std::make_unique<ciprop::Run>(out, in, err);
  run->dim = ciprop::kDim;
  run->io.open(ciprop::kUnitListing, "BID75", fio::Status::Unknown, fio::Form::Formatted);
  {
    std::ifstream f("input");
    std::ofstream("BID93") << f.rdbuf();
  }
  run->io.open(ciprop::kUnitInput, "BID93", fio::Status::Old, fio::Form::Formatted);
  double at[8] = {}, cpu[8] = {};
  const auto t0 = Clock::now();
  const double c0 = cpu_seconds();
  try {
    ciprop::run_stages(*run, ciprop::Stage::OpenFiles, ciprop::Stage::Moments,
                       [&](ciprop::Stage s) {
                         if (s == ciprop::Stage::OpenFiles) run->switches.packed_lists = true;
                         at[static_cast<int>(s)] = since(t0);
                         cpu[static_cast<int>(s)] = cpu_seconds() - c0;
                       });
  } catch (const fio::StopRun& s) {
    std::printf("%s: stopped with status %d\n%s%s", mode, s.status, out.str().c_str(),
                err.str().c_str());
    return;
  }
  using S = ciprop::Stage;
  auto span = [&](S from, S to) {
    return at[static_cast<int>(to)] - (from == S::OpenFiles ? 0.0 : at[static_cast<int>(from) - 1]);
  };
  const double density = span(S::Density, S::Density);
  const double density_cpu = cpu[static_cast<int>(S::Density)] - cpu[static_cast<int>(S::Integrals)];
  const long long pairs = run->dens.connected;
  std::printf("%s  %9zu determinants\n", mode, ndet);
  std::printf("  files, run description, tables%s %8.3f s\n",
              mode[0] == 'M' ? " and references" : "               ",
              span(S::OpenFiles, S::Categories));
  std::printf("  list check and reordering                      %8.3f s\n",
              span(S::DeterminantLists, S::DeterminantLists));
  std::printf("  density stage                                  %8.3f s: %lld connected pairs, "
              "%.1f ns per pair\n",
              density, pairs, 1e9 * density / static_cast<double>(pairs));
  std::printf("  density stage, processor time                  %8.3f s: %.1f ns per pair\n",
              density_cpu, 1e9 * density_cpu / static_cast<double>(pairs));
  std::printf("  whole run                                      %8.3f s\n", at[7]);
}

void bench(const mkcase::Description& d, const std::filesystem::path& dir) {
  auto t0 = Clock::now();
  mkcase::Case c = mkcase::make_case(d, dir.string());
  std::printf("(%s case generated in %.1f s)\n", d.gener.c_str(), since(t0));
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  run_stages_timed(d.gener.c_str(), c.b->dets.size());
  std::filesystem::current_path(home);
  std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  const bool full = argc < 2 || std::string(argv[1]) != "0";
  // The orbital spaces of the density benchmark: 4 irreps, 8 inactive, 6
  // active and 48 virtual orbitals, 6 active electrons.
  mkcase::Description d =
      full ? mkcase::describe("MRDD", 4, {3, 2, 2, 1}, {2, 2, 1, 1}, {16, 12, 12, 8}, 6)
           : mkcase::describe("MRDD", 2, {2, 1}, {2, 2}, {4, 3}, 4);
  d.nroots = 2;
  d.root1 = 1;
  d.root2 = 2;
  d.nref = full ? 10 : 3;
  d.seed = 3;
  d.density_limit = 0;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  // Folders of this process alone: other runs may share the machine.
  const std::filesystem::path tmp =
      std::filesystem::temp_directory_path() / ("ciprop_bench_mr_" + std::to_string(getpid()));
  bench(d, tmp / "mrdd");
  d.gener = "DDCI";
  d.nref = 0;
  bench(d, tmp / "ddci");
  std::filesystem::remove_all(tmp);
}
