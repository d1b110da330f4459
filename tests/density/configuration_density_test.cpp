// The configuration-driven density of the multireference spaces, on spaces
// held in memory: every mode, one to eight irreducible representations,
// even and odd electron counts, ms2 0 to -2, given and drawn references, a
// first state of another symmetry than the second.  Each case against the
// generator's brute-force density and against the per-excitation path (its
// elements and its count of connected pairs), with three kets in one pass
// giving each ket the bits of a pass of its own, on one thread and on two.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "density/configuration_density.hpp"
#include "density/first_vector.hpp"
#include "tests/density/in_memory_space.hpp"

namespace {

using namespace in_memory;

struct MrCase {
  const char* gener;
  int nsym;
  std::array<int, 8> ninac, nact, nvirt;
  int nelac, ms2;
  std::vector<std::string> refs;  // empty: nref drawn
  int nref;
  int is1;  // symmetry of the bra; the kets are of symmetry 1
};

void PrintTo(const MrCase& m, std::ostream* os) {
  *os << m.gener << " nsym " << m.nsym << " nelac " << m.nelac << " ms2 " << m.ms2 << " bra "
      << m.is1;
}

double largest(const Matrix& m) {
  double big = 0;
  for (const double v : m) big = std::max(big, std::abs(v));
  return big;
}

struct ConfigurationDriven : ::testing::TestWithParam<MrCase> {};

TEST_P(ConfigurationDriven, TheBruteForceAndThePerExcitationDensities) {
  const MrCase& m = GetParam();
  mkcase::Description d = mkcase::describe(m.gener, m.nsym, m.ninac, m.nact, m.nvirt, m.nelac,
                                           m.ms2);
  d.refs = m.refs;
  d.nref = m.nref;
  d.seed = 7;
  Space s(d);
  // The bra: a root of the space of its own symmetry, gathered as the
  // density stage gathers it.
  const std::vector<mkcase::Determinant> dets1 = mkcase::enumerate_space(d, m.is1);
  const mkcase::Roots roots1 = mkcase::random_roots(dets1.size(), 1, -75.0, 5);
  CiVector bra{roots1.coef[0].data(), int(dets1.size()), m.is1};
  Enumeration list(dets1, s.t.layout, dets1.size());
  const ZeroVector ordered = first_vector_in_address_order(
      *make_address_tables(*s.t.run, m.is1), list, bra);
  bra.in_address_order = ordered.data();
  std::vector<std::vector<double>> psi2;
  std::vector<CiVector> kets;
  for (int r = 0; r < 3; ++r) psi2.push_back(s.in_address_order(r));
  for (const auto& v : psi2) kets.push_back({v.data(), int(v.size()), 1});

  auto pass = [&](const char* threads, std::span<const CiVector> k) {
    setenv("CIPROP_THREADS", threads, 1);
    auto t = configuration_driven_densities(*s.tables, bra, k);
    unsetenv("CIPROP_THREADS");
    return t;
  };
  const auto three = pass("1", kets), on_two = pass("2", kets);
  ASSERT_TRUE(three && on_two) << "the kernel declined the space";
  for (int r = 0; r < 3; ++r) {
    SCOPED_TRACE("ket " + std::to_string(r));
    const TransitionDensity& t = (*three)[size_t(r)];
    const Matrix want = mkcase::one_particle_densities(
        dets1, s.dets, s.t.layout, {{&roots1.coef[0], &s.roots.coef[size_t(r)]}})[0];
    EXPECT_LT(largest_difference(t.ro.v, want), 1e-12);
    Enumeration again(dets1, s.t.layout, dets1.size());
    const TransitionDensity per_excitation =
        transition_density(WithoutShortcut(*s.tables), again, bra, kets[size_t(r)]);
    EXPECT_LE(largest_difference(t.ro.v, per_excitation.ro.v),
              1e-13 * largest(per_excitation.ro.v));
    EXPECT_EQ(t.connected, per_excitation.connected);
    const auto alone = pass("1", std::span(&kets[size_t(r)], 1));
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->front().ro.v, t.ro.v);
    EXPECT_EQ((*on_two)[size_t(r)].ro.v, t.ro.v);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ConfigurationDriven,
    ::testing::Values(
        MrCase{"MR  ", 1, {2}, {4}, {3}, 4, 0, {"2200"}, 0, 1},
        MrCase{"MRS ", 2, {2, 1}, {2, 2}, {2, 2}, 3, -1, {"2100", "2001"}, 0, 1},
        MrCase{"MRD2", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 4, -2, {"2200", "2020"}, 0, 1},
        MrCase{"MRDD", 8, {1, 0, 0, 1}, {1, 1, 0, 0, 1, 0, 0, 1}, {1, 0, 1, 0, 0, 1, 1, 0}, 3, -1,
               {}, 3, 1},
        MrCase{"MRDD", 2, {2, 1}, {2, 2}, {3, 2}, 4, 0, {"2200", "2210"}, 0, 2},
        MrCase{"MRDD", 4, {1, 1, 0, 0}, {2, 2, 1, 1}, {1, 1, 1, 0}, 6, 0, {}, 4, 1},
        MrCase{"MRT2", 2, {2, 1}, {2, 2}, {2, 2}, 4, 0, {"2200"}, 0, 1},
        MrCase{"MRTD", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 3, -1, {"2100"}, 0, 4},
        MrCase{"MRT ", 1, {2}, {4}, {3}, 4, -2, {"1111"}, 0, 1},
        MrCase{"MRM ", 2, {2, 1}, {2, 2}, {2, 2}, 4, 0, {"2200", "2111"}, 0, 1},
        MrCase{"MRTM", 8, {1, 0, 0, 1}, {1, 1, 0, 0, 1, 0, 0, 1}, {1, 0, 1, 0, 0, 1, 1, 0}, 4, 0,
               {"2200"}, 0, 1},
        MrCase{"MRC ", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 4, 0,
               {"2200", "2020", "0220", "1111"}, 0, 1},
        MrCase{"MR  ", 1, {1}, {6}, {2}, 5, -1, {"211100", "111110"}, 0, 1}));

// Active orbitals numbered among the others: the open shells of a pattern
// then lie in another order than their orbitals, and the coefficients are
// taken to the kernel's order and its phases there; the per-excitation path
// gives the density.
TEST(ConfigurationDensity, ActiveOrbitalsAmongTheInactiveAndVirtualOnes) {
  for (const char* gener : {"MRDD", "MR  ", "MRT "}) {
    SCOPED_TRACE(gener);
    mkcase::Description d = mkcase::describe(gener, 2, {2, 1}, {2, 1}, {2, 1}, 3, -1);
    d.refs = {"210", "111"};
    Renumbered s(d);
    const CiVector ket{s.ordered[1].data(), int(s.dets.size()), 1};
    for (const int r1 : {0, 1}) {
      const auto t = configuration_driven_densities(*s.tables, s.bra(r1), std::span(&ket, 1));
      ASSERT_TRUE(t) << "the kernel declined the space";
      const Matrix per_excitation = s.per_excitation(r1);
      EXPECT_LE(largest_difference(t->front().ro.v, per_excitation),
                1e-13 * largest(per_excitation));
      EXPECT_GT(largest(per_excitation), 1e-3);
    }
  }
}

}  // namespace
