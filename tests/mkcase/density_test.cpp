// The brute-force densities: the signs of second quantisation on hand-made
// determinants, the physics every density must obey, and the expected-results
// file that carries them to the program's tests.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "support/run_in_dir.hpp"
#include "tools/mkcase/density.hpp"
#include "tools/mkcase/make_case.hpp"

namespace {

using mkcase::Description;
using mkcase::Determinant;

double at(const std::vector<double>& m, int n, int i, int j) {
  return m[(i - 1) + std::size_t(j - 1) * n];
}

TEST(BruteForceDensity, SignOfAnExcitationPastAnOccupiedOrbital) {
  // Four active orbitals.  a+(3) a(1) on |1 2 4> (alpha): removing 1 passes
  // no electron, creating 3 passes the electron in 2: -|2 3 4>.  The same
  // with beta electrons behind an alpha one: the alpha electron is passed
  // twice and drops out.
  Description d;
  d.nact[0] = 4;
  d.nelac = 3;
  d.ms2 = -1;
  mkcase::OrbitalLayout l = mkcase::layout(d);
  std::vector<double> one{1.0};
  auto ro = [&](Determinant a, Determinant b) {
    return mkcase::one_particle_densities({a}, {b}, l, {{&one, &one}}).front();
  };
  Determinant j1, j2;
  j1.alpha = 0b1011;
  j2.alpha = 0b1110;
  std::vector<double> r = ro(j1, j2);
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(at(r, 4, i, j), i == 1 && j == 3 ? -1.0 : 0.0);
  j1 = {};
  j2 = {};
  j1.alpha = j2.alpha = 0b0001;
  j1.beta = 0b1011;
  j2.beta = 0b1110;
  EXPECT_EQ(at(ro(j1, j2), 4, 1, 3), -1.0);
  // Creating below the annihilated orbital: a+(1) a(3) on |2 3 4> passes
  // the electron in 2 once: -|1 2 4>.
  j1 = {};
  j2 = {};
  j1.alpha = 0b1110;
  j2.alpha = 0b1011;
  EXPECT_EQ(at(ro(j1, j2), 4, 3, 1), -1.0);
}

Description ddci(int is0a) {
  Description d = mkcase::describe("DDCI", 2, {2, 1}, {2, 2}, {2, 2}, 4);
  d.nroots = 2;
  d.root1 = 1;
  d.root2 = 2;
  d.is0a = is0a;
  return d;
}

// The same orbitals around three references, one open-shell state (Ms = -1).
Description mrdd(int is0a) {
  Description d = ddci(is0a);
  d.gener = "MRDD";
  d.ms2 = -2;
  d.refs = {"2110", "1120", "0211"};
  return d;
}

TEST(BruteForceDensity, StateDensitiesAreSymmetricWithTheElectronCountAsTrace) {
  for (const Description& d : {ddci(0), mrdd(0)}) {
    SCOPED_TRACE(d.gener);
    test::ScratchDir dir;
    mkcase::Case c = mkcase::make_case(d, dir.path());
    const int n = c.layout.norb;
    ASSERT_EQ(c.dens.size(), 2u);
    for (const auto& ro : c.dens) {
      double trace = 0;
      for (int i = 1; i <= n; ++i) {
        trace += at(ro, n, i, i);
        EXPECT_GE(at(ro, n, i, i), -1e-14);
        EXPECT_LE(at(ro, n, i, i), 2 + 1e-14);
        for (int j = 1; j <= n; ++j) EXPECT_NEAR(at(ro, n, i, j), at(ro, n, j, i), 1e-14);
      }
      EXPECT_NEAR(trace, 2 * 3 + 4, 1e-12);
    }
    // Two roots of one space: orthogonal states, traceless transition density,
    // and the reverse transition is its transpose.
    double trace = 0;
    for (int i = 1; i <= n; ++i) trace += at(c.ro, n, i, i);
    EXPECT_NEAR(trace, 0.0, 1e-13);
    EXPECT_NE(c.deltae, 0.0);
    const auto& roots = c.a->roots.coef;
    auto back =
        mkcase::one_particle_densities(c.a->dets, c.a->dets, c.layout, {{&roots[1], &roots[0]}})
            .front();
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) EXPECT_NEAR(at(back, n, j, i), at(c.ro, n, i, j), 1e-14);
  }
}

