// The density kernel on spaces and vectors held in memory: the address
// tables that the real stages build from a generated run description, the
// generator's enumeration of the space as the first determinant list and its
// random orthonormal roots.  Each mode is checked against the generator's
// brute-force density and against the identities a one-particle density
// satisfies: bra and ket swapped give the transpose, a root with itself the
// state density with the electron count as its trace, two orthogonal roots a
// traceless matrix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <optional>
#include <memory>
#include <vector>

#include "density/first_vector.hpp"
#include "density/string_density.hpp"
#include "detspace/reference_configurations.hpp"
#include "density/transition_density.hpp"
#include "detspace/address_tables.hpp"
#include "fortio/stop.hpp"
#include "tests/density/in_memory_space.hpp"
#include "tests/detspace/tables_case.hpp"
#include "tools/mkcase/density.hpp"
#include "tools/mkcase/space.hpp"
#include "tools/mkcase/vectors.hpp"

namespace {

using namespace ciprop;

using namespace in_memory;

struct KernelMode {
  const char* gener;
  int nsym;
  std::array<int, 8> ninac, nact, nvirt;
  int nelac, ms2;
};

void PrintTo(const KernelMode& m, std::ostream* os) {
  *os << m.gener << " nsym " << m.nsym << " nelac " << m.nelac << " ms2 " << m.ms2;
}

struct KernelInEveryMode : ::testing::TestWithParam<KernelMode> {
  mkcase::Description description() const {
    const KernelMode& m = GetParam();
    return mkcase::describe(m.gener, m.nsym, m.ninac, m.nact, m.nvirt, m.nelac, m.ms2);
  }
};

TEST_P(KernelInEveryMode, DensitiesAreTheBruteForceOnesAndKeepTheIdentities) {
  Space s(description());
  ASSERT_EQ(static_cast<size_t>(s.tables->size()), s.dets.size());
  const int electrons = 2 * s.t.layout.ninac + s.d.nelac;

  const Matrix ro01 = s.density(0, 1);
  EXPECT_LT(largest_difference(ro01, s.brute_force(0, 1)), 1e-12);
  EXPECT_LT(largest_difference(s.density(1, 0), transposed(ro01, s.norb)), 1e-13);
  EXPECT_NEAR(s.trace(ro01), 0.0, 1e-12);

  for (int r = 0; r < 3; ++r) {
    const Matrix state = s.density(r, r);
    EXPECT_LT(largest_difference(state, s.brute_force(r, r)), 1e-12) << "root " << r;
    EXPECT_LT(largest_difference(state, transposed(state, s.norb)), 1e-13) << "root " << r;
    EXPECT_NEAR(s.trace(state), electrons, 1e-12) << "root " << r;
  }

  // The general path gives what the shortcut gives.
  EXPECT_LT(largest_difference(s.density(2, 0, WithoutShortcut(*s.tables)), s.density(2, 0)),
            1e-13);

  // Several kets in one pass: each density that of its ket alone, to the
  // bit, on either path.
  const WithoutShortcut general(*s.tables);
  for (const AddressTables* through : {static_cast<const AddressTables*>(s.tables.get()),
                                       static_cast<const AddressTables*>(&general)}) {
    const std::vector<Matrix> all = s.densities(1, *through);
    ASSERT_EQ(all.size(), 3u);
    for (int r = 0; r < 3; ++r) {
      EXPECT_EQ(all[size_t(r)], s.density(1, r, *through)) << "ket " << r;
      EXPECT_LT(largest_difference(all[size_t(r)], s.brute_force(1, r)), 1e-12) << "ket " << r;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, KernelInEveryMode,
    ::testing::Values(KernelMode{"CAS ", 1, {2}, {4}, {3}, 4, 0},
                      KernelMode{"CAS ", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 3, -1},
                      KernelMode{"DDCI", 2, {2, 1}, {2, 2}, {2, 2}, 4, 0},
                      KernelMode{"DDci", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 4, -2},
                      KernelMode{"DDC2", 8, {1, 0, 0, 1}, {1, 1, 0, 0, 1, 0, 0, 1},
                           {1, 0, 1, 0, 0, 1, 1, 0}, 4, 0},
                      KernelMode{"TOUS", 2, {2, 1}, {2, 2}, {2, 2}, 3, -1},
                      KernelMode{"PERT", 1, {2}, {4}, {3}, 4, -2},
                      KernelMode{"MONO", 2, {2, 1}, {2, 2}, {2, 2}, 4, 0}));

// Two states of different symmetry: only orbital pairs whose product carries
// the symmetry of the transition couple, so the diagonal stays empty.
TEST(TransitionDensity, StatesOfDifferentSymmetry) {
  mkcase::Description d =
      mkcase::describe("DDCI", 4, {1, 1, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 2}, 4, 0, 2);
  Space s(d);
  const std::vector<mkcase::Determinant> dets1 = mkcase::enumerate_space(d, 1);
  const mkcase::Roots roots1 = mkcase::random_roots(dets1.size(), 1, -75.0, 3);
  Enumeration list(dets1, s.t.layout, dets1.size());
  const std::vector<double> psi2 = s.in_address_order(0);
  const TransitionDensity td =
      transition_density(*s.tables, list, {roots1.coef[0].data(), int(dets1.size()), 1},
                         {psi2.data(), int(psi2.size()), 2});
  const Matrix want = mkcase::one_particle_densities(dets1, s.dets, s.t.layout,
                                                     {{&roots1.coef[0], &s.roots.coef[0]}})[0];
  EXPECT_LT(largest_difference(td.ro.v, want), 1e-12);
  for (int i = 1; i <= s.norb; ++i) EXPECT_EQ(td.ro(i, i), 0.0);
  for (int j = 1; j <= s.norb; ++j)
    for (int i = 1; i <= s.norb; ++i)
      if (s.t.layout.isym[size_t(i - 1)] == s.t.layout.isym[size_t(j - 1)])
        EXPECT_EQ(td.ro(i, j), 0.0) << i << "," << j;
}

// A complete active space is served by the string-driven density once the
// first vector is gathered into the address order of its own space: the
// brute-force density in and across symmetries, the same bits with one
// thread and with three.
TEST(StringDrivenDensity, CasSpacesInAndAcrossSymmetries) {
  const mkcase::Description d =
      mkcase::describe("CAS ", 4, {1, 1, 0, 1}, {2, 2, 1, 1}, {1, 0, 1, 1}, 5, -1, 3);
  Space s(d);
  for (int is1 : {3, 1, 4}) {
    const std::vector<mkcase::Determinant> dets1 = mkcase::enumerate_space(d, is1);
    const mkcase::Roots roots1 = mkcase::random_roots(dets1.size(), 1, -75.0, 5);
    const CiVector listed{roots1.coef[0].data(), int(dets1.size()), is1};
    Enumeration gathered(dets1, s.t.layout, dets1.size());
    const ZeroVector ordered1 =
        first_vector_in_address_order(*make_address_tables(*s.t.run, is1), gathered, listed);
    const std::vector<double> psi2 = s.in_address_order(1);
    auto run = [&](const char* threads) {
      setenv("CIPROP_THREADS", threads, 1);
      CiVector psi1 = listed;
      psi1.in_address_order = ordered1.data();
      const CiVector ket{psi2.data(), int(psi2.size()), 3};
      std::optional<std::vector<TransitionDensity>> td =
          string_driven_densities(*s.tables, psi1, {&ket, 1});
      unsetenv("CIPROP_THREADS");
      return td;
    };
    const std::optional<std::vector<TransitionDensity>> one = run("1"), three = run("3");
    ASSERT_TRUE(one && three) << "symmetry " << is1;
    const Matrix want = mkcase::one_particle_densities(dets1, s.dets, s.t.layout,
                                                       {{&roots1.coef[0], &s.roots.coef[1]}})[0];
    EXPECT_LT(largest_difference(one->front().ro.v, want), 1e-12) << "symmetry " << is1;
    EXPECT_EQ(one->front().ro.v, three->front().ro.v) << "symmetry " << is1;
  }

  // Another mode's tables, or a first vector not gathered, keep the
  // per-excitation path.
  Space ddci(mkcase::describe("DDCI", 1, {2}, {4}, {3}, 4));
  const std::vector<double> psi = ddci.in_address_order(0);
  const CiVector ddci_ket{psi.data(), int(psi.size()), 1};
  EXPECT_FALSE(string_driven_densities(*ddci.tables, {psi.data(), int(psi.size()), 1, psi.data()},
                                       {&ddci_ket, 1}));
  const std::vector<double> cas = s.in_address_order(0);
  const CiVector cas_ket{cas.data(), int(cas.size()), 3};
  EXPECT_FALSE(string_driven_densities(*s.tables, cas_ket, {&cas_ket, 1}));
}

// The first list checked against the space of its own vector, in a
// single-reference space of another symmetry than the run's and in a
// multireference one: a determinant met twice, one of the run's space but not
// of the first vector's, one with three holes, a list too short or too long
// and a vector longer than its space all stop the run naming the list and the
// determinant.
TEST(FirstVector, AListThatIsNotItsSpaceStopsTheRun) {
  for (const char* mode : {"DDCI", "MRDD"}) {
    SCOPED_TRACE(mode);
    mkcase::Description d = mkcase::describe(mode, 2, {2, 1}, {2, 1}, {1, 2}, 4, 0, 2);
    const bool mr = std::string(mode) == "MRDD";
    if (mr) d.refs = {"220", "202"};
    tables::Tables t(d);
    ASSERT_EQ(t.prepad(), -1) << t.out.str();
    if (mr) {
      t.dir.write("OCCMRS", "2\n220\n202\n");
      ASSERT_EQ(tables::stop_status([&] {
                  reference_configurations(*t.run, (t.dir.path() / "OCCMRS").string());
                }),
                -1) << t.out.str();
    }
    const std::unique_ptr<AddressTables> space1 = make_address_tables(*t.run, 1);
    const std::vector<mkcase::Determinant> dets1 = mkcase::enumerate_space(d, 1);
    ASSERT_EQ(space1->size(), static_cast<int>(dets1.size()));
    const std::vector<double> coef = mkcase::random_roots(dets1.size(), 1, -75.0, 7).coef[0];
    auto gather = [&](const std::vector<mkcase::Determinant>& list1, int n) {
      Enumeration list(list1, t.layout, list1.size());
      return first_vector_in_address_order(*space1, list, {coef.data(), n, 1});
    };
    // The intact list: every coefficient at the address of its determinant.
    const ZeroVector ordered = gather(dets1, int(dets1.size()));
    for (size_t k = 0; k < dets1.size(); ++k)
      ASSERT_EQ(ordered[size_t(space1->address(t.split(dets1[k])) - 1)], coef[k]);

    // Determinant k of the intact list with its lists edited.
    auto edited = [&](int k, std::function<void(int&, int*, int*)> edit) {
      Enumeration inner(dets1, t.layout, dets1.size());
      Edited list(inner, k, std::move(edit));
      first_vector_in_address_order(*space1, list, {coef.data(), int(dets1.size()), 1});
    };
    const int norb = t.layout.norb, nocc = d.nocc();
    std::vector<mkcase::Determinant> twice = dets1, other = dets1, shorter = dets1, longer = dets1;
    twice[5] = twice[2];
    other[4] = mkcase::enumerate_space(d, 2)[3];
    shorter.pop_back();
    longer.push_back(dets1[0]);
    const int n = int(dets1.size());
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { gather(twice, n); }, "determinant list enumeration: determinant 6: appears twice"},
        {[&] { gather(other, n); }, "determinant 5: lies outside the space of its vector (symmetry 1)"},
        {[&] { edited(7, [&](int& ne, int* p, int* q) {
             ne = 3;
             p[0] = 1, p[1] = 2, p[2] = norb + 1;
             q[0] = nocc + 1, q[1] = nocc + 2, q[2] = norb + nocc + 1;
           }); },
         "determinant 7: has more than two holes or particles"},
        {[&] { edited(2, [&](int& ne, int* p, int* q) {
             ne = 1, p[0] = nocc + 1, q[0] = nocc + 2;
           }); },
         "determinant 2: hole " + std::to_string(nocc + 1) + " is not occupied in the reference"},
        {[&] { edited(3, [&](int& ne, int* p, int* q) { ne = 1, p[0] = norb + 1, q[0] = 2; }); },
         "determinant 3: particle 2 is occupied in the reference"},
        {[&] { gather(shorter, n); }, "it ends after " + std::to_string(n - 1) + " determinants"},
        {[&] { gather(longer, n); }, "it holds more determinants than its vector"},
        {[&] { gather(longer, n + 1); }, "its vector has " + std::to_string(n + 1) + " coefficients"}};
    for (const auto& [f, message] : cases) {
      t.out.str("");
      EXPECT_EQ(tables::stop_status(f), fio::kStatusError) << message;
      EXPECT_NE(t.out.str().find(message), std::string::npos) << t.out.str();
    }
  }
}

// A first list that ends before its vector does stops the run instead of
// leaving coefficients without a determinant.
TEST(TransitionDensity, AListShorterThanItsVectorStopsTheRun) {
  Space s(mkcase::describe("DDCI", 1, {2}, {4}, {3}, 4));
  Enumeration list(s.dets, s.t.layout, s.dets.size() - 1);
  const std::vector<double> psi2 = s.in_address_order(1);
  const std::vector<double>& psi1 = s.roots.coef[0];
  try {
    transition_density(*s.tables, list, {psi1.data(), int(psi1.size()), 1},
                       {psi2.data(), int(psi2.size()), 1});
    ADD_FAILURE() << "the run went on";
  } catch (const fio::StopRun& stop) {
    EXPECT_EQ(stop.status, fio::kStatusError);
  }
  EXPECT_NE(s.t.out.str().find("determinant list enumeration ended early"), std::string::npos)
      << s.t.out.str();
}

}  // namespace
