// A determinant and its coefficient as the vector listing prints them, and
// the parity of the sort that brings a determinant to ascending order.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "density/substitution_parity.hpp"
#include "density/vectors.hpp"

namespace {

using namespace ciprop;

// The text of the pairs in its field (50 columns, or 35 on a second line),
// three blanks, and the coefficient in 11 columns with 7 decimals.
std::string line(const std::string& pairs, size_t field, const std::string& coef) {
  return pairs + std::string(field - pairs.size(), ' ') + std::string(3, ' ') + coef + "\n";
}

struct Listing : ::testing::Test {
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<ciprop::Run> run = std::make_unique<ciprop::Run>(out, in, err);
  void SetUp() override {
    const int norb = 300;
    run->orb.norb = norb;
    for (int k = 1; k <= norb; ++k) {
      run->orb.iorb(k) = k;
      run->orb.iorb(norb + k) = k;
      run->dens.wvc(k).assign("+ ");
      run->dens.wvc(norb + k).assign("- ");
    }
  }
};

TEST_F(Listing, UpToFourSubstitutionsStandOnOneLine) {
  const int p[] = {3, 304}, q[] = {5, 306};
  wv(*run, 2, p, q, -0.25);
  EXPECT_EQ(out.str(), line("   3+   4-   0=>  5+   6-", 50, " -0.2500000"));
}

TEST_F(Listing, TheEmptySlotMarkerIsNotPrinted) {
  const int p[] = {4}, q[] = {601};
  wv(*run, 1, p, q, 0.5);
  EXPECT_EQ(out.str(), line("   4+   0=>", 50, "  0.5000000"));
}

TEST_F(Listing, FiveOrMoreSubstitutionsTakeASecondLineWithTheCoefficientInItsColumn) {
  const int p[] = {1, 2, 3, 301, 302}, q[] = {10, 11, 12, 310, 311};
  wv(*run, 5, p, q, 0.125);
  EXPECT_EQ(out.str(), "   1+   2+   3+   1-   2-   0=>\n" +
                           line("  10+  11+  12+  10-  11-", 50, "  0.1250000"));
}

TEST_F(Listing, ASeventhParticleIsCutAtTheThirtyFifthColumn) {
  const int p[] = {1, 2, 3, 4, 5, 6, 7}, q[] = {21, 22, 23, 24, 25, 26, 27};
  wv(*run, 7, p, q, 1.0);
  std::istringstream s(out.str());
  std::string first, second;
  std::getline(s, first);
  std::getline(s, second);
  EXPECT_EQ(second.substr(0, 35), "  21+  22+  23+  24+  25+  26+  27+");
  EXPECT_EQ(second.substr(35), std::string(18, ' ') + "  1.0000000");
}

TEST(Parity, EachExchangeOfTheSortFlipsTheSign) {
  int sorted[] = {1, 2, 3, 4};
  int isgn = 0;
  reor(4, sorted, isgn);
  EXPECT_EQ(isgn, 1);
  // Hole 1 filled by orbital nocc + 1 = 5: the new orbital passes nocc - 1.
  int moved[] = {5, 2, 3, 4};
  reor(4, moved, isgn);
  EXPECT_EQ(isgn, -1);
  EXPECT_EQ(moved[0], 2);
  EXPECT_EQ(moved[3], 5);
  int twice[] = {3, 1, 2};
  reor(3, twice, isgn);
  EXPECT_EQ(isgn, 1);
}

// The phase from the substitutions alone is the parity of sorting the whole
// slot list: random determinants of 1 to 6 substitutions, with and without
// the empty-slot marker, and lists cut to fewer electrons than slots.
TEST(Parity, FromTheSubstitutionsIsThatOfSortingTheSlotList) {
  std::mt19937 rng(7);
  const int norb = 30, nocc = 9, marker = 2 * norb + 1;
  for (int trial = 0; trial < 20000; ++trial) {
    const int ne = 1 + int(rng() % 6);
    std::vector<int> holes, free;
    for (int k = 1; k <= nocc; ++k) holes.insert(holes.end(), {k, norb + k});
    for (int k = nocc + 1; k <= norb; ++k) free.insert(free.end(), {k, norb + k});
    std::shuffle(holes.begin(), holes.end(), rng);
    std::shuffle(free.begin(), free.end(), rng);
    int p[8], q[8];
    for (int k = 0; k < ne; ++k) {
      p[k] = holes[size_t(k)];
      // Some particles refill a reference orbital emptied by another hole.
      q[k] = k > 0 && rng() % 4 == 0 ? p[k - 1] : free[size_t(k)];
    }
    const bool odd = rng() % 2;
    if (odd) q[ne - 1] = marker;
    const int nel = 2 * nocc - (odd ? 1 : rng() % 2);
    int slots[2 * nocc], len = 0;
    for (int s = 0; s < 2 * nocc; ++s) {
      int v = s < nocc ? s + 1 : norb + s - nocc + 1;
      for (int k = 0; k < ne; ++k)
        if (p[k] == v) v = q[k];
      if (v != marker) slots[len++] = v;
    }
    int want = 0;
    reor(std::min(nel, len), slots, want);
    ASSERT_EQ(substitution_parity(norb, nocc, nel, ne, p, q), want) << "trial " << trial;
  }
}

}  // namespace
