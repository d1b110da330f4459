// The lists' own path to an address against the general one: on every list
// of the widest space of each shape's orbitals and on lists damaged in the
// ways a file can be (entries out of order, twice, out of range, a hole in
// a virtual orbital, a second marker ...), list_address gives trad and
// adrdet's address for the lists it is meant to serve and 0 for every other,
// including those on which the general path stops the run; it never stops
// the run itself, and two threads asking at once get the same answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "detspace/address_tables.hpp"
#include "detspace/reference_configurations.hpp"
#include "tests/detspace/tables_case.hpp"
#include "tools/mkcase/multireference.hpp"

namespace {

using mkcase::Description;
using tables::stop_status;
using tables::Tables;

struct Lists {
  std::vector<int> h, p;
};

// Every determinant of the TOUS space of d's orbitals, of every symmetry, as
// the files give it, and beside each a few damaged copies: its first or
// last hole (particle) replaced by a number that walks through -1 .. 2 norb
// + 2 from one determinant to the next, its holes (particles) reversed, its
// first hole (particle) given twice.
std::vector<Lists> probe_lists(const Description& d) {
  const mkcase::OrbitalLayout l = mkcase::layout(d);
  const int top = 2 * d.norb() + 2;
  Description wide = d;
  wide.gener = "TOUS";
  wide.nref = 0;
  std::vector<Lists> v;
  int walk = 0;
  for (int is0 = 1; is0 <= d.nsym; ++is0)
    for (const auto& det : mkcase::enumerate_space(wide, is0)) {
      const mkcase::Excitation e = mkcase::excitation(det, l);
      v.push_back({e.holes, e.parts});
      if (e.holes.empty()) continue;
      const std::size_t last = e.holes.size() - 1;
      for (std::size_t k : {std::size_t{0}, last})
        for (int side = 0; side < 2; ++side) {
          Lists x{e.holes, e.parts};
          (side == 0 ? x.h : x.p)[k] = walk++ % (top + 2) - 1;
          v.push_back(x);
        }
      if (last == 0) continue;
      Lists x{e.holes, e.parts};
      std::reverse(x.h.begin(), x.h.end());
      v.push_back(x);
      x = {e.holes, e.parts};
      std::reverse(x.p.begin(), x.p.end());
      v.push_back(x);
      x = {e.holes, e.parts};
      x.h[1] = x.h[0];
      v.push_back(x);
      x = {e.holes, e.parts};
      x.p[1] = x.p[0];
      v.push_back(x);
    }
  return v;
}

// The lists the direct path is meant for, judged from the generator's
// orbital layout: holes in spin-orbitals the reference fills, particles in
// empty ones, none twice, at most one empty-slot marker, and at most two
// holes (particles) outside the active orbitals, in increasing order where
// the addressing asks for it (ordered).
bool meant_for_direct_path(const mkcase::OrbitalLayout& l, const Lists& x, bool ordered = true) {
  const int norb = l.norb;
  auto active = [&](int so) {
    const int o = so > norb ? so - norb : so;
    return std::find(l.numac.begin(), l.numac.end(), o) != l.numac.end();
  };
  auto filled = [&](int so) { return (so > norb ? so - norb : so) <= l.nocc; };
  auto ok = [&](const std::vector<int>& v, bool holes) {
    std::vector<int> outside, seen;
    int markers = 0;
    for (int so : v) {
      if (!holes && so == 2 * norb + 1 && markers++ == 0) continue;
      if (so < 1 || so > 2 * norb || filled(so) != holes) return false;
      if (std::find(seen.begin(), seen.end(), so) != seen.end()) return false;
      seen.push_back(so);
      if (!active(so)) outside.push_back(so);
    }
    return outside.size() <= 2 && (!ordered || outside.size() < 2 || outside[0] < outside[1]);
  };
  return ok(x.h, true) && ok(x.p, false);
}

// trad and the tables' address on the lists, 0 outside the space or where
// they stop the run; stops counts the stops.
int general_path(Tables& t, const ciprop::AddressTables& tables, const Lists& x, int& stops) {
  int iadr = 0;
  const int status = stop_status([&] {
    ciprop::SplitDet split;
    int ierr = 0;
    ciprop::trad(*t.run, int(x.h.size()), x.h.data(), x.p.data(), split, ierr);
    iadr = ierr == 0 ? tables.address(split) : 0;
  });
  if (status == -1) return iadr;
  ++stops;
  return 0;
}

const char* const kModes[] = {"CAS ", "PERT", "DDCI", "DDC2", "TOUS", "MONO"};

// One to eight irreps, even and odd electron counts, a high spin.
std::vector<Description> shapes() {
  return {mkcase::describe("", 1, {2}, {3}, {3}, 3, -1, 1),
          mkcase::describe("", 2, {2, 1}, {1, 1}, {2, 1}, 1, -1, 2),
          mkcase::describe("", 2, {1, 1}, {2, 1}, {1, 2}, 4, -2, 2),
          mkcase::describe("", 4, {1, 1, 0, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, 4, 0, 3),
          mkcase::describe("", 8, {0, 1, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 1, 0, 0, 1, 0},
                           {1, 1, 0, 0, 0, 1, 0, 1}, 3, -1, 8)};
}

TEST(ListAddress, GivesTheGeneralPathsAddressOrZeroAndNeverStops) {
  for (Description d : shapes())
    for (const char* mode : kModes) {
      d.gener = mode;
      SCOPED_TRACE(std::string(mode) + " nsym " + std::to_string(d.nsym) + " nelac " +
                   std::to_string(d.nelac));
      Tables t(d);
      ASSERT_EQ(t.prepad(), -1) << t.out.str();
      const mkcase::OrbitalLayout l = mkcase::layout(d);
      const std::vector<Lists> lists = probe_lists(d);
      int placed = 0, stops = 0;
      for (int s = 1; s <= d.nsym; ++s) {
        const ciprop::SrAddressTables tables(*t.run, s);
        for (const Lists& x : lists) {
          const int got = tables.list_address(int(x.h.size()), x.h.data(), x.p.data());
          if (got != 0) ++placed;
          const int general = general_path(t, tables, x, stops);
          const int want = meant_for_direct_path(l, x) ? general : 0;
          ASSERT_EQ(got, want) << ::testing::PrintToString(x.h) << " "
                               << ::testing::PrintToString(x.p);
        }
      }
      // Lists the general path stops on were among them.
      EXPECT_GT(placed, 0);
      EXPECT_GT(stops, 0);
    }
}

TEST(ListAddress, TheMultireferenceTablesGiveTheGeneralPathsAddressOrZero) {
  // The space's own determinants and their damaged copies, in a mode of
  // each rule of the family (the references with two or one electrons
  // excited, the doubles cut, none but the references, the references
  // ignored), on three references drawn from the seed, for the tables of
  // every symmetry; the multireference addressing takes two holes
  // (particles) in either order.  Eight active orbitals are too many for a
  // table of every occupation: their configurations are numbered as met.
  std::vector<Description> spaces = shapes();
  spaces.push_back(mkcase::describe("", 1, {1}, {8}, {1}, 2));
  for (Description d : spaces)
    for (const char* mode : {"MR  ", "MRDD", "MRM ", "MRC ", "MRT "}) {
      d.gener = mode;
      d.nref = 3;
      SCOPED_TRACE(std::string(mode) + " nsym " + std::to_string(d.nsym) + " nelac " +
                   std::to_string(d.nelac));
      Tables t(d);
      ASSERT_EQ(t.prepad(), -1) << t.out.str();
      const std::string occmrs = (t.dir.path() / "OCCMRS").string();
      mkcase::write_occmrs(occmrs, mkcase::references(d));
      ASSERT_EQ(stop_status([&] { ciprop::reference_configurations(*t.run, occmrs); }), -1);
      const mkcase::OrbitalLayout l = mkcase::layout(d);
      const std::vector<Lists> lists = probe_lists(d);
      int placed = 0, stops = 0;
      for (int s = 1; s <= d.nsym; ++s) {
        const auto tables = ciprop::make_address_tables(*t.run, s);
        for (const Lists& x : lists) {
          const int got = tables->list_address(int(x.h.size()), x.h.data(), x.p.data());
          if (got != 0) ++placed;
          const int general = general_path(t, *tables, x, stops);
          ASSERT_EQ(got, meant_for_direct_path(l, x, false) ? general : 0)
              << ::testing::PrintToString(x.h) << " " << ::testing::PrintToString(x.p);
        }
      }
      EXPECT_GT(placed, 0);
      EXPECT_GT(stops, 0);
    }
}

TEST(ListAddress, TheAddressTheRunIsToStopAtIsLeftToTheGeneralPath) {
  const Description d = mkcase::describe("DDCI", 2, {1, 1}, {2, 1}, {1, 2}, 3, -1, 2);
  Tables t(d);
  ASSERT_EQ(t.prepad(), -1);
  const ciprop::SrAddressTables tables(*t.run);
  const mkcase::OrbitalLayout l = mkcase::layout(d);
  t.run->switches.stop_at_address = 3;
  int zeros = 0;
  for (const auto& det : mkcase::enumerate_space(d, d.is0)) {
    const mkcase::Excitation e = mkcase::excitation(det, l);
    const int got = tables.list_address(int(e.holes.size()), e.holes.data(), e.parts.data());
    int full = 0;
    const int status = stop_status([&] { t.full(e.holes, e.parts, full); });
    if (got == 0) {
      ++zeros;
      EXPECT_NE(status, -1);
    } else {
      EXPECT_EQ(status, -1);
      EXPECT_EQ(got, full);
    }
  }
  EXPECT_EQ(zeros, 1);
}

TEST(ListAddress, TwoThreadsOnOneTableGetTheAnswersOfOne) {
  const Description d = mkcase::describe("DDCI", 4, {1, 1, 0, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, 3, -1, 3);
  Tables t(d);
  ASSERT_EQ(t.prepad(), -1);
  const ciprop::SrAddressTables tables(*t.run);
  const std::vector<Lists> lists = probe_lists(d);
  auto answers = [&](std::vector<int>& out) {
    out.clear();
    for (const Lists& x : lists)
      out.push_back(tables.list_address(int(x.h.size()), x.h.data(), x.p.data()));
  };
  std::vector<int> alone, first, second;
  answers(alone);
  std::thread a(answers, std::ref(first)), b(answers, std::ref(second));
  a.join();
  b.join();
  EXPECT_EQ(first, alone);
  EXPECT_EQ(second, alone);
  EXPECT_GT(std::count_if(alone.begin(), alone.end(), [](int x) { return x != 0; }), 0);
}

}  // namespace
