// Cost of locating one determinant: trad, in_space and adrdet on every
// determinant of a DDCI space of moderate size, as the density stage calls
// them once per one-electron excitation.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "detspace/address.hpp"
#include "detspace/categories.hpp"
#include "core/print.hpp"
#include "input/run_description.hpp"
#include "input/open_files.hpp"
#include "orbitals/orbital_classes.hpp"
#include "tools/mkcase/runfiles.hpp"
#include "tools/mkcase/space.hpp"

int main() {
  mkcase::Description d;
  d = mkcase::describe("DDCI", 4, {3, 1, 2, 1}, {3, 2, 2, 1}, {3, 2, 2, 2}, 6);
  const std::string dir = std::filesystem::temp_directory_path() / "ciprop_bench_address";
  mkcase::write_run_description(d, dir, 0);

  std::ostringstream out, err;
  std::istringstream in;
  auto run = std::make_unique<ciprop::Run>(out, in, err);
  run->io.open(ciprop::kUnitListing, dir + "/BID75", fio::Status::Unknown, fio::Form::Formatted);
  run->io.open(ciprop::kUnitVrt, dir + "/vrt", fio::Status::Old, fio::Form::Formatted);
  run->io.open(ciprop::kUnitInfo, dir + "/Info", fio::Status::Old, fio::Form::Formatted);
  ciprop::lircd(*run);
  ciprop::prepar(*run);
  ciprop::prepad(*run);

  const mkcase::OrbitalLayout l = mkcase::layout(d);
  // Holes and particles packed one determinant after the other, as the
  // density stage holds them: count, holes, particles.
  std::vector<int> flat;
  std::size_t ndet = 0;
  for (const auto& det : mkcase::enumerate_space(d, d.is0)) {
    const mkcase::Excitation e = mkcase::excitation(det, l);
    flat.push_back(static_cast<int>(e.holes.size()));
    flat.insert(flat.end(), e.holes.begin(), e.holes.end());
    flat.insert(flat.end(), e.parts.begin(), e.parts.end());
    ++ndet;
  }
  std::printf("space: %zu determinants (tables: %lld)\n", ndet, run->dets.blocks.ntotal);

  const int passes = 5;
  long long check = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int pass = 0; pass < passes; ++pass)
    for (std::size_t k = 0; k < flat.size(); k += 1 + 2 * flat[k]) {
      const int nh = flat[k];
      ciprop::SplitDet s;
      int ierr = 0, iadr = 0;
      ciprop::trad(*run, nh, &flat[k + 1], &flat[k + 1 + nh], s, ierr);
      if (ierr == 0 && ciprop::in_space(*run, s)) ciprop::adrdet(*run, s, iadr);
      check += iadr;
    }
  const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double calls = static_cast<double>(passes) * ndet;
  std::printf("%.0f lookups in %.3f s: %.1f ns each (checksum %lld)\n", calls, sec,
              1e9 * sec / calls, check);
  std::filesystem::remove_all(dir);
}