TEST(BruteForceDensity, TransitionBetweenSymmetriesCouplesOnlyMatchingOrbitalPairs) {
  for (const Description& d : {ddci(2), mrdd(2)}) {
    SCOPED_TRACE(d.gener);
    test::ScratchDir dir;
    mkcase::Case c = mkcase::make_case(d, dir.path());
    ASSERT_NE(c.a, c.b);
    const int n = c.layout.norb;
    int nonzero = 0;
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) {
        bool allowed = c.layout.isym[i - 1] != c.layout.isym[j - 1];  // 2 x 1 = 2
        if (!allowed) {
          EXPECT_EQ(at(c.ro, n, i, j), 0.0) << i << " " << j;
        }
        nonzero += at(c.ro, n, i, j) != 0.0;
      }
    EXPECT_GT(nonzero, 0);
  }
}

TEST(BruteForceDensity, CasStateKeepsTheInactiveShellClosed) {
  test::ScratchDir dir;
  Description d = ddci(0);
  d.gener = "CAS ";
  d.root2 = 1;
  mkcase::Case c = mkcase::make_case(d, dir.path());
  EXPECT_EQ(c.deltae, 0.0);  // same space, same root: a state density
  const int n = c.layout.norb;
  for (int i = 1; i <= n; ++i) {
    double want = i <= c.layout.ninac ? 2.0 : i > c.layout.ninac + c.layout.noac ? 0.0
                                                                                  : at(c.ro, n, i, i);
    EXPECT_NEAR(at(c.ro, n, i, i), want, 1e-14);
  }
}

std::map<std::string, std::vector<std::string>> expected_lines(const std::string& text) {
  std::map<std::string, std::vector<std::string>> out;
  std::istringstream s(text);
  for (std::string line; std::getline(s, line);) {
    std::istringstream w(line);
    std::string key, rest, v;
    w >> key;
    while (w >> v) rest += (rest.empty() ? "" : " ") + v;
    if (key == "ro") out["ro"].push_back(rest);
    else out[key] = {rest};
  }
  return out;
}

TEST(ExpectedFile, CarriesTheDensityEnergiesAndMoments) {
  test::ScratchDir dir;
  mkcase::Case c = mkcase::make_case(ddci(0), dir.path());
  auto e = expected_lines(dir.read("expected"));
  EXPECT_EQ(e["ndet_b"].at(0), std::to_string(c.b->dets.size()));
  EXPECT_EQ(std::stod(e["deltae"].at(0)), c.deltae);
  EXPECT_EQ(e["density"].at(0), "computed");
  const int n = c.layout.norb;
  std::vector<double> ro(std::size_t(n) * n, 0.0);
  for (const std::string& r : e["ro"]) {
    std::istringstream w(r);
    int i, j;
    double v;
    w >> i >> j >> v;
    ro[(i - 1) + std::size_t(j - 1) * n] = v;
  }
  EXPECT_EQ(ro, c.ro);
  EXPECT_EQ(std::stod(e["fosc"].at(0)), c.moments.fosc);
  EXPECT_NE(c.moments.fosc, 0.0);
  EXPECT_NE(dir.read("input").find("CALCRO=0"), std::string::npos);
}

TEST(ExpectedFile, AboveTheLimitTheDensitiesAreSkippedAndTheRunComputesIt) {
  test::ScratchDir dir;
  Description d = ddci(0);
  d.density_limit = 10;
  mkcase::Case c = mkcase::make_case(d, dir.path());
  EXPECT_TRUE(c.ro.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "dens"));
  EXPECT_EQ(expected_lines(dir.read("expected"))["density"].at(0), "skipped");
  EXPECT_NE(dir.read("input").find("CALCRO=1"), std::string::npos);
}

}  // namespace
