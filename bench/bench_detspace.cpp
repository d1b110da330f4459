// Cost of the determinant-space stages on a DDCI space of several million
// determinants: the tables (prepad), the check of a shuffled list (vermat)
// and its reordering into address order, in the packed and plain layouts,
// with the work array and window of a real run.  Then what one pass over the
// packed list costs per determinant on one thread, step by step: reading its
// block records, decoding them, the address and the phase (every list pass
// of a run does the four; the check and the first vector's pass each take
// every determinant of their list once).
//
//   bench_detspace [folder]     (default: a folder under /tmp, removed after)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "detspace/address_tables.hpp"
#include "detspace/detlist.hpp"
#include "detspace/categories.hpp"
#include "detspace/reorder.hpp"
#include "detspace/substitution_parity.hpp"
#include "core/print.hpp"
#include "fortio/stop.hpp"
#include "input/run_description.hpp"
#include "input/open_files.hpp"
#include "orbitals/orbital_classes.hpp"
#include "tools/mkcase/detfile.hpp"
#include "tools/mkcase/runfiles.hpp"
#include "tools/mkcase/space.hpp"

namespace {

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

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
};

// One run of the three stages on the list "detb" of the current folder.
void stages(bool packed) {
  FolderRun folder(packed);
  ciprop::Run* run = folder.run.get();
  auto t0 = std::chrono::steady_clock::now();
  ciprop::prepad(*run);
  const double t_prepad = since(t0);

  // The views the driver hands out.
  const ciprop::WorkPlan plan(run->espa);
  int* table = plan.address_table.data();
  unsigned char* flags = plan.seen.data();
  unsigned char* buffer = plan.pass_buffer.data();
  int nmax = 0;
  try {
    t0 = std::chrono::steady_clock::now();
    ciprop::vermat(*run, ciprop::SrAddressTables(*run), table, table, flags, nmax);
    const double t_check = since(t0);
    t0 = std::chrono::steady_clock::now();
    if (packed)
      ciprop::reorde2(*run, buffer, buffer, nmax, table);
    else
      ciprop::reorde(*run, nmax, table, reinterpret_cast<int*>(buffer),
                     reinterpret_cast<short*>(buffer));
    const double t_reorder = since(t0);
    std::printf("%-6s  prepad %7.3f s   vermat %7.3f s   reordering %7.3f s  (nmax %d)\n",
                packed ? "packed" : "plain", t_prepad, t_check, t_reorder, nmax);
  } catch (const fio::StopRun& s) {
    std::printf("stopped with status %d:\n%s%s\n", s.status, folder.out.str().c_str(),
                folder.err.str().c_str());
  }
}

// Where the addresses and phases of a pass go, so that they are computed.
volatile long long work_done = 0;

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
        if (steps > 2) sum += tables.list_address(n, batch.holes(j), batch.parts(j));
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
  ciprop::prepad(*run);
  const ciprop::SrAddressTables tables(*run);
  double step[5] = {0, 1e30, 1e30, 1e30, 1e30};
  for (int round = 0; round < 5; ++round)
    for (int s = 1; s <= 4; ++s) step[s] = std::min(step[s], list_pass(*run, tables, s));
  std::printf("one pass over the packed list, one thread, per determinant: %.1f ns\n"
              "  records %.1f, decoding %.1f, address %.1f, phase %.1f\n",
              step[4], step[1], step[2] - step[1], step[3] - step[2], step[4] - step[3]);
}

}  // namespace

int main(int argc, char** argv) {
  mkcase::Description d;
  d = mkcase::describe("DDCI", 4, {3, 2, 2, 1}, {2, 2, 1, 1}, {16, 12, 12, 8}, 6);
  const bool own = argc < 2;
  const std::filesystem::path dir =
      own ? std::filesystem::temp_directory_path() / "ciprop_bench_detspace" : argv[1];
  std::filesystem::create_directories(dir);
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir);

  auto t0 = std::chrono::steady_clock::now();
  const std::vector<mkcase::Determinant> space = mkcase::enumerate_space(d, d.is0);
  mkcase::write_run_description(d, ".", static_cast<long long>(space.size()));
  std::vector<int> order(space.size());
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(1));
  std::printf("DDCI space of %zu determinants, %d orbitals (generated in %.1f s)\n", space.size(),
              d.norb(), since(t0));

  for (bool packed : {true, false}) {
    d.packed = packed;
    mkcase::write_determinant_list("detb", space, order, d, 1);
    stages(packed);
    if (packed) list_pass_costs();
  }
  std::filesystem::current_path(home);
  if (own) std::filesystem::remove_all(dir);
}
