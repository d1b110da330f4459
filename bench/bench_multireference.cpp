// Cost of a multireference run: an "MRDD" case of several million
// determinants on ten references, run stage by stage in this process, beside
// the "DDCI" case of the same orbital spaces.  Per mode: the tables (and, in
// MRDD, the references), the list check with the reordering, the density
// stage and its cost per connected pair (an excited determinant found in
// the second space), the density kernel alone on the stage's vectors (one
// ket, then ten kets in one pass), and the whole run, each in wall and
// processor time.  For MRDD also the spectrum of root 1 against roots 1 to
// 10 (RACINES) as one whole run, beside the run of the pair alone.
//
//   bench_multireference [--small]   the full case, or a small one that checks
//                                    the program runs
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/scale.hpp"
#include "density/computed_density.hpp"
#include "density/transition_density.hpp"
#include "density/vectors.hpp"
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

// Wall and processor seconds since a start.
struct Times {
  double wall = 0, cpu = 0;
};
struct Start {
  Clock::time_point wall = Clock::now();
  double cpu = cpu_seconds();
  Times since() const { return {::since(wall), cpu_seconds() - cpu}; }
};

// The density kernel alone on the run's vectors, read and gathered again as
// the density stage hands them over: a pass with root 2 as the one ket, and
// a pass with ten kets (root 2 ten times: the work does not depend on the
// values).
struct KernelTimes {
  Times one, ten;
};
KernelTimes time_kernel(ciprop::Run& run) {
  using namespace ciprop;
  run.io.rewind(kUnitVecA);
  run.io.rewind(kUnitVecB);
  double *a = run.espa.a(), *b = run.espa.b();
  Vectors v = read_vectors(run, a, b, "APRES SGN", {.gather_first = true});
  const ZeroVector ordered1 = first_vector_gathered(run, a, v);
  const std::unique_ptr<AddressTables> tables = make_address_tables(run);
  const CiVector bra{a, v.ndim1, v.isym1, ordered1.data()};
  const std::vector<CiVector> kets(10, CiVector{b, v.ndim2, v.isym2, b});
  KernelTimes t;
  for (const size_t n : {size_t(1), kets.size()}) {
    ListOnUnit list1(run, kUnitDetA);
    const Start s;
    transition_densities(*tables, list1, bra, std::span(kets.data(), n));
    (n == 1 ? t.one : t.ten) = s.since();
  }
  return t;
}

struct RunTimes {
  Times whole;
  long long pairs = 0;
};

// One whole run of `input` in the folder of the case, the time after each
// stage printed, and the kernel alone after it.
RunTimes run_stages_timed(const char* mode, size_t ndet, const std::string& input) {
  std::ostringstream out, err;
  std::istringstream in;
  auto run = std::make_unique<ciprop::Run>(out, in, err);
  run->dim = ciprop::kDim;
  run->io.open(ciprop::kUnitListing, "BID75", fio::Status::Unknown, fio::Form::Formatted);
  std::ofstream("BID93") << input;
  run->io.open(ciprop::kUnitInput, "BID93", fio::Status::Old, fio::Form::Formatted);
  Times at[8] = {};
  const Start start;
  try {
    ciprop::run_stages(*run, ciprop::Stage::OpenFiles, ciprop::Stage::Moments,
                       [&](ciprop::Stage s) {
                         if (s == ciprop::Stage::OpenFiles) run->switches.packed_lists = true;
                         at[static_cast<int>(s)] = start.since();
                       });
  } catch (const fio::StopRun& s) {
    std::printf("%s: stopped with status %d\n%s%s", mode, s.status, out.str().c_str(),
                err.str().c_str());
    return {};
  }
  using S = ciprop::Stage;
  auto span = [&](S from, S to) {
    const Times before = from == S::OpenFiles ? Times{} : at[static_cast<int>(from) - 1];
    return Times{at[static_cast<int>(to)].wall - before.wall,
                 at[static_cast<int>(to)].cpu - before.cpu};
  };
  const long long pairs = run->dens.connected;
  auto line = [&](const char* what, Times t, bool per_pair) {
    std::printf("  %-44s %8.3f s, processor %8.3f s", what, t.wall, t.cpu);
    if (per_pair)
      std::printf(": %.1f ns per pair, processor %.1f", 1e9 * t.wall / double(pairs),
                  1e9 * t.cpu / double(pairs));
    std::printf("\n");
  };
  std::printf("%s  %9zu determinants, %lld connected pairs\n", mode, ndet, pairs);
  line(mode[0] == 'M' ? "files, run description, tables, references" : "files, run description, tables",
       span(S::OpenFiles, S::Categories), false);
  line("list check and reordering", span(S::DeterminantLists, S::DeterminantLists), false);
  line("density stage", span(S::Density, S::Density), true);
  line("whole run", at[7], false);
  if (run->ronum.nracines > 0) return {at[7], pairs};
  const KernelTimes k = time_kernel(*run);
  line("density kernel alone, one ket", k.one, true);
  std::printf("  %-44s %8.3f s, processor %8.3f s: %.2f times one ket\n",
              "density kernel alone, ten kets", k.ten.wall, k.ten.cpu, k.ten.cpu / k.one.cpu);
  return {at[7], pairs};
}

// The input of the case with root 1 of the first file against roots 1 to
// n of the second, listed on a card of their own.
std::string spectrum_input(const std::string& input, int n) {
  std::string roots = " RACINES=";
  for (int r = 1; r <= n; ++r) roots += std::to_string(r) + ",";
  std::string s = input;
  const size_t k = s.find("NUMERO=");
  s.replace(k, s.find(' ', k) - k, "NUMERO=1,\n" + roots + "\n");
  return s;
}

void bench(const mkcase::Description& d, const std::filesystem::path& dir) {
  auto t0 = Clock::now();
  mkcase::Case c = mkcase::make_case(d, dir.string());
  std::printf("(%s case generated in %.1f s)\n", d.gener.c_str(), since(t0));
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  std::string input;
  {
    std::ifstream f("input");
    input.assign(std::istreambuf_iterator<char>(f), {});
  }
  const RunTimes pair = run_stages_timed(d.gener.c_str(), c.b->dets.size(), input);
  if (d.nroots >= 10) {
    const RunTimes spectrum =
        run_stages_timed((d.gener + ", root 1 against roots 1 to 10").c_str(), c.b->dets.size(),
                         spectrum_input(input, 10));
    std::printf("  spectrum of ten roots against the pair alone: %.2f times (processor %.2f)\n",
                spectrum.whole.wall / pair.whole.wall, spectrum.whole.cpu / pair.whole.cpu);
  }
  std::filesystem::current_path(home);
  std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  const bool full = !benchmark::small_scale(argc, argv);
  // The orbital spaces of the density benchmark: 4 irreps, 8 inactive, 6
  // active and 48 virtual orbitals, 6 active electrons.
  mkcase::Description d =
      full ? mkcase::describe("MRDD", 4, {3, 2, 2, 1}, {2, 2, 1, 1}, {16, 12, 12, 8}, 6)
           : mkcase::describe("MRDD", 2, {2, 1}, {2, 2}, {4, 3}, 4);
  d.nroots = 10;
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
  d.nroots = 2;
  bench(d, tmp / "ddci");
  std::filesystem::remove_all(tmp);
}
