// Whole runs on generated spaces of the size users run: the time to the
// reordered determinant list (a run stopped with STOP='ORDET'), the whole
// run, the density stage as their difference (with the integrals and the
// report, a few milliseconds here), nanoseconds per coupled determinant pair,
// the peak memory of the run, and the time to read the run's files once from
// the page cache, in this process with a buffer of 1 MB and by cat, a
// process of its own as the run is.  Each run is a child process; its peak
// memory is taken from the program started on its own (peak_of_run), so
// that it is not the generator's.
//
//   bench_density_cases [case ...]   cases: cas12 cas13 ddci ddci1 (the
//                                    default; ddci1 is ddci with one list
//                                    for both vectors, as one CI run writes
//                                    it), cas14 ddci12m (both with MEM
//                                    raised)
//   bench_density_cases --small      a CAS and a DDCI case of a few hundred
//                                    determinants, without psi4
//
// CIPROP_THREADS, when set, is passed on to the runs.  CIPROP_BENCH_KEEP, when
// set, keeps each case's folder for profiling.  When psi4 is installed,
// the complete active spaces of up to 13 orbitals are also run through its
// detci (N2 in cc-pVDZ without symmetry, one inactive orbital, two roots,
// with the state and transition one-particle densities), and its own timer
// of the density step ("CIWave: opdm") is shown per call beside ciprop's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/child_run.hpp"
#include "bench/scale.hpp"
#include "driver/driver.hpp"
#include "tools/mkcase/make_case.hpp"

