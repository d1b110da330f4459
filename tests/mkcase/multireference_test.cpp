// The generator's multireference spaces: counts made by hand, a filter over
// every determinant of small orbital sets, the modes that must equal
// single-reference ones, the reference file, and the physics of the
// brute-force densities on these spaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "support/run_in_dir.hpp"
#include "tools/mkcase/make_case.hpp"
#include "tools/mkcase/multireference.hpp"

namespace {

using mkcase::Description;

Description with_refs(Description d, const char* gener, std::vector<std::string> refs) {
  d.gener = gener;
  d.refs = std::move(refs);
  return d;
}

std::set<std::vector<int>> occupations(const Description& d, int is0) {
  mkcase::OrbitalLayout l = mkcase::layout(d);
  std::vector<mkcase::Determinant> dets = mkcase::enumerate_space(d, is0);
  std::set<std::vector<int>> out;
  for (const auto& det : dets) out.insert(mkcase::occupied(det, l));
  EXPECT_EQ(out.size(), dets.size()) << "a determinant enumerated twice";
  EXPECT_EQ(mkcase::space_size(d, is0), static_cast<long long>(dets.size()));
  return out;
}

TEST(MultireferenceSpace, CountedByHandOnOneInactiveTwoActiveOneVirtual) {
  // Orbitals i (inactive), a, b (active), v (virtual), two active electrons,
  // Ms = 0, reference occupation 20 of a b.  The 36 determinants by holes
  // (nt), particles (np) and active occupation, with the distance to 20:
  //   (0,0): 20 d0 (1 det), 11 d2 (2), 02 d4 (1)
  //   (1,1): 20 d0 (2), 11 d2 (6), 02 d4 (2)      (2,2): 20 (1), 11 (2), 02 (1)
  //   (1,0): 21 d1 (2), 12 d3 (2)                 (2,1): 21 d1 (2), 12 d3 (2)
  //   (0,1): 10 d1 (2), 01 d3 (2)                 (1,2): 10 d1 (2), 01 d3 (2)
  //   (2,0): 22 d2 (1)                            (0,2): 00 d2 (1)
  // "MR  " keeps up to two holes at d0, one at d2, none at d4 (the (1,1)
  // dets of 02 and the (2,2) ones of 11 and 02 go), and at d3 only the
  // smaller hole count ((2,1) of 12 and (1,2) of 01 go): 36 - 9 = 27.
  Description d;
  d.ninac[0] = 1;
  d.nact[0] = 2;
  d.nvirt[0] = 1;
  d.nelac = 2;
  auto count = [&](const char* g, std::vector<std::string> refs) {
    return mkcase::space_size(with_refs(d, g, refs), 1);
  };
  EXPECT_EQ(count("MR  ", {"20"}), 27);
  EXPECT_EQ(count("MRS ", {"20"}), 27);
  // At most three holes and particles in all: the (2,2) of 20 goes.
  EXPECT_EQ(count("MRDD", {"20"}), 26);
  // At most two: also (2,1) of 21 and (1,2) of 10.
  EXPECT_EQ(count("MRD2", {"20"}), 22);
  // Single excitations: (0,0) of 20 and 11, (1,1) of 20, (1,0) of 21,
  // (0,1) of 10.
  EXPECT_EQ(count("MRM ", {"20"}), 9);
  // The references alone, without holes or particles.
  EXPECT_EQ(count("MRC ", {"20"}), 1);
  EXPECT_EQ(count("MRC ", {"11"}), 2);
  EXPECT_EQ(count("MRC ", {"20", "02", "11"}), 4);
  // A second reference 02 puts 02 at d0 and 12, 01 at d1: only the (2,2)
  // of 11 (d2) stays out.
  EXPECT_EQ(count("MR  ", {"20", "02"}), 34);
  // A reference with another electron count only moves distances, which
  // are still weighed against the change of the count from nelac: beside
  // 20, the reference 21 brings 11, 21, 22 to an odd distance at an even
  // change (or the reverse) and 02, 12, 01 to the wrong parity too; what
  // stays is 20 (4 dets), 10 (4) and 00 (1).  Alone, 21 admits nothing.
  EXPECT_EQ(count("MR  ", {"20", "21"}), 9);
  EXPECT_EQ(count("MR  ", {"21"}), 0);
  // The MRT modes ignore the references: their spaces are TOUS, DDCI, DDC2
  // and MONO (36, 32, 24, 22 on this space).
  for (const char* ref : {"20", "02", "11", "00"}) {
    EXPECT_EQ(count("MRT ", {ref}), 36);
    EXPECT_EQ(count("MRTD", {ref}), 32);
    EXPECT_EQ(count("MRT2", {ref}), 24);
    EXPECT_EQ(count("MRTM", {ref}), 22);
  }
}

// Orbital sets for the set comparisons: 1, 2, 4 and 8 irreps, even and odd
// active electron counts, Ms from 0 to -3/2.
std::vector<Description> wide_descriptions() {
  std::vector<Description> v;
  v.push_back(mkcase::describe("", 1, {2}, {4}, {3}, 4, 0));
  v.push_back(mkcase::describe("", 1, {2}, {4}, {3}, 4, -2));
  v.push_back(mkcase::describe("", 1, {1}, {4}, {2}, 3, -3));
  v.push_back(mkcase::describe("", 2, {1, 1}, {2, 2}, {2, 1}, 3, -1));
  v.push_back(mkcase::describe("", 4, {1, 0, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 1}, 4, -2));
  v.push_back(mkcase::describe("", 8, {1, 0, 0, 1, 0, 0, 0, 0}, {1, 1, 1, 0, 1, 0, 0, 1},
                               {0, 1, 0, 0, 1, 0, 1, 0}, 5, -1));
  return v;
}

TEST(MultireferenceSpace, TModesAreTheSingleReferenceModesAsSetsOfDeterminants) {
  const std::pair<const char*, const char*> pairs[] = {
      {"MRT ", "TOUS"}, {"MRTD", "DDCI"}, {"MRT2", "DDC2"}, {"MRTM", "MONO"}};
  for (Description d : wide_descriptions())
    for (auto [mr, sr] : pairs)
      for (int is0 : {1, d.nsym}) {
        SCOPED_TRACE(std::string(mr) + " nsym " + std::to_string(d.nsym) + " nelac " +
                     std::to_string(d.nelac) + " ms2 " + std::to_string(d.ms2) + " is0 " +
                     std::to_string(is0));
        Description single = d;
        single.gener = sr;
        Description multi = d;
        multi.gener = mr;
        multi.nref = 3;  // any references
        multi.seed = 7 + is0;
        std::set<std::vector<int>> want = occupations(single, is0);
        EXPECT_FALSE(want.empty());
        EXPECT_TRUE(occupations(multi, is0) == want);
      }
}

// ---------------------------------------------------------------------------
// The same spaces by filtering every determinant with the right electron
// counts over a small orbital set, the distance computed here.

int distance(const std::vector<int>& occ, const std::vector<std::vector<int>>& refs) {
  int best = 1000;
  for (const auto& r : refs) {
    int s = 0;
    for (std::size_t k = 0; k < occ.size(); ++k) s += std::abs(occ[k] - r[k]);
    best = std::min(best, s);
  }
  return std::min(best, 5);
}

std::set<std::vector<int>> filtered(const Description& d, int is0) {
  mkcase::OrbitalLayout l = mkcase::layout(d);
  const auto refs = mkcase::references(d);
  const int nalpha = l.ninac + d.nca0(), nbeta = l.ninac + d.ncb0();
  std::set<std::vector<int>> out;
  for (unsigned a = 0; a < (1u << l.norb); ++a) {
    if (__builtin_popcount(a) != nalpha) continue;
    for (unsigned b = 0; b < (1u << l.norb); ++b) {
      if (__builtin_popcount(b) != nbeta) continue;
      int nt = 0, np = 0, sym = 1, nactive = 0;
      std::vector<int> occ, active(l.noac, 0);
      for (int o = 1; o <= l.norb; ++o) {
        const bool inactive = o <= l.ninac, virt = o > l.ninac + l.noac;
        for (int spin = 0; spin < 2; ++spin) {
          const bool in = ((spin == 0 ? a : b) >> (o - 1)) & 1;
          if (in) {
            occ.push_back(o + spin * l.norb);
            sym = d.mult[sym - 1][l.isym[o - 1] - 1];
          }
          nt += inactive && !in;
          np += virt && in;
          if (!inactive && !virt && in) ++active[o - l.ninac - 1], ++nactive;
        }
      }
      if (nt > 2 || np > 2 || sym != is0) continue;
      if (!mkcase::admitted_holes(d.gener, nactive - d.nelac, distance(active, refs)).admits(nt))
        continue;
      std::sort(occ.begin(), occ.end());
      out.insert(occ);
    }
  }
  return out;
}

// The size of a space counted the way a spin-adapted program sees it: every
// active occupation, in it every admitted number of holes, every choice of
// hole and particle orbitals (a pair in one orbital closed, else open
// shells), and for each the C(open, alpha open) ways to put the spin
// projection on the open shells.
long long count_by_configuration(const Description& d, int is0) {
  mkcase::OrbitalLayout l = mkcase::layout(d);
  const auto refs = mkcase::references(d);
  auto binomial = [](int n, int k) {
    long long c = 1;
    for (int i = 0; i < k; ++i) c = c * (n - i) / (i + 1);
    return k < 0 || k > n ? 0 : c;
  };
  // Orbital choices of nt orbitals from a class: (symmetry, open shells).
  auto choices = [&](int first, int last, int n) {
    std::vector<std::pair<int, int>> out;
    if (n == 0) out.push_back({1, 0});
    for (int o = first; o <= last; ++o) {
      if (n == 1) out.push_back({l.isym[o - 1], 1});
      if (n == 2)
        for (int p = o; p <= last; ++p)
          out.push_back({d.mult[l.isym[o - 1] - 1][l.isym[p - 1] - 1], o == p ? 0 : 2});
    }
    return out;
  };
  long long total = 0;
  std::vector<int> occ(l.noac, 0);
  for (;;) {
    int n = 0, open = 0, sym = 1;
    for (int k = 0; k < l.noac; ++k) {
      n += occ[k];
      if (occ[k] == 1) ++open, sym = d.mult[sym - 1][l.isym[l.numac[k] - 1] - 1];
    }
    const int nelc = n - d.nelac;
    const mkcase::HoleCounts c = mkcase::admitted_holes(d.gener, nelc, distance(occ, refs));
    for (int nt = c.mint; nt <= c.maxt; ++nt)
      for (auto [hs, ho] : choices(1, l.ninac, nt))
        for (auto [ps, po] : choices(l.ninac + l.noac + 1, l.norb, nt - nelc))
          if (d.mult[d.mult[sym - 1][hs - 1] - 1][ps - 1] == is0) {
            const int nsol = open + ho + po;
            if ((nsol + d.ms2) % 2 == 0) total += binomial(nsol, (nsol + d.ms2) / 2);
          }
    int k = 0;
    while (k < l.noac && occ[k] == 2) occ[k++] = 0;
    if (k == l.noac) break;
    ++occ[k];
  }
  return total;
}

TEST(MultireferenceSpace, EqualsTheFilterOverEveryDeterminantAndTheCountOverConfigurations) {
  // References at distances 1 to 4 of one another, one of another electron
  // count, and drawn ones; 1, 2, 4 and 8 irreps.
  std::vector<Description> cases;
  cases.push_back(with_refs(mkcase::describe("", 2, {1, 1}, {2, 1}, {1, 1}, 3, -1), "",
                            {"210", "111", "201", "200"}));
  cases.push_back(with_refs(mkcase::describe("", 1, {1}, {4}, {2}, 4, 0), "",
                            {"2200", "2020", "1111"}));
  cases.push_back(with_refs(mkcase::describe("", 1, {1}, {4}, {2}, 4, -2), "", {"0220"}));
  cases.push_back(with_refs(mkcase::describe("", 1, {1}, {4}, {2}, 3, -3), "",
                            {"1110", "2100"}));
  cases.push_back(mkcase::describe("", 4, {1, 0, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 1}, 4, 0));
  cases.push_back(mkcase::describe("", 8, {1, 0, 0, 1, 0, 0, 0, 0}, {1, 1, 0, 0, 1, 0, 0, 1},
                                   {0, 1, 0, 0, 0, 0, 1, 0}, 3, -1));
  for (Description d : cases) {
    if (d.refs.empty()) d.nref = 3;
    for (const char* g : {"MR  ", "MRS ", "MRD2", "MRDD", "MRT2", "MRTD", "MRT ", "MRM ",
                          "MRTM", "MRC "})
      for (int is0 : {1, d.nsym}) {
        d.gener = g;
        SCOPED_TRACE(std::string(g) + " nsym " + std::to_string(d.nsym) + " nelac " +
                     std::to_string(d.nelac) + " ms2 " + std::to_string(d.ms2) + " is0 " +
                     std::to_string(is0));
        const std::set<std::vector<int>> space = occupations(d, is0);
        EXPECT_TRUE(space == filtered(d, is0));
        EXPECT_EQ(static_cast<long long>(space.size()), count_by_configuration(d, is0));
      }
  }
}

TEST(MultireferenceSpace, MrcOnTheReferenceOccupationKeepsOnlyItsSpinCouplings) {
  // Without given references the one reference is the occupation of the
  // reference determinant: 2200 for Ms = 0 (one closed-shell determinant),
  // 2110 for Ms = -1 (both open shells beta).  Given 2110 at Ms = 0 the two
  // open shells couple two ways.
  Description d = mkcase::describe("MRC ", 2, {1, 1}, {2, 2}, {1, 1}, 4, 0);
  auto only_that_configuration = [](const Description& x, int is0, std::size_t n) {
    mkcase::OrbitalLayout l = mkcase::layout(x);
    const auto ref = mkcase::references(x).at(0);
    const auto dets = mkcase::enumerate_space(x, is0);
    EXPECT_EQ(dets.size(), n);
    for (const auto& det : dets) {
      EXPECT_EQ(det.nt + det.np, 0);
      for (int k = 0; k < l.noac; ++k)
        EXPECT_EQ((det.alpha >> k & 1) + (det.beta >> k & 1), ref[k]);
    }
  };
  EXPECT_EQ(mkcase::references(d), (std::vector<std::vector<int>>{{2, 2, 0, 0}}));
  only_that_configuration(d, 1, 1);
  d.ms2 = -2;
  EXPECT_EQ(mkcase::references(d), (std::vector<std::vector<int>>{{2, 1, 1, 0}}));
  only_that_configuration(d, 2, 1);  // open shells in a (sym 1) and b (sym 2)
  only_that_configuration(d, 1, 0);
  d.ms2 = 0;
  d.refs = {"2110"};
  only_that_configuration(d, 2, 2);
}

TEST(References, OccmrsHoldsTheCountThenOneDigitLinePerReference) {
  test::ScratchDir dir;
  Description d = mkcase::describe("MRDD", 1, {1}, {4}, {2}, 4, 0);
  d.refs = {"2200", "2110", "1210"};
  mkcase::make_case(d, (dir.path() / "given").string());
  EXPECT_EQ(dir.read("given/OCCMRS"), "           3\n2200\n2110\n1210\n");
  EXPECT_NE(dir.read("given/vrt").find("GENER='MRDD'"), std::string::npos);

  // Drawn references: nelac electrons each, distinct where the space allows,
  // the same for the same seed.
  d.refs.clear();
  d.nref = 6;
  mkcase::make_case(d, (dir.path() / "drawn").string());
  std::vector<std::string> lines = test::split_lines(dir.read("drawn/OCCMRS"));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "           6");
  std::set<std::string> distinct(lines.begin() + 1, lines.end());
  EXPECT_EQ(distinct.size(), 6u);
  for (std::size_t k = 1; k < lines.size(); ++k) {
    ASSERT_EQ(lines[k].size(), 4u);
    int n = 0;
    for (char c : lines[k]) {
      EXPECT_TRUE(c >= '0' && c <= '2') << lines[k];
      n += c - '0';
    }
    EXPECT_EQ(n, 4) << lines[k];
  }
  EXPECT_EQ(mkcase::references(d), mkcase::references(d));
  Description other = d;
  other.seed = 2;
  EXPECT_NE(mkcase::references(other), mkcase::references(d));

