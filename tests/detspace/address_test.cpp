// The address tables against the case generator's spaces: for every mode the
// tables must give the space its exact size, every determinant a distinct
// address in 1..T, and tell the determinants of the space from the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "detspace/address.hpp"
#include "detspace/address_tables.hpp"
#include "detspace/categories.hpp"
#include "core/print.hpp"
#include "fortio/stop.hpp"
#include "input/run_description.hpp"
#include "input/open_files.hpp"
#include "orbitals/orbital_classes.hpp"
#include "support/run_in_dir.hpp"
#include "tests/detspace/tables_case.hpp"
#include "tools/mkcase/runfiles.hpp"
#include "tools/mkcase/space.hpp"

namespace {

using tables::Tables;

using ciprop::Run;
using ciprop::SplitDet;
using mkcase::Description;

using tables::stop_status;

const char* const kModes[] = {"CAS ", "PERT", "DDCI", "DDci", "DDC2", "TOUS", "MONO"};

// Spaces of growing shape: one to eight irreps, even and odd electron
// counts, ms2 0, -1 and -2, several state symmetries, no active orbital up
// to sixteen.
std::vector<Description> shapes() {
  std::vector<Description> v;
  v.push_back(mkcase::describe("", 1, {2}, {2}, {2}, 2, 0, 1));
  v.push_back(mkcase::describe("", 1, {2}, {3}, {3}, 3, -1, 1));
  v.push_back(mkcase::describe("", 1, {3}, {0}, {3}, 0, 0, 1));
  v.push_back(mkcase::describe("", 2, {1, 1}, {2, 1}, {1, 2}, 4, -2, 2));
  v.push_back(mkcase::describe("", 2, {2, 1}, {1, 1}, {2, 1}, 1, -1, 2));
  v.push_back(mkcase::describe("", 4, {1, 1, 0, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, 4, 0, 3));
  v.push_back(mkcase::describe("", 4, {1, 0, 1, 0}, {2, 1, 0, 1}, {1, 1, 0, 2}, 3, -3, 4));
  v.push_back(mkcase::describe("", 8, {1, 0, 0, 1, 0, 0, 1, 0}, {1, 1, 1, 0, 1, 0, 0, 1},
                    {0, 1, 1, 1, 0, 1, 0, 1}, 4, -2, 5));
  v.push_back(mkcase::describe("", 8, {0, 1, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 1, 0, 0, 1, 0},
                    {1, 1, 0, 0, 0, 1, 0, 1}, 3, -1, 8));
  v.push_back(mkcase::describe("", 2, {1, 0}, {9, 7}, {1, 1}, 2, 0, 2));
  v.push_back(mkcase::describe("", 1, {1}, {6}, {3}, 6, 0, 1));
  v.push_back(mkcase::describe("", 1, {1}, {5}, {2}, 5, -3, 1));
  return v;
}

std::string describe(const Description& d) {
  std::ostringstream s;
  s << "gener='" << d.gener << "' nsym=" << d.nsym << " noac=" << d.noac()
    << " nelac=" << d.nelac << " ms2=" << d.ms2 << " is0=" << d.is0;
  return s.str();
}

using Key = std::array<int, 6>;
Key key(const mkcase::Determinant& det) {
  return {det.alpha, det.beta, det.holes[0], det.holes[1], det.parts[0], det.parts[1]};
}

TEST(Addressing, EveryModeNumbersItsSpaceOneToT) {
  for (Description d : shapes())
    for (const char* mode : kModes) {
      d.gener = mode;
      SCOPED_TRACE(describe(d));
      Tables t(d);
      ASSERT_EQ(t.prepad(), -1) << t.out.str();
      const auto dets = mkcase::enumerate_space(d, d.is0);
      ASSERT_EQ(t.run->dets.blocks.ntotal, static_cast<long long>(dets.size()));
      std::vector<char> seen(dets.size() + 1, 0);
      for (const auto& det : dets) {
        const SplitDet s = t.split(det);
        ASSERT_TRUE(ciprop::in_space(*t.run, s));
        int iadr = 0;
        ciprop::adrdet(*t.run, s, iadr);
        ASSERT_GE(iadr, 1);
        ASSERT_LE(iadr, static_cast<int>(dets.size()));
        ASSERT_FALSE(seen[iadr]) << "address " << iadr << " twice";
        seen[iadr] = 1;
      }
    }
}

TEST(Addressing, MembershipMatchesTheModeOnEveryWiderDeterminant) {
  // Every mode's space lies inside the TOUS space of the same orbitals; the
  // TOUS determinants of all state symmetries probe classes the mode keeps,
  // drops, and classes of another symmetry.
  for (Description d : shapes())
    for (const char* mode : kModes) {
      d.gener = mode;
      SCOPED_TRACE(describe(d));
      Tables t(d);
      ASSERT_EQ(t.prepad(), -1);
      const auto mine = mkcase::enumerate_space(d, d.is0);
      std::set<Key> inside;
      for (const auto& det : mine) inside.insert(key(det));
      Description wide = d;
      wide.gener = "TOUS";
      for (int is0 = 1; is0 <= d.nsym; ++is0)
        for (const auto& det : mkcase::enumerate_space(wide, is0))
          ASSERT_EQ(ciprop::in_space(*t.run, t.split(det)), is0 == d.is0 && inside.count(key(det)) > 0)
              << "is0 " << is0 << " nt " << int(det.nt) << " np " << int(det.np);
    }
}

TEST(Addressing, TheTablesOfEverySymmetryNumberThatSymmetrysSpace) {
  // The first vector may be a state of another symmetry than the run's: the
  // tables of its symmetry number exactly its space and hold nothing else of
  // the widest space of that symmetry; those of the run's own symmetry give
  // every determinant adrdet's address.  Read straight from its lists, as
  // the list checks read it, every determinant of the space has the same
  // address, and no other has one.
  for (Description d : shapes())
    for (const char* mode : kModes) {
      d.gener = mode;
      Tables t(d);
      ASSERT_EQ(t.prepad(), -1);
      Description wide = d;
      wide.gener = "TOUS";
      for (int s = 1; s <= d.nsym; ++s) {
        SCOPED_TRACE(describe(d) + " tables of symmetry " + std::to_string(s));
        const ciprop::SrAddressTables tables(*t.run, s);
        const auto mine = mkcase::enumerate_space(d, s);
        ASSERT_EQ(tables.size(), static_cast<int>(mine.size()));
        std::set<Key> inside;
        for (const auto& det : mine) inside.insert(key(det));
        std::vector<char> seen(mine.size() + 1, 0);
        for (const auto& det : mkcase::enumerate_space(wide, s)) {
          const SplitDet split = t.split(det);
          const int iadr = tables.address(split);
          const mkcase::Excitation e = mkcase::excitation(det, t.layout);
          const int listed =
              tables.list_address(int(e.holes.size()), e.holes.data(), e.parts.data());
          ASSERT_EQ(listed, iadr);
          if (!inside.count(key(det))) {
            ASSERT_EQ(iadr, 0);
            continue;
          }
          ASSERT_GE(iadr, 1);
          ASSERT_LE(iadr, tables.size());
          ASSERT_FALSE(seen[iadr]) << "address " << iadr << " twice";
          seen[iadr] = 1;
          if (s == d.is0) {
            int own = 0;
            ciprop::adrdet(*t.run, split, own);
            ASSERT_EQ(iadr, own);
          }
        }
      }
    }
}

TEST(Addressing, LargestActiveSpaceAndSpinExtremes) {
  // Sixteen active orbitals (the most the rank tables hold) with few
  // electrons, and a high-spin space whose alpha strings are nearly empty.
  for (Description d : {mkcase::describe("DDCI", 1, {1}, {16}, {1}, 2, 0, 1),
                        mkcase::describe("TOUS", 2, {1, 1}, {8, 8}, {0, 1}, 2, -2, 1),
                        mkcase::describe("MONO", 1, {2}, {4}, {2}, 4, -4, 1)}) {
    SCOPED_TRACE(describe(d));
    Tables t(d);
    ASSERT_EQ(t.prepad(), -1) << t.out.str();
    const auto dets = mkcase::enumerate_space(d, d.is0);
    ASSERT_EQ(t.run->dets.blocks.ntotal, static_cast<long long>(dets.size()));
    std::vector<int> addr;
    for (const auto& det : dets) {
      int iadr = 0;
      ciprop::adrdet(*t.run, t.split(det), iadr);
      addr.push_back(iadr);
    }
    std::sort(addr.begin(), addr.end());
    for (std::size_t k = 0; k < addr.size(); ++k) ASSERT_EQ(addr[k], static_cast<int>(k) + 1);
  }
}

TEST(Addressing, ActiveListOutOfOrderLeavesEveryOrbitalInOneClass) {
  // Active orbitals 4, 3 (CAS order) among nocc = 4: orbital 3 is active
  // only, never also a hole; the space keeps its size and its addresses.
  Description d = mkcase::describe("DDCI", 1, {2}, {2}, {2}, 4, 0, 1);
  Tables t(d);
  std::swap(t.layout.numac[0], t.layout.numac[1]);
  t.run->cs.numac(1) = 4;
  t.run->cs.numac(2) = 3;
  ciprop::prepar(*t.run);
  ASSERT_EQ(t.prepad(), -1);
  EXPECT_EQ(t.run->sy2.nts(1), 2);
  EXPECT_EQ(t.run->sy2.nps(1), 2);
  const auto dets = mkcase::enumerate_space(d, 1);
  ASSERT_EQ(t.run->dets.blocks.ntotal, static_cast<long long>(dets.size()));
  std::set<int> addr;
  for (const auto& det : dets) {
    const SplitDet s = t.split(det);
    ASSERT_TRUE(ciprop::in_space(*t.run, s));
    int iadr = 0;
    ciprop::adrdet(*t.run, s, iadr);
    addr.insert(iadr);
  }
  EXPECT_EQ(addr.size(), dets.size());
  EXPECT_EQ(*addr.begin(), 1);
  EXPECT_EQ(*addr.rbegin(), static_cast<int>(dets.size()));
}

TEST(InSpace, RefusesWhatNoBlockHolds) {
  // Inactive 1, 2; active 3, 4; virtual 5, 6 (norb 6), two active electrons.
  Tables t(mkcase::describe("DDCI", 1, {2}, {2}, {2}, 2, 0, 1));
  ASSERT_EQ(t.prepad(), -1);
  ciprop::Run& run = *t.run;
  auto in = [&](std::vector<int> h, std::vector<int> p) {
    SplitDet d;
    int ierr = 0;
    ciprop::trad(run, static_cast<int>(h.size()), h.data(), p.data(), d, ierr);
    return ierr == 0 && ciprop::in_space(run, d);
  };
  // Two holes, two particles: TOUS and PERT keep it, DDCI does not.
  EXPECT_FALSE(in({1, 7}, {5, 11}));
  EXPECT_TRUE(in({1, 7}, {5, 10}));
  // Three holes: trad reports it, nothing is looked up.
  SplitDet d;
  int ierr = 0;
  const int h3[] = {1, 2, 7}, p3[] = {5, 6, 11};
  ciprop::trad(run, 3, h3, p3, d, ierr);
  EXPECT_EQ(ierr, 1);
  // Split forms no list gives: a hole in a virtual orbital, a particle in an
  // inactive one, the same spin-orbital twice, an unbalanced spin count,
  // active orbitals out of order or not active.
  auto base = [] {
    SplitDet s;
    s.nca = 1;
    s.ia[0] = 3;
    s.ncb = 1;
    s.ib[0] = 3;
    return s;
  };
  SplitDet s = base();
  EXPECT_TRUE(ciprop::in_space(run, s));
  s.nt = 1, s.it[0] = 5, s.ispt = 1, s.np = 1, s.ip[0] = 6, s.ispp = 1;
  EXPECT_FALSE(ciprop::in_space(run, s));
  s.it[0] = 1, s.ip[0] = 2;
  EXPECT_FALSE(ciprop::in_space(run, s));
  s.ip[0] = 5;
  EXPECT_TRUE(ciprop::in_space(run, s));
  s.ispp = -1;
  EXPECT_FALSE(ciprop::in_space(run, s));
  s = base();
  s.nt = 2, s.it[0] = s.it[1] = 1, s.ispt = 2, s.np = 2, s.ip[0] = 5, s.ip[1] = 6, s.ispp = 2;
  EXPECT_FALSE(ciprop::in_space(run, s));
  // Both electrons of inactive orbital 1 moved into the active ones.
  s = base();
  s.nca = 2, s.ia[0] = 3, s.ia[1] = 4, s.ncb = 2, s.ib[0] = 3, s.ib[1] = 4;
  s.nt = 2, s.it[0] = 1, s.it[1] = 7;
  EXPECT_TRUE(ciprop::in_space(run, s));
  s.ia[0] = 4, s.ia[1] = 3;
  EXPECT_FALSE(ciprop::in_space(run, s));
  s.ia[0] = 3, s.ia[1] = 5;
  EXPECT_FALSE(ciprop::in_space(run, s));
  s.ia[1] = 4, s.nca = 5;
  EXPECT_FALSE(ciprop::in_space(run, s));
}

TEST(Report, PrintLevelTwoListsEveryOrbitalsRankInItsClass) {
  // Inactive 1, 2; active 3, 4; virtual 5, 6: ranks 1, 2 in each class, the
  // beta half repeating the alpha half.
  Tables t(mkcase::describe("DDCI", 1, {2}, {2}, {2}, 2, 0, 1));
  t.run->pr.nprint = 2;
  const std::size_t start = t.out.str().size();
  ASSERT_EQ(t.prepad(), -1);
  EXPECT_EQ(t.out.str().substr(start), " " + std::string(53, '-') +
                                           "\n itorb   1   2   1   2   1   2   1   2   1   2   1   2\n");
}

TEST(Errors, PairsOutOfOrderAndHolesInEmptyOrbitalsStopTheRun) {
  // Inactive 1..3, active 4, virtual 5..7 (norb 7), one symmetry.
  Tables t(mkcase::describe("TOUS", 1, {3}, {1}, {3}, 2, 0, 1));
  ASSERT_EQ(t.prepad(), -1);
  ciprop::Run& run = *t.run;
  auto address = [&](std::vector<int> h, std::vector<int> p) {
    return stop_status([&] {
      SplitDet d;
      int ierr = 0;
      ciprop::trad(run, static_cast<int>(h.size()), h.data(), p.data(), d, ierr);
      int iadr = 0;
      ciprop::adrdet(run, d, iadr);
    });
  };
  EXPECT_EQ(address({1, 2}, {5, 6}), -1);
  EXPECT_NE(address({2, 1}, {5, 6}), 0);
  EXPECT_NE(t.out.str().find(" dans adrt it1,it2 2 1\n"), std::string::npos);
  EXPECT_NE(address({1, 2}, {6, 5}), 0);
  EXPECT_NE(t.out.str().find(" erreur 24\n"), std::string::npos);
  // The hole of an active spin-orbital the determinant has emptied already,
  // and a particle in one it fills already.
  EXPECT_NE(address({4, 4}, {5, 6}), 0);
  EXPECT_NE(t.out.str().find(" mauvais trou numero 2 4\n"), std::string::npos);
  EXPECT_NE(address({1}, {4}), 0);
  EXPECT_NE(t.out.str().find(" mauvaise part numero 1 4\n"), std::string::npos);
  // Spin-orbitals outside the orbital set.
  EXPECT_NE(address({15}, {5}), 0);
  EXPECT_NE(address({1}, {0}), 0);
}

TEST(Errors, DebugAddressStopsWithItsDescription) {
  const Description d = mkcase::describe("CAS ", 1, {1}, {2}, {1}, 2, 0, 1);
  Tables t(d);
  ASSERT_EQ(t.prepad(), -1);
  t.run->switches.stop_at_address = 2;
  int stops = 0;
  for (const auto& det : mkcase::enumerate_space(d, 1)) {
    const SplitDet s = t.split(det);
    const int status = stop_status([&] {
      int iadr = 0;
      ciprop::adrdet(*t.run, s, iadr);
    });
    if (status != -1) {
      EXPECT_NE(status, 0);
      ++stops;
    }
  }
  EXPECT_EQ(stops, 1);
  EXPECT_NE(t.out.str().find(" iadrt,iadrc,iadrp,iadrcat,iadr"), std::string::npos);
}

TEST(Errors, ModesThisVersionDoesNotBuildAreRefused) {
  const Description d = mkcase::describe("CAS ", 1, {1}, {2}, {1}, 2, 0, 1);
  for (const char* g : {"DDCX", "cas "}) {
    Tables t(d, g);
    EXPECT_NE(t.prepad(), 0) << g;
    EXPECT_NE(t.out.str().find(std::string("gener='") + g + "'"), std::string::npos) << t.out.str();
  }
}

TEST(Errors, MoreActiveElectronsThanActiveSpinOrbitalsAreRefused) {
  Tables t(mkcase::describe("CAS ", 1, {1}, {2}, {1}, 2, 0, 1));
  t.run->cs.nelac = 5;
  EXPECT_NE(t.prepad(), 0);
  EXPECT_NE(t.out.str().find("nelac, noac= 5 2"), std::string::npos) << t.out.str();
}

}  // namespace
