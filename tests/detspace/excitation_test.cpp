// The addresses of one-electron excitations against trad, in_space and
// adrdet: for every determinant of the widest space and every excitation of
// one spin, the shortcut must answer exactly as the full path does on the
// excited determinant's lists, in every mode; and it must leave to the full
// path the determinants that trad would refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "detspace/address.hpp"
#include "detspace/excitation.hpp"
#include "detspace/categories.hpp"
#include "core/print.hpp"
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
using mkcase::Description;

// Counts of excitations compared, in and out of the space.
struct Tally {
  long inside = 0, outside = 0;
};

// Every determinant of the TOUS space of every symmetry, every excitation.
void compare_all(const Description& d, Tally& tally) {
  Tables t(d);
  ASSERT_EQ(t.prepad(), -1);
  ciprop::Excitations ex(*t.run);
  tables::for_each_excitation(
      d, false,
      [&](const mkcase::Excitation& e) {
        ASSERT_TRUE(ex.set(static_cast<int>(e.holes.size()), e.holes.data(), e.parts.data()));
      },
      [&](int si, int sj, const std::vector<int>& h, const std::vector<int>& p) {
        int want = 0, got = 0;
        const bool in = t.full(h, p, want);
        ASSERT_EQ(ex.locate(si, sj, got), in) << "si " << si << " sj " << sj;
        if (in) {
          ASSERT_EQ(got, want) << "si " << si << " sj " << sj;
        }
        ++(in ? tally.inside : tally.outside);
      });
}

TEST(Excitations, AnswerAsTheFullPathInEveryMode) {
  const Description shapes[] = {
      mkcase::describe("", 1, {2}, {3}, {3}, 3, -1, 1),
      mkcase::describe("", 2, {2, 1}, {1, 1}, {2, 1}, 1, -1, 2),
      mkcase::describe("", 4, {1, 1, 0, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, 4, 0, 3),
      mkcase::describe("", 4, {1, 0, 1, 0}, {2, 1, 0, 1}, {1, 1, 0, 2}, 3, -3, 4),
      mkcase::describe("", 8, {0, 1, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 1, 0, 0, 1, 0},
            {1, 1, 0, 0, 0, 1, 0, 1}, 3, -1, 8),
      mkcase::describe("", 1, {3}, {0}, {3}, 0, 0, 1),
  };
  for (const char* mode : {"CAS ", "PERT", "DDCI", "DDci", "DDC2", "TOUS", "MONO"}) {
    Tally tally;
    for (Description d : shapes) {
      d.gener = mode;
      SCOPED_TRACE(std::string("gener '") + mode + "' nsym " + std::to_string(d.nsym));
      compare_all(d, tally);
      if (HasFatalFailure()) return;
    }
    // Both answers occur in each mode, so neither side is compared against
    // a constant.
    EXPECT_GT(tally.inside, 0) << mode;
    EXPECT_GT(tally.outside, 0) << mode;
  }
}

TEST(Excitations, LeaveListsThatTradRefusesToTheFullPath) {
  Tables t(mkcase::describe("DDCI", 1, {2}, {2}, {2}, 2, 0, 1));
  ASSERT_EQ(t.prepad(), -1);
  // norb 6, nocc 3: orbitals 1, 2 inactive, 3 and 4 active, 5 and 6 virtual.
  ciprop::Excitations ex(*t.run);
  const int marker = 13;
  struct Lists {
    std::vector<int> h, p;
    bool served;
  };
  const Lists cases[] = {
      {{1}, {5}, true},             // a single excitation
      {{2, 8}, {5, 11}, true},       // a hole of each spin
      {{3}, {marker}, true},        // an odd count: the empty slot
      {{1, 1}, {5, 6}, false},      // the same hole twice
      {{4}, {5}, false},            // a hole in an orbital the reference leaves empty
      {{1}, {2}, false},            // a particle in a filled orbital
      {{1}, {0}, false},            // no such spin-orbital
      {{2, 1}, {5, 6}, false},      // holes out of order
      {{1, 2, 7}, {5, 6, 11}, false},  // three particles outside the active orbitals
  };
  for (const Lists& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.h) + " " + ::testing::PrintToString(c.p));
    EXPECT_EQ(ex.set(static_cast<int>(c.h.size()), c.h.data(), c.p.data()), c.served);
  }
}

TEST(Excitations, LeaveEverythingToTheFullPathWhenTheShortcutsDoNotHold) {
  // The files fill orbitals 1..nocc; if the CAS reference filled another
  // active orbital, the same lists would mean another determinant.
  Tables t(mkcase::describe("DDCI", 2, {1, 0}, {1, 1}, {1, 0}, 2, 0, 1));
  ASSERT_EQ(t.prepad(), -1);
  const int h[] = {1}, p[] = {4};
  EXPECT_TRUE(ciprop::Excitations(*t.run).set(1, h, p));
  t.run->prep.yac(2) = true;
  EXPECT_FALSE(ciprop::Excitations(*t.run).set(1, h, p));
  t.run->prep.yac(2) = false;
  // A product table in which an irrep is not its own inverse: a product
  // cannot be updated by one factor.
  t.run->sym.mult(2, 2) = 2;
  EXPECT_FALSE(ciprop::Excitations(*t.run).set(1, h, p));
}

}  // namespace
