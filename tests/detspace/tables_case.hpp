// Address tables of a generated space, built by the real stages from the
// run description and Info files the generator writes.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "detspace/address.hpp"
#include "driver/driver.hpp"
#include "detspace/categories.hpp"
#include "core/print.hpp"
#include "fortio/stop.hpp"
#include "input/run_description.hpp"
#include "input/open_files.hpp"
#include "orbitals/orbital_classes.hpp"
#include "support/run_in_dir.hpp"
#include "tools/mkcase/runfiles.hpp"
#include "tools/mkcase/space.hpp"

namespace tables {

using ciprop::Run;
using ciprop::SplitDet;
using mkcase::Description;

// The exit status of a stop inside f, -1 when f returns.
template <class F>
int stop_status(F f) {
  try {
    f();
  } catch (const fio::StopRun& s) {
    return s.status;
  }
  return -1;
}

// a+(sj) a(si) on lists relative to the reference (orbitals 1..nocc filled),
// as the density stage forms them.
inline void excite(int si, int sj, int nocc, int norb, std::vector<int>& h, std::vector<int>& p) {
  auto filled = [&](int s) { return (s > norb ? s - norb : s) <= nocc; };
  auto insert = [](std::vector<int>& v, int x) { v.insert(std::upper_bound(v.begin(), v.end(), x), x); };
  auto erase = [](std::vector<int>& v, int x) { v.erase(std::find(v.begin(), v.end(), x)); };
  if (filled(si)) insert(h, si);
  else erase(p, si);
  if (filled(sj)) erase(h, sj);
  else insert(p, sj);
}

// Every excitation a+(sj) a(si) of one spin of every determinant of the
// TOUS space of d's orbitals, of every symmetry, as lists h and p relative to
// the reference: start(e) takes each determinant, each(si, sj, h, p) each
// excitation (si = sj, the determinant itself, too when diagonal is set).
template <class Start, class Each>
void for_each_excitation(const Description& d, bool diagonal, Start start, Each each) {
  const mkcase::OrbitalLayout l = mkcase::layout(d);
  const int norb = d.norb(), nocc = d.nocc();
  Description wide = d;
  wide.gener = "TOUS";
  for (int is0 = 1; is0 <= d.nsym; ++is0)
    for (const auto& det : mkcase::enumerate_space(wide, is0)) {
      const mkcase::Excitation e = mkcase::excitation(det, l);
      start(e);
      const std::vector<int> occ = mkcase::occupied(det, l);
      for (int si : occ)
        for (int sj = si > norb ? norb + 1 : 1; sj <= (si > norb ? 2 * norb : norb); ++sj) {
          if (!(diagonal && sj == si) && std::find(occ.begin(), occ.end(), sj) != occ.end()) continue;
          std::vector<int> h = e.holes, p = e.parts;
          excite(si, sj, nocc, norb, h, p);
          each(si, sj, h, p);
        }
    }
}

// A run whose records are filled by the real stages, from the run
// description and Info files the generator writes for d.
struct Tables {
  test::ScratchDir dir;
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<Run> run;
  mkcase::OrbitalLayout layout;

  explicit Tables(const Description& d, const std::string& gener = "") {
    mkcase::write_run_description(d, dir.path().string(), 0);
    if (!gener.empty()) {
      std::string vrt = dir.read("vrt");
      vrt.replace(vrt.find(d.gener), d.gener.size(), gener);
      dir.write("vrt", vrt);
    }
    layout = mkcase::layout(d);
    run = std::make_unique<Run>(out, in, err);
    auto path = [&](const char* name) { return (dir.path() / name).string(); };
    run->io.open(ciprop::kUnitListing, path("BID75"), fio::Status::Unknown, fio::Form::Formatted);
    run->io.open(ciprop::kUnitVrt, path("vrt"), fio::Status::Old, fio::Form::Formatted);
    run->io.open(ciprop::kUnitInfo, path("Info"), fio::Status::Old, fio::Form::Formatted);
    ciprop::run_stages(*run, ciprop::Stage::RunDescription, ciprop::Stage::OrbitalClasses);
  }
  // prepad, returning the exit status of a stop (-1 when it returns).
  int prepad() {
    try {
      ciprop::prepad(*run);
      return -1;
    } catch (const fio::StopRun& s) {
      return s.status;
    }
  }
  // The full path on the lists of a determinant: false outside the space.
  bool full(const std::vector<int>& h, const std::vector<int>& p, int& iadr) {
    SplitDet d;
    int ierr = 0;
    ciprop::trad(*run, static_cast<int>(h.size()), h.data(), p.data(), d, ierr);
    if (ierr != 0 || !ciprop::in_space(*run, d)) return false;
    ciprop::adrdet(*run, d, iadr);
    return true;
  }
  SplitDet split(const mkcase::Determinant& det) {
    const mkcase::Excitation e = mkcase::excitation(det, layout);
    SplitDet d;
    int ierr = 0;
    ciprop::trad(*run, static_cast<int>(e.holes.size()), e.holes.data(), e.parts.data(), d, ierr);
    EXPECT_EQ(ierr, 0);
    return d;
  }
};

}  // namespace tables
