// Multireference runs end to end on generated cases: every MR mode, one to
// eight irreducible representations, even and odd electron counts, ms2 0, -1
// and -2, one to many references at various distances, frozen and deleted
// orbitals, vectors of equal and different symmetry.  The shuffled lists
// must pass the list check, the space must have the generator's size, and
// the density and moments must be the generator's brute-force ones.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/density/generated_run.hpp"

namespace {

using namespace generated;

// The reference file: the count, then one line of active occupations each.
std::string occmrs(const std::vector<std::string>& refs) {
  std::string s = "  " + std::to_string(refs.size()) + "\n";
  for (const auto& r : refs) s += r + "\n";
  return s;
}

struct MrRun : DensityRun {
  // The generator's count of the second space: the addresses of the list
  // check are a permutation of 1..T for exactly this T.
  void expect_size() {
    EXPECT_EQ(run->dets.mr.ntotal, static_cast<long long>(c.b->dets.size()));
  }
  // The run description of the case under another generation mode.
  void set_mode(const std::string& from, const std::string& to) {
    std::ifstream f("vrt");
    std::string vrt((std::istreambuf_iterator<char>(f)), {});
    f.close();
    const size_t k = vrt.find("'" + from + "'");
    ASSERT_NE(k, std::string::npos) << vrt;
    vrt.replace(k + 1, 4, to);
    std::ofstream("vrt") << vrt;
  }
  bool said(const std::string& text) const {
    return out.str().find(text) != std::string::npos || err.str().find(text) != std::string::npos;
  }
};

struct MrMode {
  const char* gener;
  Layout layout;
  int nelac, ms2;
  std::vector<std::string> refs;  // empty: nref drawn from the seed
  int nref;
};

void PrintTo(const MrMode& m, std::ostream* os) {
  *os << m.gener << " nsym " << m.layout.nsym << " nelac " << m.nelac << " ms2 " << m.ms2
      << " references";
  for (const auto& r : m.refs) *os << " " << r;
  if (m.refs.empty()) *os << " " << m.nref << " drawn";
}

struct EveryMrMode : MrRun, ::testing::WithParamInterface<MrMode> {};

TEST_P(EveryMrMode, TransitionDensityAndMomentsAreTheBruteForceOnes) {
  const MrMode& m = GetParam();
  mkcase::Description d = describe(m.layout, m.nelac, m.ms2, m.gener);
  d.refs = m.refs;
  d.nref = m.nref;
  d.seed = 11;
  make(d);
  ASSERT_EQ(execute(), 0) << out.str() << err.str();
  expect_size();
  expect_density(false);
  expect_moments();
}

// The four active orbitals of every layout in CAS order; the reference pairs
// lie at distances 1 (an electron more), 2, 3, 4 and 6 of each other.
INSTANTIATE_TEST_SUITE_P(
    Modes, EveryMrMode,
    ::testing::Values(MrMode{"MR  ", kOneSym, 4, 0, {"2200"}, 0},
                      MrMode{"MRS ", kTwoSym, 3, -1, {"2100", "2001"}, 0},
                      MrMode{"MRD2", kFourSym, 4, -2, {"2200", "2020"}, 0},
                      MrMode{"MRDD", kEightSym, 3, -1, {}, 3},
                      MrMode{"MRDD", kTwoSym, 4, 0, {"2200", "2210"}, 0},
                      MrMode{"MRDD", kOneSym, 3, -1, {"2100", "0012"}, 0},
                      MrMode{"MRT2", kTwoSym, 4, 0, {"2200"}, 0},
                      MrMode{"MRTD", kFourSym, 3, -1, {"2100"}, 0},
                      MrMode{"MRT ", kOneSym, 4, -2, {"1111"}, 0},
                      MrMode{"MRM ", kTwoSym, 4, 0, {"2200", "2111"}, 0},
                      MrMode{"MRTM", kEightSym, 4, 0, {"2200"}, 0},
                      MrMode{"MRC ", kFourSym, 4, 0, {"2200", "2020", "0220", "1111"}, 0},
                      MrMode{"MR  ", kEightSym, 4, -2, {}, 6}));

TEST_F(MrRun, VectorsOfDifferentSymmetry) {
  mkcase::Description d = describe(kFourSym, 4, 0, "MRDD");
  d.refs = {"2200", "1201"};
  d.is0 = 2;
  d.is0a = 1;
  make(d);
  ASSERT_EQ(execute(), 0) << out.str() << err.str();
  expect_size();
  expect_density(false);
  expect_moments();
}

TEST_F(MrRun, StateDensityWithFrozenAndDeletedOrbitals) {
  mkcase::Description d = describe(kTwoSym, 4, 0, "MR  ");
  d.refs = {"2200", "0202"};
  d.ngel = {1, 1};
  d.ndel = {0, 2};
  d.root1 = d.root2 = 2;
  make(d, 1);
  ASSERT_EQ(execute(), 0) << out.str() << err.str();
  expect_density(true);
  double trace = 0;
  for (int i = 1; i <= run->orbi.nbtot; ++i) trace += run->dens.mat(i, i);
  EXPECT_NEAR(trace, 2 * 3 + 4 + 2 * 2, 1e-12);  // inactive, active, frozen
  expect_moments();
}

// "MRT ", "MRTD", "MRT2" and "MRTM" hold, whatever the references, the
// determinants of "TOUS", "DDCI", "DDC2" and "MONO": the single-reference
// case read under the MR mode addresses them otherwise, and must give the
// same density for the same vectors.
struct SameSpace : MrRun, ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(SameSpace, TheSingleReferenceCaseGivesTheSameDensity) {
  const auto [sr, mr] = GetParam();
  mkcase::Description d = describe(kTwoSym, 4, 0, sr);
  d.seed = 5;
  make(d);
  set_mode(sr, mr);
  std::ofstream("OCCMRS") << occmrs({"0022", "1111", "2110"});
  ASSERT_EQ(execute(), 0) << out.str() << err.str();
  expect_size();
  expect_density(false);
  expect_moments();
}

INSTANTIATE_TEST_SUITE_P(Pairs, SameSpace,
                         ::testing::Values(std::pair{"TOUS", "MRT "}, std::pair{"DDCI", "MRTD"},
                                           std::pair{"DDC2", "MRT2"}, std::pair{"MONO", "MRTM"}));

// Damaged references and a list from another space: each run stops with a
// message and a non-zero status before any density.
struct MrRefused : MrRun {
  void SetUp() override {
    mkcase::Description d = describe(kTwoSym, 4, 0, "MRDD");
    d.refs = {"2200", "2020"};
    make(d);
  }
  void expect_refused(int status, const std::string& text) {
    EXPECT_EQ(execute(), status) << out.str() << err.str();
    EXPECT_TRUE(said(text)) << out.str() << err.str();
    EXPECT_EQ(out.str().find("La matriz de densidad"), std::string::npos);
  }
};

TEST_F(MrRefused, DamagedReferenceFiles) {
  std::ofstream("OCCMRS") << "  3\n2200\n2020\n";
  expect_refused(fio::kStatusIoError, "OCCMRS");
  out.str("");
  err.str("");
  run = std::make_unique<ciprop::Run>(out, in, err);
  std::ofstream("OCCMRS") << occmrs({"2200", "2030"});
  expect_refused(fio::kStatusIoError, "OCCMRS");
}

TEST_F(MrRefused, AThousandAndOneReferences) {
  std::ofstream("OCCMRS") << occmrs(std::vector<std::string>(1001, "2200"));
  expect_refused(fio::kStatusError, "ciprop: OCCMRS, record 1: the number of references is 1001");
}

// The second list of the single-reference space around the same reference
// holds determinants that "MRDD" on these references leaves out.
TEST_F(MrRefused, AListWithADeterminantOutsideTheSpace) {
  mkcase::Description d = describe(kTwoSym, 4, 0, "TOUS");
  const std::filesystem::path other = dir.path() / "tous";
  mkcase::make_case(d, other.string());
  std::filesystem::copy_file(other / "detb", "detb", std::filesystem::copy_options::overwrite_existing);
  expect_refused(fio::kStatusError, "determinant hors de l'espace de la generation");
  EXPECT_TRUE(said("the 2 references of \"OCCMRS\": the list and these references come"));
}

}  // namespace