namespace {

namespace fs = std::filesystem;
using timing::run_child;
using timing::Timed;

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Reads every file of the folder once (to the page cache), then times a
// second reading.
double read_files(const fs::path& dir) {
  std::vector<char> buf(1 << 20);
  double t = 0;
  for (int pass = 0; pass < 2; ++pass) {
    const auto t0 = std::chrono::steady_clock::now();
    for (const auto& e : fs::directory_iterator(dir)) {
      std::ifstream f(e.path(), std::ios::binary);
      while (f.read(buf.data(), std::streamsize(buf.size())) || f.gcount() > 0) {
      }
    }
    t = since(t0);
  }
  return t;
}

// The same files read by cat, best of three.
double cat_files(const fs::path& dir) {
  std::string command = "cat";
  for (const auto& e : fs::directory_iterator(dir)) command += " '" + e.path().string() + "'";
  command += " > /dev/null";
  double best = 1e30;
  for (int round = 0; round < 3; ++round) {
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return 0;
    best = std::min(best, since(t0));
  }
  return best;
}

struct Bench {
  const char* title;
  mkcase::Description d;
  long long mem = 0;  // MEM of &RHO, 0 for the default capacity
};

// psi4's time per density call on the CAS space of n active orbitals with
// 12 (or 14) active electrons of N2; 0 when psi4 is not there or fails.
double psi4_opdm(int nact) {
  if (std::system("command -v psi4 > /dev/null 2>&1") != 0) return 0;
  const fs::path dir = benchmark::own_folder("ciprop_bench_psi4");
  fs::create_directories(dir);
  const int docc = nact >= 14 ? 0 : 1;
  std::ofstream(dir / "input.dat")
      << "memory 4 gb\nset_num_threads(2)\nmolecule {\n0 1\nN\nN 1 1.0977\nsymmetry c1\n}\n"
      << "set basis cc-pvdz\nset reference rhf\nset restricted_docc [" << docc << "]\n"
      << "set active [" << nact << "]\nset num_roots 2\nset e_convergence 1e-4\n"
      << "set r_convergence 1e-2\nset opdm true\nset tdm true\nenergy('detci')\n";
  const std::string cmd = "cd '" + dir.string() + "' && rm -f timer.dat && psi4 input.dat > psi4.log 2>&1";
  double per_call = 0;
  if (std::system(cmd.c_str()) == 0) {
    std::ifstream t(dir / "timer.dat");
    for (std::string line; std::getline(t, line);) {
      if (line.rfind("CIWave: opdm", 0) != 0) continue;
      double u = 0, sy = 0, w = 0;
      int calls = 0;
      if (std::sscanf(line.c_str() + line.rfind(':') + 1, "%lfu %lfs %lfw %d", &u, &sy, &w, &calls) == 4 &&
          calls > 0)
        per_call = w / calls;
      break;
    }
  }
  fs::remove_all(dir);
  return per_call;
}

std::map<std::string, Bench> cases() {
  std::map<std::string, Bench> c;
  // N2 in cc-pVDZ without symmetry: 28 orbitals, one inactive.
  c["cas12"] = {"CAS(12,12), one irrep", mkcase::describe("CAS ", 1, {1}, {12}, {15}, 12)};
  c["cas13"] = {"CAS(12,13), one irrep", mkcase::describe("CAS ", 1, {1}, {13}, {14}, 12)};
  c["cas14"] = {"CAS(14,14), one irrep", mkcase::describe("CAS ", 1, {0}, {14}, {14}, 14),
                12000000};
  c["ddci"] = {"DDCI, 4 irreps",
               mkcase::describe("DDCI", 4, {3, 2, 2, 1}, {2, 2, 1, 1}, {16, 12, 12, 8}, 6)};
  c["ddci1"] = {"DDCI, 4 irreps, both vectors from one CI run (one list)",
                mkcase::describe("DDCI", 4, {3, 2, 2, 1}, {2, 2, 1, 1}, {16, 12, 12, 8}, 6)};
  c["ddci1"].d.one_list = true;
  c["ddci12m"] = {"DDCI, 4 irreps, larger basis",
                  mkcase::describe("DDCI", 4, {3, 2, 2, 1}, {2, 2, 1, 1}, {24, 18, 18, 12}, 6),
                  13000000};
  c["small_cas"] = {"CAS(4,4), one irrep", mkcase::describe("CAS ", 1, {1}, {4}, {3}, 4)};
  c["small_ddci"] = {"DDCI, 2 irreps", benchmark::orbital_spaces("DDCI", true, 6)};
  for (auto& [name, b] : c) {
    b.d.nroots = 2;
    b.d.root1 = 1;
    b.d.root2 = 2;
    b.d.density_limit = 0;
  }
  return c;
}

// Runs one case; false when a run did not end with status 0.
bool run_case(const std::string& name, Bench b, bool small) {
  const fs::path dir = benchmark::own_folder("ciprop_bench_" + name);
  const fs::path home = fs::current_path();
  auto t0 = std::chrono::steady_clock::now();
  size_t ndet = 0;
  {
    mkcase::Case c = mkcase::make_case(b.d, dir.string());
    ndet = c.b->dets.size();
  }
  std::printf("%s: %zu determinants, %d orbitals (generated in %.1f s)\n", b.title, ndet,
              b.d.norb(), since(t0));
  timing::settle_case_files();
  fs::current_path(dir);
  std::ifstream f("input");
  std::string input((std::istreambuf_iterator<char>(f)), {});
  // Each option on a card of its own: a card holds 80 columns.
  if (b.mem > 0) input.insert(input.find("&RHO") + 4, " MEM=" + std::to_string(b.mem) + ",\n");
  std::string stopped = input;
  stopped.insert(stopped.find("&RHO") + 4, " STOP='ORDET',\n");
  const double read = read_files(dir), cat = cat_files(dir);
  const Timed before = run_child(stopped);
  const Timed full = run_child(input);
  const long peak_mb = timing::peak_of_run(input);
  const double density = full.seconds - before.seconds;
  std::printf("  files from the page cache  %7.3f s (by cat %.3f s)\n", read, cat);
  std::printf("  check and reordering       %7.2f s (cpu %.2f s, status %d)\n", before.seconds,
              before.cpu, before.status);
  std::printf("  whole run                  %7.2f s (cpu %.2f s, status %d), %.0fx the file "
              "reading (%.0fx by cat), peak memory %ld MB (%.1f bytes per determinant)\n",
              full.seconds, full.cpu, full.status, full.seconds / read,
              cat > 0 ? full.seconds / cat : 0.0, peak_mb, peak_mb * 1048576.0 / double(ndet));
  std::printf("  density and report         %7.2f s (cpu %.2f s): %lld coupled pairs, %.2f ns "
              "per pair\n",
              density, full.cpu - before.cpu, full.pairs,
              full.pairs ? 1e9 * density / double(full.pairs) : 0.0);
  // psi4's own CI on larger spaces takes it many minutes before its density.
  if (!small && b.d.gener == "CAS " && b.d.noac() <= 13) {
    const double psi4 = psi4_opdm(b.d.noac());
    if (psi4 > 0)
      std::printf("  psi4 detci density         %7.3f s per call: whole run %.1fx, density %.1fx\n",
                  psi4, full.seconds / psi4, density / psi4);
  }
  std::fflush(stdout);
  fs::current_path(home);
  if (std::getenv("CIPROP_BENCH_KEEP"))
    std::printf("  case kept in %s\n", dir.c_str());
  else
    fs::remove_all(dir);
  return before.status == 0 && full.status == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (timing::run_as_peak_starter(argc, argv)) return 0;
  const bool small = benchmark::small_scale(argc, argv);
  std::vector<std::string> names;
  for (int k = 1; k < argc; ++k) names.push_back(argv[k]);
  if (names.empty())
    names = small ? std::vector<std::string>{"small_cas", "small_ddci"}
                  : std::vector<std::string>{"cas12", "cas13", "ddci", "ddci1"};
  bool ran = true;
  const auto all = cases();
  for (const std::string& n : names) {
    auto it = all.find(n);
    if (it == all.end()) {
      std::fprintf(stderr, "unknown case %s\n", n.c_str());
      return 2;
    }
    ran = run_case(n, it->second, small) && ran;
  }
  return ran ? 0 : 1;
}
