// A generated case run in this process through the real stages, and its
// checks against the generator's brute-force density and moments.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "density/vectors.hpp"
#include "driver/driver.hpp"
#include "core/print.hpp"
#include "fortio/stop.hpp"
#include "input/open_files.hpp"
#include "support/run_in_dir.hpp"
#include "tools/mkcase/make_case.hpp"

namespace generated {

using namespace ciprop;

struct Layout {
  int nsym;
  std::array<int, 8> ninac, nact, nvirt;
};

inline mkcase::Description describe(const Layout& l, int nelac, int ms2, const char* gener) {
  mkcase::Description d = mkcase::describe(gener, l.nsym, l.ninac, l.nact, l.nvirt, nelac, ms2);
  d.nroots = 3;
  d.root1 = 1;
  d.root2 = 2;
  d.ioper = 0;
  return d;
}

// A whole run in this process, stage by stage as the driver runs them, with
// the determinant layout of the case (no input selects the plain layout).
struct DensityRun : ::testing::Test {
  test::ScratchDir dir;
  std::filesystem::path home = std::filesystem::current_path();
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<ciprop::Run> run = std::make_unique<ciprop::Run>(out, in, err);
  mkcase::Case c;

  void TearDown() override { std::filesystem::current_path(home); }

  // Writes the case and its input; calcro 0 or 1 replaces the generated
  // choice of the density source.
  void make(const mkcase::Description& d, int calcro = -1) {
    c = mkcase::make_case(d, dir.path().string());
    std::filesystem::current_path(dir.path());
    std::ifstream f("input");
    std::string input((std::istreambuf_iterator<char>(f)), {});
    if (calcro >= 0) {
      size_t k = input.find("CALCRO=");
      ASSERT_NE(k, std::string::npos);
      input[k + 7] = static_cast<char>('0' + calcro);
    }
    std::ofstream("BID93") << input;
  }

  int execute(Stage last = Stage::Moments) {
    const bool packed = c.d.packed;
    try {
      run->dim = kDim;
      run->io.open(kUnitListing, "BID75", fio::Status::Unknown, fio::Form::Formatted);
      run->io.open(kUnitInput, "BID93", fio::Status::Old, fio::Form::Formatted);
      run_stages(*run, Stage::OpenFiles, last, [&](Stage s) {
        if (s == Stage::OpenFiles) run->switches.packed_lists = packed;
      });
      return 0;
    } catch (const fio::StopRun& s) {
      err << s.shown << '\n';  // as the entry point shows it
      return s.status == 0 ? -1 : s.status;
    }
  }

  // RO over the full orbital set, element by element.
  void expect_density(bool state) {
    ASSERT_FALSE(c.ro.empty());
    mkcase::Square want = mkcase::expand_density(c.d, c.ro, state);
    ASSERT_EQ(run->orbi.nbtot, want.n);
    double worst = 0;
    for (int j = 1; j <= want.n; ++j)
      for (int i = 1; i <= want.n; ++i)
        worst = std::max(worst, std::abs(run->dens.mat(i, j) - want(i, j)));
    EXPECT_LT(worst, 1e-12);
  }

  // A printed number of the report, found by its label.
  double printed(const std::string& label, int column) {
    std::istringstream s(out.str());
    for (std::string line; std::getline(s, line);) {
      line.erase(0, line.find_first_not_of(' '));
      if (line.rfind(label + " ", 0) == 0) {
        std::istringstream f(line.substr(label.size()));
        double v = 0;
        for (int k = 0; k < column; ++k) f >> v;
        return v;
      }
    }
    ADD_FAILURE() << "no line " << label;
    return 0;
  }

  void expect_moments() {
    const mkcase::Moments& m = c.moments;
    const char* labels[9] = {"mux", "muy", "muz", "muxx", "muxy", "muxz", "muyy", "muyz", "muzz"};
    for (int k = 0; k < 9; ++k) {
      EXPECT_NEAR(printed(labels[k], 1), m.el[k], 1e-10 * (1 + std::abs(m.el[k]))) << labels[k];
      EXPECT_NEAR(printed(labels[k], 3), m.tot[k], 1e-10 * (1 + std::abs(m.tot[k]))) << labels[k];
    }
    EXPECT_NEAR(printed("force d'oscillateur", 1), m.fosc, 1e-12 * (1 + std::abs(m.fosc)));
    EXPECT_NEAR(printed("moment dipolaire de transition (electr)", 1), m.mu_el2,
                1e-11 * (1 + m.mu_el2));
  }
};

const Layout kOneSym{1, {2}, {4}, {3}};
const Layout kTwoSym{2, {2, 1}, {2, 2}, {2, 2}};
const Layout kFourSym{4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}};
const Layout kEightSym{8, {1, 0, 0, 1, 0, 0, 0, 0}, {1, 1, 0, 0, 1, 0, 0, 1},
                       {1, 0, 1, 0, 0, 1, 1, 0}};

}  // namespace generated
