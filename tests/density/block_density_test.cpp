// The block-driven density of the spaces with holes and particles, on spaces
// held in memory: every such mode, odd electron counts, ms2 down to -3, one
// to eight irreducible representations, states of any symmetry and a first
// state of another symmetry than the second, against the generator's
// brute-force density and against the per-excitation path; active orbitals
// numbered among the others; several kets in one pass; the same bits on any
// number of threads; the tables it leaves to the other paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "density/block_density.hpp"
#include "density/first_vector.hpp"
#include "driver/driver.hpp"
#include "fortio/stop.hpp"
#include "input/open_files.hpp"
#include "tests/density/in_memory_space.hpp"

namespace {

using namespace in_memory;

// Root r1 against the roots r2 of the same space, through the block kernel,
// the first vector gathered as the density stage gathers it.
std::optional<std::vector<TransitionDensity>> block(Space& s, int r1, const std::vector<int>& r2) {
  std::vector<std::vector<double>> psi2;
  std::vector<CiVector> kets;
  for (const int r : r2) psi2.push_back(s.in_address_order(r));
  for (const auto& v : psi2) kets.push_back({v.data(), int(v.size()), s.d.is0});
  const std::vector<double>& listed = s.roots.coef[size_t(r1)];
  const std::vector<double> ordered = s.in_address_order(r1);
  return block_driven_densities(*s.tables,
                                {listed.data(), int(listed.size()), s.d.is0, ordered.data()}, kets);
}

struct BlockMode {
  const char* gener;
  int nsym;
  std::array<int, 8> ninac, nact, nvirt;
  int nelac, ms2, is0;
};

void PrintTo(const BlockMode& m, std::ostream* os) {
  *os << m.gener << " nsym " << m.nsym << " nelac " << m.nelac << " ms2 " << m.ms2 << " is0 "
      << m.is0;
}

struct EveryBlockMode : ::testing::TestWithParam<BlockMode> {};

TEST_P(EveryBlockMode, TheBruteForceDensityAndThePerExcitationOne) {
  const BlockMode& m = GetParam();
  Space s(mkcase::describe(m.gener, m.nsym, m.ninac, m.nact, m.nvirt, m.nelac, m.ms2, m.is0));
  for (const auto& [r1, r2] : {std::pair{0, 1}, std::pair{2, 0}, std::pair{1, 1}}) {
    const auto t = block(s, r1, {r2});
    ASSERT_TRUE(t) << "the block kernel declined the space";
    const Matrix& ro = t->front().ro.v;
    EXPECT_LT(largest_difference(ro, s.brute_force(r1, r2)), 1e-12) << r1 << " " << r2;
    const Matrix per_excitation = s.density(r1, r2, WithoutShortcut(*s.tables));
    EXPECT_LE(largest_difference(ro, per_excitation), 1e-13 * largest(per_excitation))
        << r1 << " " << r2;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, EveryBlockMode,
    ::testing::Values(
        BlockMode{"PERT", 1, {2}, {4}, {3}, 4, 0, 1},
        BlockMode{"PERT", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 3, -1, 1},
        BlockMode{"DDCI", 2, {2, 1}, {2, 2}, {2, 2}, 3, -1, 1},
        BlockMode{"DDCI", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 4, 0, 3},
        BlockMode{"DDci", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 5, -1, 2},
        BlockMode{"DDC2", 8, {1, 0, 0, 1}, {1, 1, 0, 0, 1, 0, 0, 1}, {1, 0, 1, 0, 0, 1, 1, 0}, 4,
                  -2, 1},
        BlockMode{"TOUS", 2, {2, 1}, {2, 2}, {2, 2}, 4, -2, 1},
        BlockMode{"TOUS", 1, {2}, {3}, {3}, 3, -3, 1},
        BlockMode{"MONO", 2, {2, 1}, {2, 2}, {2, 2}, 4, 0, 2},
        BlockMode{"MONO", 1, {3}, {4}, {4}, 5, -1, 1},
        // a full active space, a single active electron, an empty one
        BlockMode{"DDCI", 1, {2}, {2}, {3}, 4, 0, 1},
        BlockMode{"TOUS", 2, {1, 1}, {2, 1}, {2, 1}, 1, -1, 2},
        BlockMode{"MONO", 1, {2}, {3}, {3}, 0, 0, 1}));

// One pass over the bra with several kets gives, for each ket, the bits of
// the pass with that ket alone; the work is cut into the same pieces summed
// in the same order with one, two or three threads.
TEST(BlockDensity, SeveralKetsAndAnyNumberOfThreadsGiveTheSameBits) {
  Space s(mkcase::describe("DDCI", 2, {2, 1}, {2, 2}, {9, 8}, 4, -2));
  ASSERT_GT(s.dets.size(), 30000u);
  auto with = [&](const char* threads, const std::vector<int>& kets) {
    setenv("CIPROP_THREADS", threads, 1);
    auto t = block(s, 0, kets);
    unsetenv("CIPROP_THREADS");
    EXPECT_TRUE(t);
    return t ? std::move(*t) : std::vector<TransitionDensity>{};
  };
  const std::vector<TransitionDensity> three_kets = with("1", {1, 0, 2});
  ASSERT_EQ(three_kets.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    const int r = std::vector<int>{1, 0, 2}[size_t(k)];
    const std::vector<TransitionDensity> one = with("1", {r});
    EXPECT_EQ(three_kets[size_t(k)].ro.v, one.front().ro.v) << "ket " << r;
    EXPECT_EQ(three_kets[size_t(k)].connected, one.front().connected);
  }
  EXPECT_LT(largest_difference(three_kets[0].ro.v, s.brute_force(0, 1)), 1e-12);
  for (const char* n : {"2", "3"}) {
    const std::vector<TransitionDensity> more = with(n, {1, 0, 2});
    ASSERT_EQ(more.size(), 3u);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(more[size_t(k)].ro.v, three_kets[size_t(k)].ro.v) << n << " threads, ket " << k;
  }
}

// Active orbitals numbered among the others, as an orbital file may order
// them: an inactive orbital between two active ones, inactive and virtual
// orbitals between active ones, an active orbital between two virtual ones.
// The signs then depend on the holes and particles of a determinant inside
// an active replacement, and on the active strings inside a hole or particle
// move; the kernel must give what the per-excitation path gives.
TEST(BlockDensity, ActiveOrbitalsAmongTheInactiveAndVirtualOnes) {
  for (const char* gener : {"TOUS", "DDCI"}) {
    SCOPED_TRACE(gener);
    Renumbered s(mkcase::describe(gener, 2, {2, 1}, {2, 1}, {2, 1}, 3, -1));
    // Roots 1 and 2, then root 2 with itself: the state density, whose
    // trace counts the electrons.
    for (const int r1 : {0, 1}) {
      const Matrix ro = s.through(block_driven_densities, r1);
      ASSERT_EQ(ro.size(), 81u);
      double trace = 0;
      for (int i = 0; i < 9; ++i) trace += ro[size_t(i) * 10];
      EXPECT_NEAR(trace, r1 == 1 ? 9.0 : 0.0, 1e-12);
    }
  }
}

// A first state of another symmetry than the second: its vector gathered
// into the space of its own symmetry, only orbital pairs that carry the
// symmetry of the transition couple; the brute-force density, and the same
// bits on one thread and on three.
TEST(BlockDensity, StatesOfDifferentSymmetry) {
  const mkcase::Description d =
      mkcase::describe("DDCI", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 3, -1, 2);
  Space s(d);
  const std::vector<double> psi2 = s.in_address_order(0);
  const CiVector ket{psi2.data(), int(psi2.size()), 2};
  for (const int is1 : {1, 3, 4}) {
    const std::vector<mkcase::Determinant> dets1 = mkcase::enumerate_space(d, is1);
    const mkcase::Roots roots1 = mkcase::random_roots(dets1.size(), 1, -75.0, 5);
    CiVector bra{roots1.coef[0].data(), int(dets1.size()), is1};
    Enumeration list(dets1, s.t.layout, dets1.size());
    const ZeroVector ordered =
        first_vector_in_address_order(*make_address_tables(*s.t.run, is1), list, bra);
    bra.in_address_order = ordered.data();
    auto with = [&](const char* threads) {
      setenv("CIPROP_THREADS", threads, 1);
      auto t = block_driven_densities(*s.tables, bra, std::span(&ket, 1));
      unsetenv("CIPROP_THREADS");
      return t;
    };
    const auto one = with("1"), three = with("3");
    ASSERT_TRUE(one && three) << "symmetry " << is1;
    const Matrix want = mkcase::one_particle_densities(dets1, s.dets, s.t.layout,
                                                       {{&roots1.coef[0], &s.roots.coef[0]}})[0];
    EXPECT_LT(largest_difference(one->front().ro.v, want), 1e-12) << "symmetry " << is1;
    EXPECT_EQ(one->front().ro.v, three->front().ro.v) << "symmetry " << is1;
    EXPECT_GT(largest(want), 1e-3);
  }
}

// Complete active spaces, multireference tables' stand-ins (no shortcut,
// not the single-reference tables), a first vector not gathered, kets of
// another space, a run that stops on one address: the other paths take them.
TEST(BlockDensity, TablesItDoesNotServe) {
  Space cas(mkcase::describe("CAS ", 1, {2}, {4}, {3}, 4));
  Space ddci(mkcase::describe("DDCI", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 4));
  const std::vector<double> psi_cas = cas.in_address_order(0), psi_ddci = ddci.in_address_order(0);
  auto served = [](const AddressTables& t, const std::vector<double>& psi, bool gathered,
                   int sym2) {
    const CiVector ket{psi.data(), int(psi.size()), sym2};
    const CiVector bra{psi.data(), int(psi.size()), 1, gathered ? psi.data() : nullptr};
    return block_driven_densities(t, bra, std::span(&ket, 1)).has_value();
  };
  EXPECT_FALSE(served(*cas.tables, psi_cas, true, 1));
  EXPECT_FALSE(served(WithoutShortcut(*ddci.tables), psi_ddci, true, 1));
  EXPECT_FALSE(served(*ddci.tables, psi_ddci, false, 1));
  EXPECT_FALSE(served(*ddci.tables, psi_ddci, true, 2));
  ddci.t.run->switches.stop_at_address = 5;
  EXPECT_FALSE(served(*ddci.tables, psi_ddci, true, 1));
  ddci.t.run->switches.stop_at_address = 0;
  EXPECT_TRUE(served(*ddci.tables, psi_ddci, true, 1));
}

}  // namespace
