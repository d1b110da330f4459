// Cost of locating one determinant.  First the general path, trad, in_space
// and adrdet on every determinant of a DDCI space of moderate size, as the
// density stage calls them for the excitations its shortcut leaves; then the
// lists' own path, list_address on every determinant of the several-million
// DDCI space of the density benchmark, as the list checks call it once per
// determinant of both lists.
//
//   bench_address [--small]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/scale.hpp"
#include "detspace/address.hpp"
#include "detspace/address_tables.hpp"
#include "detspace/categories.hpp"
#include "core/print.hpp"
#include "input/run_description.hpp"
#include "input/open_files.hpp"
#include "orbitals/orbital_classes.hpp"
#include "tools/mkcase/runfiles.hpp"
#include "tools/mkcase/space.hpp"

namespace {

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Processor time of this thread, in seconds: on a shared machine the time
// the thread waits for a core stays out of the figure.
double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// The run records of a generated space, its tables built by prepad.
struct Prepared {
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<ciprop::Run> run;

  Prepared(const mkcase::Description& d, const std::string& dir) {
    mkcase::write_run_description(d, dir, 0);
    run = std::make_unique<ciprop::Run>(out, in, err);
    run->io.open(ciprop::kUnitListing, dir + "/BID75", fio::Status::Unknown, fio::Form::Formatted);
    run->io.open(ciprop::kUnitVrt, dir + "/vrt", fio::Status::Old, fio::Form::Formatted);
    run->io.open(ciprop::kUnitInfo, dir + "/Info", fio::Status::Old, fio::Form::Formatted);
    ciprop::lircd(*run);
    ciprop::prepar(*run);
    ciprop::prepad(*run);
  }
};

// Holes and particles of every determinant of the space packed one after
// the other, as the density stage holds them: count, holes, particles.
std::vector<int> packed_lists(const mkcase::Description& d, std::size_t& ndet) {
  const mkcase::OrbitalLayout l = mkcase::layout(d);
  std::vector<int> flat;
  mkcase::Excitation e;
  ndet = 0;
  for (const auto& det : mkcase::enumerate_space(d, d.is0)) {
    mkcase::excitation(det, l, e);
    flat.push_back(static_cast<int>(e.holes.size()));
    flat.insert(flat.end(), e.holes.begin(), e.holes.end());
    flat.insert(flat.end(), e.parts.begin(), e.parts.end());
    ++ndet;
  }
  return flat;
}

void general_path(const std::string& dir, bool small) {
  const mkcase::Description d =
      small ? benchmark::orbital_spaces("DDCI", true, 6)
            : mkcase::describe("DDCI", 4, {3, 1, 2, 1}, {3, 2, 2, 1}, {3, 2, 2, 2}, 6);
  Prepared p(d, dir);
  ciprop::Run& run = *p.run;
  std::size_t ndet = 0;
  const std::vector<int> flat = packed_lists(d, ndet);
  std::printf("trad + adrdet, space: %zu determinants (tables: %lld)\n", ndet,
              run.dets.blocks.ntotal);
  const int passes = 5;
  long long check = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int pass = 0; pass < passes; ++pass)
    for (std::size_t k = 0; k < flat.size(); k += 1 + 2 * flat[k]) {
      const int nh = flat[k];
      ciprop::SplitDet s;
      int ierr = 0, iadr = 0;
      ciprop::trad(run, nh, &flat[k + 1], &flat[k + 1 + nh], s, ierr);
      if (ierr == 0 && ciprop::in_space(run, s)) ciprop::adrdet(run, s, iadr);
      check += iadr;
    }
  const double sec = since(t0);
  const double calls = static_cast<double>(passes) * ndet;
  std::printf("  %.0f lookups in %.3f s: %.1f ns each (checksum %lld)\n", calls, sec,
              1e9 * sec / calls, check);
}

void lists_path(const std::string& dir, bool small) {
  const mkcase::Description d = benchmark::orbital_spaces("DDCI", small, 6);
  Prepared p(d, dir);
  std::size_t ndet = 0;
  const std::vector<int> flat = packed_lists(d, ndet);
  auto t0 = std::chrono::steady_clock::now();
  const ciprop::SrAddressTables tables(*p.run);
  std::printf("list_address, space: %zu determinants (tables: %d, built in %.2f ms)\n", ndet,
              tables.size(), 1e3 * since(t0));
  // The machine is shared: the fastest of several passes is the figure, in
  // processor time.
  const int passes = 7;
  long long check = 0, placed = 0;
  double best = 1e30, total = 0;
  for (int pass = 0; pass < passes; ++pass) {
    check = placed = 0;
    const double c0 = cpu_seconds();
    for (std::size_t k = 0; k < flat.size(); k += 1 + 2 * flat[k]) {
      const int nh = flat[k];
      const int iadr = tables.list_address(nh, &flat[k + 1], &flat[k + 1 + nh]);
      check += iadr;
      placed += iadr != 0;
    }
    const double sec = cpu_seconds() - c0;
    best = std::min(best, sec);
    total += sec;
  }
  std::printf("  %d passes: %.1f ns per call at best, %.1f on average; %lld placed (checksum %lld)\n",
              passes, 1e9 * best / ndet, 1e9 * total / (passes * double(ndet)), placed, check);
}

}  // namespace

int main(int argc, char** argv) {
  const bool small = benchmark::small_scale(argc, argv);
  const std::string dir = benchmark::own_folder("ciprop_bench_address");
  general_path(dir, small);
  std::filesystem::remove_all(dir);
  lists_path(dir, small);
  std::filesystem::remove_all(dir);
}
