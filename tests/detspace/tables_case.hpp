// Address tables of a generated space, built by the real stages from the
// run description and Info files the generator writes.
#pragma once
#include <gtest/gtest.h>

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