  // A single-reference mode writes no reference file and takes none.
  mkcase::make_case(mkcase::describe("DDCI", 1, {1}, {4}, {2}, 4, 0),
                    (dir.path() / "single").string());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "single" / "OCCMRS"));
  Description x = mkcase::describe("DDCI", 1, {1}, {4}, {2}, 4, 0);
  x.nref = 2;
  EXPECT_THROW(mkcase::check(x), std::invalid_argument);
}

TEST(References, RefusedWhereTheFileOrTheProgramCouldNotHoldThem) {
  Description d = mkcase::describe("MR  ", 1, {1}, {4}, {2}, 4, 0);
  auto refused = [](Description x) { EXPECT_THROW(mkcase::check(x), std::invalid_argument); };
  for (const char* bad : {"2300", "220", "22000", "22 0", "-200"}) {
    d.refs = {"2200", bad};
    refused(d);
  }
  d.refs = {"2200"};
  d.nref = 2;  // both
  refused(d);
  d.refs.clear();
  d.nref = 1000;
  EXPECT_NO_THROW(mkcase::check(d));
  d.nref = 1001;
  refused(d);
  // The writer itself takes any count, for cases the program must refuse.
  test::ScratchDir dir;
  mkcase::write_occmrs((dir.path() / "OCCMRS").string(),
                       std::vector<std::vector<int>>(1001, {2, 2, 0, 0}));
  EXPECT_EQ(test::split_lines(dir.read("OCCMRS")).size(), 1002u);
}

}  // namespace
