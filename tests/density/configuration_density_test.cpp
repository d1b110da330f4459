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
  mkcase::Description d;  // its references given or drawn
  int is1;                // symmetry of the bra; the kets are of symmetry 1
};

void PrintTo(const MrCase& m, std::ostream* os) {
  *os << m.d.gener << " nsym " << m.d.nsym << " nelac " << m.d.nelac << " ms2 " << m.d.ms2
      << " bra " << m.is1;
}

MrCase mr(const char* gener, int nsym, std::array<int, 8> ninac, std::array<int, 8> nact,
          std::array<int, 8> nvirt, int nelac, int ms2, std::vector<std::string> refs, int nref,
          int is1) {
  MrCase m{mkcase::describe(gener, nsym, ninac, nact, nvirt, nelac, ms2), is1};
  m.d.refs = std::move(refs);
  m.d.nref = nref;
  m.d.seed = 7;
  return m;
}

struct ConfigurationDriven : ::testing::TestWithParam<MrCase> {};

TEST_P(ConfigurationDriven, TheBruteForceAndThePerExcitationDensities) {
  const MrCase& m = GetParam();
  const mkcase::Description& d = m.d;
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
        mr("MR  ", 1, {2}, {4}, {3}, 4, 0, {"2200"}, 0, 1),
        mr("MRS ", 2, {2, 1}, {2, 2}, {2, 2}, 3, -1, {"2100", "2001"}, 0, 1),
        mr("MRD2", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 4, -2, {"2200", "2020"}, 0, 1),
        mr("MRDD", 8, {1, 0, 0, 1}, {1, 1, 0, 0, 1, 0, 0, 1}, {1, 0, 1, 0, 0, 1, 1, 0}, 3, -1,
               {}, 3, 1),
        mr("MRDD", 2, {2, 1}, {2, 2}, {3, 2}, 4, 0, {"2200", "2210"}, 0, 2),
        mr("MRDD", 4, {1, 1, 0, 0}, {2, 2, 1, 1}, {1, 1, 1, 0}, 6, 0, {}, 4, 1),
        mr("MRT2", 2, {2, 1}, {2, 2}, {2, 2}, 4, 0, {"2200"}, 0, 1),
        mr("MRTD", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 3, -1, {"2100"}, 0, 4),
        mr("MRT ", 1, {2}, {4}, {3}, 4, -2, {"1111"}, 0, 1),
        mr("MRM ", 2, {2, 1}, {2, 2}, {2, 2}, 4, 0, {"2200", "2111"}, 0, 1),
        mr("MRTM", 8, {1, 0, 0, 1}, {1, 1, 0, 0, 1, 0, 0, 1}, {1, 0, 1, 0, 0, 1, 1, 0}, 4, 0,
               {"2200"}, 0, 1),
        mr("MRC ", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 4, 0,
               {"2200", "2020", "0220", "1111"}, 0, 1),
        mr("MR  ", 1, {1}, {6}, {2}, 5, -1, {"211100", "111110"}, 0, 1)));

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
    for (const int r1 : {0, 1})
      EXPECT_GT(largest(s.through(configuration_driven_densities, r1)), 1e-3);
  }
}

}  // namespace
