// A determinant and its coefficient as the vector listing prints them, and
// the parity of the sort that brings a determinant to ascending order.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "detspace/substitution_parity.hpp"
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

// The sort written out: the slot list in full (the later substitution of a
// slot wins), the marker dropped, the first nel entries kept, and the parity
// of the pairs out of order.
int sorted_parity(int norb, int nocc, int nel, int ne, const int* p, const int* q) {
  std::vector<int> list;
  for (int s = 0; s < 2 * nocc; ++s) {
    const int reference = s < nocc ? s + 1 : norb + s - nocc + 1;
    int v = reference;
    for (int k = 0; k < ne; ++k)
      if (p[k] == reference) v = q[k];
    if (v != 2 * norb + 1) list.push_back(v);
  }
  list.resize(std::min(list.size(), size_t(nel)));
  int pairs = 0;
  for (size_t i = 0; i < list.size(); ++i)
    for (size_t j = i + 1; j < list.size(); ++j) pairs += list[j] < list[i];
  return pairs % 2 ? -1 : 1;
}

TEST(Parity, ASingleExcitationPassesTheOccupiedSpinOrbitalsBetweenHoleAndParticle) {
  const int norb = 10, nocc = 3;
  const int p1[] = {1}, q1[] = {4};    // 4 2 3 | 11 12 13: passes 2 and 3
  const int p2[] = {2}, q2[] = {4};    // 1 4 3: passes 3
  const int p3[] = {1}, q3[] = {14};   // beta 4 in an alpha slot passes the other five
  const int p4[] = {12}, q4[] = {15};  // 11 15 13: passes 13
  EXPECT_EQ(substitution_parity(norb, nocc, 6, 1, p1, q1), 1);
  EXPECT_EQ(substitution_parity(norb, nocc, 6, 1, p2, q2), -1);
  EXPECT_EQ(substitution_parity(norb, nocc, 6, 1, p3, q3), -1);
  EXPECT_EQ(substitution_parity(norb, nocc, 6, 1, p4, q4), -1);
  // Emptied instead (the marker): the slot leaves the list, nothing moves.
  const int qm[] = {2 * norb + 1};
  EXPECT_EQ(substitution_parity(norb, nocc, 5, 1, p2, qm), 1);
}

// The phase from the substitutions alone is the parity of sorting the slot
// list: random determinants over both spins with up to 10 substitutions, the
// particles in the virtual orbitals, refilling an orbital that another hole
// emptied, or anywhere; the empty-slot marker absent, last (an odd electron
// count) or elsewhere; slots named twice; lists cut to fewer electrons than
// they hold.  Most draws are of the plain kind that nearly every determinant
// of a run is.
TEST(Parity, FromTheSubstitutionsIsThatOfSortingTheSlotList) {
  std::mt19937 rng(7);
  struct Shape {
    int norb, nocc, trials;
  };
  for (const Shape& shape : {Shape{30, 9, 60000}, Shape{12, 12, 20000}, Shape{5, 1, 5000},
                             Shape{500, 40, 2000}}) {
    const int norb = shape.norb, nocc = shape.nocc, marker = 2 * norb + 1;
    std::vector<int> holes, free;
    for (int k = 1; k <= nocc; ++k) holes.insert(holes.end(), {k, norb + k});
    for (int k = nocc + 1; k <= norb; ++k) free.insert(free.end(), {k, norb + k});
    for (int trial = 0; trial < shape.trials; ++trial) {
      const int ne = int(rng() % std::min<size_t>(11, holes.size() + 1));
      const bool plain = rng() % 3 != 0;
      std::shuffle(holes.begin(), holes.end(), rng);
      std::shuffle(free.begin(), free.end(), rng);
      int p[10], q[10];
      for (int k = 0; k < ne; ++k) {
        p[k] = holes[size_t(k)];
        q[k] = free.empty() ? p[k] : free[size_t(k) % free.size()];
        if (k > 0 && rng() % 4 == 0) q[k] = p[k - 1];
        if (!plain && rng() % 4 == 0) q[k] = 1 + int(rng() % marker);
        if (!plain && k > 0 && rng() % 6 == 0) p[k] = p[rng() % k];
      }
      const bool odd = ne > 0 && rng() % 2;
      if (odd) q[ne - 1] = marker;
      int nel = 2 * nocc - odd;
      if (!plain) nel = std::max(0, nel - int(rng() % 4));
      ASSERT_EQ(substitution_parity(norb, nocc, nel, ne, p, q),
                sorted_parity(norb, nocc, nel, ne, p, q))
          << "norb " << norb << " trial " << trial;
    }
  }
}

}  // namespace
