// Cost of the determinant-space stages on the DDCI space of several million
// determinants of the density benchmark and on the MRDD space of the same
// orbitals on ten references: the tables (prepad, and mrs1 for MRDD), the
// check of a shuffled list (vermat) and its reordering into address order,
// in the packed and plain layouts, with the work array and window of a real
// run, in all and per determinant.  Then what one pass over the packed list
// costs per determinant on one thread, step by step: reading its block
// records, decoding them, the address (from the lists, or through the split
// form for a determinant the tables leave to it) and the phase (every list
// pass of a run does the four; the check and the first vector's pass each
// take every determinant of their list once).
//
//   bench_detspace [--small] [folder]     (default: a folder under /tmp, removed after)
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/scale.hpp"
#include "detspace/address_tables.hpp"
#include "detspace/detlist.hpp"
#include "detspace/categories.hpp"
#include "detspace/reference_configurations.hpp"
#include "detspace/reorder.hpp"
#include "detspace/substitution_parity.hpp"
#include "core/print.hpp"
#include "fortio/stop.hpp"
#include "input/run_description.hpp"
#include "input/open_files.hpp"
#include "orbitals/orbital_classes.hpp"
#include "tools/mkcase/detfile.hpp"
#include "tools/mkcase/multireference.hpp"
#include "tools/mkcase/runfiles.hpp"
#include "tools/mkcase/space.hpp"

namespace {

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Processor time of this process, on every thread.
double cpu_seconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

// A run of the current folder, read up to its orbital classes, with the
// list "detb" open in the given layout; its report goes to out and err.
struct FolderRun {
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<ciprop::Run> run = std::make_unique<ciprop::Run>(out, in, err);

