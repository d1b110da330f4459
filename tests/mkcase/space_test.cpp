// The generator's CI spaces against counts made by hand and against an
// independent filter over every determinant of a small orbital set.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tools/mkcase/case.hpp"
#include "tools/mkcase/space.hpp"

namespace {

using mkcase::Description;

Description one_symmetry(int ninac, int nact, int nvirt, int nelac, const char* gener) {
  Description d;
  d.ninac[0] = ninac;
  d.nact[0] = nact;
  d.nvirt[0] = nvirt;
  d.nelac = nelac;
  d.gener = gener;
  return d;
}

long long size(Description d, int is0 = 1) {
  long long n = mkcase::space_size(d, is0);
  EXPECT_EQ(static_cast<long long>(mkcase::enumerate_space(d, is0).size()), n);
  return n;
}

TEST(SpaceSize, CasCountsActiveStringPairsOfTheStateSymmetry) {
  // Two active orbitals of symmetry 1 and one of symmetry 2, one electron of
  // each spin: alpha and beta both in symmetry 1 (2 x 2) or both in
  // symmetry 2 (1 x 1) gives 5 for is0 = 1; one in each gives 2 x 1 + 1 x 2
  // = 4 for is0 = 2.  Inactive and virtual orbitals never enter.
  Description d = mkcase::describe("CAS ", 2, {1, 0}, {2, 1}, {1, 1}, 2);
  EXPECT_EQ(size(d, 1), 5);
  EXPECT_EQ(size(d, 2), 4);
}

TEST(SpaceSize, ModesOnOneInactiveTwoActiveOneVirtual) {
  // Orbitals i (inactive), a, b (active), v (virtual), four electrons,
  // Ms = 0: every Ms = 0 determinant is C(4,2)^2 = 36, and none of them
  // leaves the active electron count or the spin outside the classes of
  // TOUS (|nelc| <= 2 always holds here), nor of PERT (its (2,2) rule needs
  // an unchanged active spin, which i empty and v full force).
  // i empty (two holes): alpha and beta both 2 of {a,b,v}: 9; v full (two
  // particles): 9; both: alpha = beta = {v, a or b}: 4.
  EXPECT_EQ(size(one_symmetry(1, 2, 1, 2, "TOUS")), 36);
  EXPECT_EQ(size(one_symmetry(1, 2, 1, 2, "PERT")), 36);
  // DDCI and DDci drop the 4 of two holes and two particles.
  EXPECT_EQ(size(one_symmetry(1, 2, 1, 2, "DDCI")), 32);
  EXPECT_EQ(size(one_symmetry(1, 2, 1, 2, "DDci")), 32);
  // DDC2 also drops (2,1): i empty, v single, three active electrons with
  // the spin the particle leaves (2 x 2 = 4), and (1,2): one hole, v full,
  // one active electron of the hole's spin (2 x 2 = 4): 36 - 12 = 24.
  EXPECT_EQ(size(one_symmetry(1, 2, 1, 2, "DDC2")), 24);
  // MONO keeps at most one hole and one particle: 36 - 9 - 9 + 4 = 22.
  EXPECT_EQ(size(one_symmetry(1, 2, 1, 2, "MONO")), 22);
}

TEST(SpaceSize, PertKeepsDoubleExcitationsOnlyWithTheActiveSpinUnchanged) {
  // With two virtual orbitals v, w the two particles can both be alpha
  // (i empty, so the active part must give up an alpha electron: a and b
  // beta, one determinant) or both beta (one more): TOUS keeps these two,
  // PERT drops them; nothing else differs between the two modes here.
  EXPECT_EQ(size(one_symmetry(1, 2, 2, 2, "TOUS")) -
                size(one_symmetry(1, 2, 2, 2, "PERT")),
            2);
}

TEST(SpaceSize, DdciReachesThreeUnpairedActiveSpinsWhereDdciLowerDoesNot) {
  // Inactive i, active a, b, c, virtual v, w, four active electrons.  The
  // active spin can move three away from the reference only with one
  // active electron fewer: i beta emptied, v and w alpha filled, a, b, c
  // beta; and its mirror image with the spins exchanged.  DDCI keeps these
  // two, DDci does not; every other class is common to both.
  EXPECT_EQ(size(one_symmetry(1, 3, 2, 4, "DDCI")) -
                size(one_symmetry(1, 3, 2, 4, "DDci")),
            2);
}

// ---------------------------------------------------------------------------
// The same spaces by filtering every determinant with the right electron
// counts over a small orbital set.

struct Classified {
  int nt = 0, np = 0, na = 0, nb = 0, ispt = 0, ispp = 0, sym = 1, isc = 1;
};

bool in_mode(const Description& d, const Classified& c, int is0) {
  const std::string& g = d.gener;
  int da = c.na - d.nca0(), db = c.nb - d.ncb0();
  int nelc = da + db, dspin = da - db;
  if (c.nt > 2 || c.np > 2 || c.sym != is0) return false;
  // allowed changes of the active alpha and beta counts
  int reach = std::max(std::abs(da), std::abs(db));
  bool both = da != 0 && db != 0;
  bool t1 = reach <= 1 || (!both && reach == 2) ||
            ((g == "DDCI" || g == "TOUS" || g == "DDC2") && std::abs(nelc) == 1 && reach == 2) ||
            (g == "TOUS" && nelc == 0 && reach == 2);
  if (!t1 || std::abs(nelc) > 2) return false;
  int ispc1 = dspin < 0 ? -((-dspin + 1) / 2) : (dspin + 1) / 2;
  if (g == "CAS ") return ispc1 == 0 && c.nt == 0 && c.np == 0;
  if ((g == "PERT" || g == "DDci") && std::abs(nelc) == 1 && std::abs(ispc1) == 2) return false;
  if (g != "TOUS" && nelc == 0 && std::abs(ispc1) == 2) return false;
  if (g == "PERT" && c.nt == 2 && c.np == 2 && (dspin != 0 || c.isc != is0)) return false;
  if ((g == "DDCI" || g == "DDci") && c.nt == 2 && c.np == 2) return false;
  if (g == "DDC2" && c.nt + c.np > 2) return false;
  if (g == "MONO" && (c.nt > 1 || c.np > 1)) return false;
  return true;
}

std::set<std::vector<int>> filtered(const Description& d, int is0) {
  mkcase::OrbitalLayout l = mkcase::layout(d);
  int nalpha = l.ninac + d.nca0(), nbeta = l.ninac + d.ncb0();
  std::set<std::vector<int>> out;
  for (unsigned a = 0; a < (1u << l.norb); ++a) {
    if (__builtin_popcount(a) != nalpha) continue;
    for (unsigned b = 0; b < (1u << l.norb); ++b) {
      if (__builtin_popcount(b) != nbeta) continue;
      Classified c;
      std::vector<int> occ;
      for (int o = 1; o <= l.norb; ++o) {
        bool active = o > l.ninac && o <= l.ninac + l.noac, inactive = o <= l.ninac;
        for (int spin = 0; spin < 2; ++spin) {
          bool in = ((spin == 0 ? a : b) >> (o - 1)) & 1;
          int sgn = spin == 0 ? 1 : -1;
          if (in) {
            occ.push_back(o + spin * l.norb);
            c.sym = d.mult[c.sym - 1][l.isym[o - 1] - 1];
            if (active) c.isc = d.mult[c.isc - 1][l.isym[o - 1] - 1];
          }
          if (inactive && !in) ++c.nt, c.ispt += sgn;
          if (!inactive && !active && in) ++c.np, c.ispp += sgn;
          if (active && in) ++(spin == 0 ? c.na : c.nb);
        }
      }
      if (in_mode(d, c, is0)) {
        std::sort(occ.begin(), occ.end());
        out.insert(occ);
      }
    }
  }
  return out;
}

TEST(SpaceSize, EnumerationEqualsFilterForEveryModeSpinAndSymmetry) {
  for (const char* g : {"CAS ", "PERT", "DDCI", "DDci", "DDC2", "TOUS", "MONO"})
    for (auto [nelac, ms2] : {std::pair{4, 0}, {4, -2}, {3, -1}, {3, -3}, {2, 0}}) {
      Description d;
      d.nsym = 2;
      d.ninac = {1, 1};
      d.nact = {2, 2};
      d.nvirt = {2, 1};
      d.nelac = nelac;
      d.ms2 = ms2;
      d.gener = g;
      mkcase::OrbitalLayout l = mkcase::layout(d);
      for (int is0 = 1; is0 <= 2; ++is0) {
        SCOPED_TRACE(std::string(g) + " nelac " + std::to_string(nelac) + " ms2 " +
                     std::to_string(ms2) + " is0 " + std::to_string(is0));
        std::set<std::vector<int>> want = filtered(d, is0);
        std::vector<mkcase::Determinant> got = mkcase::enumerate_space(d, is0);
        std::set<std::vector<int>> have;
        for (const auto& det : got) have.insert(mkcase::occupied(det, l));
        EXPECT_EQ(have.size(), got.size()) << "a determinant enumerated twice";
        EXPECT_TRUE(have == want);
      }
    }
}

TEST(Excitation, ListsWhatTheDeterminantChangesAgainstTheReference) {
  // Odd electron count: every determinant misses one electron of the
  // reference, which the empty-slot marker stands for.
  Description d = one_symmetry(1, 3, 2, 3, "DDCI");
  d.ms2 = -1;
  mkcase::OrbitalLayout l = mkcase::layout(d);
  for (const auto& det : mkcase::enumerate_space(d, 1)) {
    mkcase::Excitation e = mkcase::excitation(det, l);
    ASSERT_EQ(e.holes.size(), e.parts.size());
    EXPECT_EQ(e.parts.back(), 2 * l.norb + 1);
    std::set<int> occ;
    for (int s = 1; s <= 2 * l.norb; ++s)
      if ((s > l.norb ? s - l.norb : s) <= l.nocc) occ.insert(s);
    for (int h : e.holes) EXPECT_EQ(occ.erase(h), 1u);
    for (int p : e.parts)
      if (p != 2 * l.norb + 1) {
        EXPECT_TRUE(occ.insert(p).second);
      }
    std::vector<int> want = mkcase::occupied(det, l);
    EXPECT_EQ(std::vector<int>(occ.begin(), occ.end()), want);
  }
}

TEST(Description, RefusesWhatTheFilesCannotHold) {
  Description d = one_symmetry(1, 2, 1, 2, "DDCI");
  EXPECT_NO_THROW(mkcase::check(d));
  auto refused = [](Description x) {
    EXPECT_THROW(mkcase::check(x), std::invalid_argument);
  };
  Description x = d;
  x.ms2 = -1;  // parity of an even electron count
  refused(x);
  x = d;
  x.gener = "MRX ";  // no such mode
  refused(x);
  x = d;
  x.nact[0] = 17;
  x.nelac = 2;
  refused(x);
  x = d;
  x.ninac[0] = 300;
  x.packed = true;  // holes above orbital 256
  refused(x);
  x = d;
  x.ms2 = -4;  // more unpaired beta electrons than active orbitals
  refused(x);
}

}  // namespace
