// The density of generated cases against the generator's brute-force density:
// every single-reference mode, both determinant layouts, shuffled lists, one
// to eight irreducible representations, vectors of equal and of different
// symmetry, same and different roots, ms2 0, -1 and -2, frozen and deleted
// orbitals.  The run goes through the real stages in a scratch folder.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/density/generated_run.hpp"

namespace {

using namespace ciprop;
using namespace generated;

struct Mode {
  const char* gener;
  Layout layout;
  int nelac, ms2;
  bool packed;
};

void PrintTo(const Mode& m, std::ostream* os) {
  *os << m.gener << " nsym " << m.layout.nsym << " nelac " << m.nelac << " ms2 " << m.ms2
      << (m.packed ? " packed" : " plain");
}

struct EveryMode : DensityRun, ::testing::WithParamInterface<Mode> {};

TEST_P(EveryMode, TransitionDensityAndMomentsAreTheBruteForceOnes) {
  const Mode& m = GetParam();
  mkcase::Description d = describe(m.layout, m.nelac, m.ms2, m.gener);
  d.packed = m.packed;
  d.seed = 7;
  make(d);
  ASSERT_EQ(execute(), 0) << out.str();
  expect_density(false);
  expect_moments();
  EXPECT_NE(out.str().find(" La matriz de densidad se calcula\n"), std::string::npos) << out.str();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, EveryMode,
    ::testing::Values(Mode{"CAS ", kOneSym, 4, 0, true}, Mode{"CAS ", kFourSym, 3, -1, false},
                      Mode{"DDCI", kTwoSym, 4, 0, true}, Mode{"DDCI", kOneSym, 3, -1, false},
                      Mode{"DDci", kFourSym, 4, -2, true}, Mode{"DDC2", kEightSym, 4, 0, false},
                      Mode{"DDC2", kTwoSym, 3, -3, true}, Mode{"TOUS", kTwoSym, 4, -2, false},
                      Mode{"PERT", kOneSym, 4, 0, false}, Mode{"PERT", kFourSym, 3, -1, true},
                      Mode{"MONO", kEightSym, 3, -1, true}, Mode{"MONO", kTwoSym, 4, 0, false}));

// Both vectors from one CI run, with one determinant list: the first list
// takes the second one's check, and the density is the brute-force one.
TEST_P(EveryMode, OneListForBothVectorsGivesTheBruteForceDensity) {
  const Mode& m = GetParam();
  mkcase::Description d = describe(m.layout, m.nelac, m.ms2, m.gener);
  d.packed = m.packed;
  d.seed = 9;
  d.one_list = true;
  make(d);
  ASSERT_EQ(execute(), 0) << out.str();
  EXPECT_TRUE(run->dets.first_list_same);
  expect_density(false);
  expect_moments();
}

TEST_F(DensityRun, VectorsOfDifferentSymmetryCoupleOnlyAllowedOrbitalPairs) {
  mkcase::Description d = describe(kFourSym, 4, 0, "DDCI");
  d.is0 = 2;
  d.is0a = 1;
  d.packed = true;
  make(d);
  ASSERT_EQ(execute(), 0) << out.str();
  expect_density(false);
  for (int i = 1; i <= run->orbi.nbtot; ++i) EXPECT_EQ(run->dens.mat(i, i), 0.0);
}

TEST_F(DensityRun, StateDensityWithFrozenAndDeletedOrbitals) {
  mkcase::Description d = describe(kTwoSym, 4, -2, "TOUS");
  d.ngel = {1, 1};
  d.ndel = {0, 2};
  d.root1 = d.root2 = 2;
  d.packed = false;
  make(d, 1);
  ASSERT_EQ(execute(), 0) << err.str();
  expect_density(true);
  double trace = 0;
  for (int i = 1; i <= run->orbi.nbtot; ++i) trace += run->dens.mat(i, i);
  EXPECT_NEAR(trace, 2 * 3 + 4 + 2 * 2, 1e-12);  // inactive, active, frozen
  EXPECT_EQ(run->ronum.deltae, 0.0);
  EXPECT_NE(out.str().find(" La matriz de densidad se calcula\n"), std::string::npos);
  expect_moments();
}

// The CI program's density file holds one record per root; the run takes
// the record of its root, transposed, and puts the frozen orbitals back.
struct FromFile : DensityRun, ::testing::WithParamInterface<int> {};

TEST_P(FromFile, TheRecordOfTheRootIsRead) {
  mkcase::Description d = describe(kFourSym, 4, 0, "DDci");
  d.root1 = d.root2 = GetParam();
  d.ngel = {1, 0, 0, 1};
  make(d, 0);
  ASSERT_EQ(execute(), 0) << err.str();
  EXPECT_NE(out.str().find(" La matriz de densidad se lee del fichero dens de VORTA\n"),
            std::string::npos);
  EXPECT_NE(out.str().find(" apres sgn\n"), std::string::npos);
  expect_density(true);
  expect_moments();
}

INSTANTIATE_TEST_SUITE_P(Roots, FromFile, ::testing::Values(1, 3));

// Two different roots give a transition density, with nothing on the frozen
// orbitals, also when their energies are exactly equal (degenerate roots).
struct FrozenOrbitals : DensityRun, ::testing::WithParamInterface<bool> {};

TEST_P(FrozenOrbitals, StayOutOfATransitionDensity) {
  mkcase::Description d = describe(kOneSym, 4, 0, "DDCI");
  d.ngel = {2};
  d.ndel = {1};
  make(d);
  if (GetParam()) {
    // Record 2 of a vector file, after record 1 (4 + 8 + 4 bytes) and its
    // own length: the energies of roots 1, 2 and 3.  Root 2 takes root 1's.
    for (const char* file : {"daveca", "davecb"}) {
      std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
      double e1 = 0;
      f.seekg(20);
      f.read(reinterpret_cast<char*>(&e1), sizeof e1);
      f.seekp(28);
      f.write(reinterpret_cast<const char*>(&e1), sizeof e1);
    }
  }
  ASSERT_EQ(execute(), 0) << err.str();
  if (GetParam()) EXPECT_NE(out.str().find(" deltae 0.0000000000000000\n"), std::string::npos);
  expect_density(false);
  EXPECT_EQ(run->dens.mat(1, 1), 0.0);
  double trace = 0;
  for (int i = 1; i <= run->orbi.nbtot; ++i) trace += run->dens.mat(i, i);
  EXPECT_NEAR(trace, 0.0, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Energies, FrozenOrbitals, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Degenerate" : "Distinct"; });

}  // namespace

namespace {

// Bad vector and density files: each ends the run with a message and a
// non-zero status instead of a density that looks right.
struct BadFiles : DensityRun {
  void SetUp() override {
    mkcase::Description d = describe(kTwoSym, 4, 0, "DDCI");
    d.root1 = d.root2 = 3;
    make(d, 0);
  }
  // Overwrites the 4-byte integer at a byte offset of a file.
  static void patch(const char* file, long offset, int value) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(offset);
    f.write(reinterpret_cast<const char*>(&value), 4);
  }
  // The payloads of the records of a file, edited and written back with
  // their markers.
  static void edit_records(const char* file,
                           const std::function<void(std::vector<std::string>&)>& edit) {
    std::ifstream f(file, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(f)), {});
    std::vector<std::string> records;
    for (size_t at = 0; at + 8 <= b.size();) {
      uint32_t n;
      std::memcpy(&n, b.data() + at, 4);
      records.push_back(b.substr(at + 4, n));
      at += 8 + n;
    }
    edit(records);
    std::string edited;
    for (const std::string& r : records) {
      const int len = static_cast<int>(r.size());
      const std::string marker(reinterpret_cast<const char*>(&len), 4);
      edited += marker + r + marker;
    }
    std::ofstream(file, std::ios::binary | std::ios::trunc) << edited;
  }
  // Every root of a vector file one coefficient shorter and record 1 to
  // match: a whole file of another dimension than its list.
  static void drop_last_coefficient(const char* file) {
    edit_records(file, [](std::vector<std::string>& r) {
      --*reinterpret_cast<int*>(r[0].data());
      for (size_t k = 2; k < r.size(); ++k) r[k].resize(r[k].size() - 8);
    });
  }
  void set_roots(int r1, int r2) {
    std::ifstream f("BID93");
    std::string input((std::istreambuf_iterator<char>(f)), {});
    size_t k = input.find("NUMERO=");
    input.replace(k, input.find(',', input.find(',', k) + 1) - k,
                  "NUMERO=" + std::to_string(r1) + "," + std::to_string(r2));
    std::ofstream("BID93") << input;
  }
  bool said(const std::string& text) const {
    return out.str().find(text) != std::string::npos || err.str().find(text) != std::string::npos;
  }
};

TEST_F(BadFiles, ARootBeyondTheFileIsRefused) {
  set_roots(1, 4);
  EXPECT_EQ(execute(), fio::kStatusError);
  EXPECT_TRUE(said("root 4 asked for, the file holds 3")) << out.str();
}

TEST_F(BadFiles, MoreRootsThanTheEnergyListHoldsAreRefused) {
  patch("davecb", 8, ciprop::kMaxRoots + 1);  // record 1: length, ndim, nvec
  EXPECT_EQ(execute(), fio::kStatusError);
  EXPECT_TRUE(said("1001 roots declared")) << out.str();
}

// Whole records missing, repeated or out of place (a vector file holds 2 +
// roots records: the head, the energies, one per root) are refused naming
// the file and the record, before any coefficient is used.
TEST_F(BadFiles, VectorFilesMustHoldTheirRecordsInOrder) {
  using Records = std::vector<std::string>;
  const struct {
    const char* file;
    std::function<void(Records&)> edit;
    const char* named;
  } rows[] = {
      {"daveca", [](Records& r) { r.erase(r.begin() + 1); },
       "record 2 (the energies of the 3 roots) holds"},
      {"davecb", [](Records& r) { r.insert(r.begin() + 3, r[3]); },
       "more than the 5 records of 2 + 3 roots"},
      {"daveca", [](Records& r) { r.pop_back(); }, "4 records where 2 + 3 roots (record 1) need 5"},
      {"davecb", [](Records& r) { r[0] += std::string(4, '\0'); },
       "record 1 (the dimension and the number of roots) holds 12 bytes"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.named);
    std::ifstream f(row.file, std::ios::binary);
    const std::string intact((std::istreambuf_iterator<char>(f)), {});
    edit_records(row.file, row.edit);
    run = std::make_unique<ciprop::Run>(out, in, err);
    EXPECT_EQ(execute(), fio::kStatusIoError);
    EXPECT_TRUE(said(std::string("file '") + row.file + "': " + row.named)) << err.str();
    std::ofstream(row.file, std::ios::binary | std::ios::trunc) << intact;
  }
  patch("daveca", 16 + 4 + 24, 0);  // the trailing length of the energies' record
  run = std::make_unique<ciprop::Run>(out, in, err);
  EXPECT_EQ(execute(), fio::kStatusIoError);
  EXPECT_TRUE(said("file 'daveca': record 2 is cut short or its trailing length differs"))
      << err.str();
}

TEST_F(BadFiles, AVectorLongerOrShorterThanItsListIsRefused) {
  drop_last_coefficient("davecb");
  EXPECT_EQ(execute(), fio::kStatusError);
  EXPECT_TRUE(said("differs from the")) << out.str();
}

TEST_F(BadFiles, AListLongerThanTheFirstVectorIsRefused) {
  drop_last_coefficient("daveca");
  EXPECT_EQ(execute(), fio::kStatusError);
  EXPECT_TRUE(said("holds more determinants than its vector")) << out.str();
}

TEST_F(BadFiles, ADensityFileWithTooFewRecordsIsAnInputOutputError) {
  const auto size = std::filesystem::file_size("dens");
  std::filesystem::resize_file("dens", size / 3 * 2);  // roots 1 and 2 only
  EXPECT_EQ(execute(), fio::kStatusIoError);
  EXPECT_TRUE(said("unit 63, file 'dens'")) << err.str();
}

TEST_F(BadFiles, ADensityRecordTooShortIsAnInputOutputError) {
  const int n = c.layout.norb;
  std::ofstream f("dens", std::ios::binary | std::ios::trunc);
  std::vector<double> rec(static_cast<size_t>(n) * n - 1, 0.0);
  const int len = static_cast<int>(rec.size() * sizeof(double));
  for (int r = 0; r < 3; ++r) {
    f.write(reinterpret_cast<const char*>(&len), 4);
    f.write(reinterpret_cast<const char*>(rec.data()), len);
    f.write(reinterpret_cast<const char*>(&len), 4);
  }
  f.close();
  EXPECT_EQ(execute(), fio::kStatusIoError);
  EXPECT_TRUE(said("record 1 holds")) << err.str();
}

}  // namespace