  explicit FolderRun(bool packed) {
    run->dim = ciprop::kDim;
    run->io.open(ciprop::kUnitListing, "BID75", fio::Status::Unknown, fio::Form::Formatted);
    run->io.open(ciprop::kUnitVrt, "vrt", fio::Status::Old, fio::Form::Formatted);
    run->io.open(ciprop::kUnitInfo, "Info", fio::Status::Old, fio::Form::Formatted);
    ciprop::lircd(*run);
    ciprop::prepar(*run);
    run->switches.packed_lists = packed;
    run->io.open(ciprop::kUnitDetB, "detb", fio::Status::Old, fio::Form::Unformatted);
  }
  // The determinant tables, and in the multireference modes the references
  // of "OCCMRS".
  void tables() {
    ciprop::prepad(*run);
    if (ciprop::multireference(run->prep.gener)) ciprop::mrs1(*run);
  }
};

// One run of the three stages on the list "detb" of the current folder;
// false when one stopped.
bool stages(bool packed) {
  FolderRun folder(packed);
  ciprop::Run* run = folder.run.get();
  auto t0 = std::chrono::steady_clock::now();
  folder.tables();
  const double t_prepad = since(t0);
  const std::unique_ptr<ciprop::AddressTables> tables = ciprop::make_address_tables(*run);
  const double per_det = 1e9 / double(tables->size());

  // The views the driver hands out.
  const ciprop::WorkPlan plan(run->espa);
  int* table = plan.address_table.data();
  unsigned char* flags = plan.seen.data();
  unsigned char* buffer = plan.pass_buffer.data();
  int nmax = 0;
  try {
    t0 = std::chrono::steady_clock::now();
    double c0 = cpu_seconds();
    ciprop::vermat(*run, *tables, table, table, flags, nmax);
    const double t_check = since(t0), c_check = cpu_seconds() - c0;
    t0 = std::chrono::steady_clock::now();
    c0 = cpu_seconds();
    if (packed)
      ciprop::reorde2(*run, buffer, buffer, nmax, table);
    else
      ciprop::reorde(*run, nmax, table, reinterpret_cast<int*>(buffer),
                     reinterpret_cast<short*>(buffer));
    const double t_reorder = since(t0), c_reorder = cpu_seconds() - c0;
    std::printf("%-6s  tables %7.3f s   vermat %7.3f s   reordering %7.3f s  (nmax %d)\n"
                "        per determinant: vermat %.0f ns (cpu %.0f), reordering %.0f ns (cpu %.0f),"
                " both %.0f ns\n",
                packed ? "packed" : "plain", t_prepad, t_check, t_reorder, nmax,
                t_check * per_det, c_check * per_det, t_reorder * per_det, c_reorder * per_det,
                (t_check + t_reorder) * per_det);
    return true;
  } catch (const fio::StopRun& s) {
    std::printf("stopped with status %d:\n%s%s\n", s.status, folder.out.str().c_str(),
                folder.err.str().c_str());
    return false;
  }
}

// Where the addresses and phases of a pass go, so that they are computed.
volatile long long work_done = 0;

// The address of a determinant of a list as the check finds it: from the
// lists when the tables can tell it so, else through its split form.
int address(ciprop::Run& run, const ciprop::AddressTables& tables, int n, const int* h,
            const int* p) {
  const int iadr = tables.list_address(n, h, p);
  if (iadr != 0) return iadr;
  ciprop::SplitDet d;
  int ierr = 0;
  ciprop::trad(run, n, h, p, d, ierr);
  return tables.address(d);
}

// The steps of one pass over the packed list "detb", on this thread: up to
// `steps` of records, decoding, address and phase; in ns per determinant.
double list_pass(ciprop::Run& run, const ciprop::AddressTables& tables, int steps) {
  ciprop::restart_list(run, ciprop::kUnitDetB);
  ciprop::ListBatch batch;
  long long count = 0, sum = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (;;) {
    const int pieces = batch.start(run, ciprop::kUnitDetB);
    for (int p = 0; p < pieces && steps > 1; ++p) {
      const auto [lo, hi] = batch.decode(p);
      for (int j = lo; j < hi; ++j) {
        const int n = batch.count(j);
        if (steps > 2) sum += address(run, tables, n, batch.holes(j), batch.parts(j));
        if (steps > 3) sum += ciprop::list_phase(run, n, batch.holes(j), batch.parts(j));
      }
    }
    // Without decoding, the batch is only planned: its determinants are
    // those of the blocks read.
    const int m = batch.finish(run);
    count += m;
    if (batch.ended() || m == 0) break;
  }
  work_done = sum;
  return 1e9 * since(t0) / double(count);
}

// Each step's cost is the difference of two passes, so the passes of every
// step alternate round by round (the machine's noise then falls on all
// alike), and the best of five rounds is kept for each.
void list_pass_costs() {
  FolderRun folder(true);
  ciprop::Run* run = folder.run.get();
  folder.tables();
  const std::unique_ptr<ciprop::AddressTables> tables = ciprop::make_address_tables(*run);
  double step[5] = {0, 1e30, 1e30, 1e30, 1e30};
  for (int round = 0; round < 5; ++round)
    for (int s = 1; s <= 4; ++s) step[s] = std::min(step[s], list_pass(*run, *tables, s));
  std::printf("one pass over the packed list, one thread, per determinant: %.1f ns\n"
              "  records %.1f, decoding %.1f, address %.1f, phase %.1f\n",
              step[4], step[1], step[2] - step[1], step[3] - step[2], step[4] - step[3]);
}

// The stages and the pass on a shuffled list of the space of d, in both
// layouts, in the current folder; false when a stage stopped.
bool mode(mkcase::Description d) {
  auto t0 = std::chrono::steady_clock::now();
  const std::vector<mkcase::Determinant> space = mkcase::enumerate_space(d, d.is0);
  mkcase::write_run_description(d, ".", static_cast<long long>(space.size()));
  if (mkcase::multireference(d.gener)) mkcase::write_occmrs("OCCMRS", mkcase::references(d));
  std::vector<int> order(space.size());
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(1));
  std::printf("%s space of %zu determinants, %d orbitals (generated in %.1f s)\n", d.gener.c_str(),
              space.size(), d.norb(), since(t0));
  bool ran = true;
  for (bool packed : {true, false}) {
    d.packed = packed;
    mkcase::write_determinant_list("detb", space, order, d, 1);
    ran = stages(packed) && ran;
    if (packed) list_pass_costs();
  }
  return ran;
}

}  // namespace

int main(int argc, char** argv) {
  const bool small = benchmark::small_scale(argc, argv);
  mkcase::Description d = benchmark::orbital_spaces("DDCI", small, 6);
  const bool own = argc < 2;
  const std::filesystem::path dir =
      own ? benchmark::own_folder("ciprop_bench_detspace") : std::filesystem::path(argv[1]);
  std::filesystem::create_directories(dir);
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  bool ran = mode(d);
  // The references of the multireference benchmark.
  d.gener = "MRDD";
  d.nref = small ? 3 : 10;
  d.seed = 3;
  ran = mode(d) && ran;
  std::filesystem::current_path(home);
  if (own) std::filesystem::remove_all(dir);
  return ran ? 0 : 1;
}
