// The orbital spaces: classes, counts per symmetry, lists, rank maps, and
// the orbital report at each print level.
#include "orbitals/orbital_classes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <vector>

#include "support/run_in_dir.hpp"

namespace {

using V = std::vector<int>;

// A run whose orbitals 1..nocc are occupied in the reference, with the
// given active orbitals (CAS order) and orbital symmetries, after prepar.
struct Spaces {
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<ciprop::Run> owner = std::make_unique<ciprop::Run>(out, in, err);
  ciprop::Run& run = *owner;

  Spaces(int nocc, const V& numac, const V& isym, int nsym = 1, int nprint = 0,
         std::string_view gener = "CAS ") {
    run.orb.norb = static_cast<int>(isym.size());
    run.orb.nocc = nocc;
    run.sym.nsym = nsym;
    for (size_t i = 0; i < isym.size(); ++i) run.sym.isym(static_cast<int>(i) + 1) = isym[i];
    run.cs.noac = static_cast<int>(numac.size());
    for (size_t k = 0; k < numac.size(); ++k) run.cs.numac(static_cast<int>(k) + 1) = numac[k];
    run.pr.nprint = nprint;
    run.prep.gener.assign(gener);
    ciprop::prepar(run);
  }
  std::vector<std::string> lines() const { return test::split_lines(out.str()); }
};

template <class A>
V first(const A& a, int n) {
  return V(a.v.begin(), a.v.begin() + n);
}

TEST(Prepar, ClassesListsAndRanks) {
  Spaces s(3, {3, 4}, V(6, 1));
  const ciprop::Run& run = s.run;
  EXPECT_EQ(first(run.cs.itype, 6), (V{1, 1, 2, 2, 3, 3}));
  EXPECT_EQ(first(run.orb2.linac, run.orb.ninac), (V{1, 2}));
  EXPECT_EQ(first(run.orb2.linacb, 2), (V{7, 8}));
  EXPECT_EQ(first(run.orb2.lvirt, run.orb.nvirt), (V{5, 6}));
  EXPECT_EQ(first(run.orb2.lvirtb, 2), (V{11, 12}));
  EXPECT_EQ((V{run.sy2.nts(1), run.sy2.ncs(1), run.sy2.nps(1), run.sy2.norbs(1)}),
            (V{2, 2, 2, 6}));
  EXPECT_EQ(first(run.sy3.isbrot, 6), (V{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(first(run.sy3.itorbc, 6), (V{1, 2, 1, 2, 1, 2}));
}

// Active orbitals are ranked in CAS order and may lie above nocc, where
// they count as active, not virtual.
TEST(Prepar, ActiveOrbitalsInCasOrderOnEitherSideOfNocc) {
  Spaces swapped(3, {4, 3}, V(6, 1));
  EXPECT_EQ(swapped.run.sy3.isbrot(4), 3);
  EXPECT_EQ(swapped.run.sy3.isbrot(3), 4);
  EXPECT_EQ(swapped.run.sy3.itorbs(3), 4);

  Spaces above(3, {3, 5}, V(6, 1));
  const ciprop::Run& run = above.run;
  EXPECT_EQ(first(run.cs.itype, 6), (V{1, 1, 2, 3, 2, 3}));
  EXPECT_EQ(first(run.orb2.lvirt, run.orb.nvirt), (V{4, 6}));
  EXPECT_EQ(run.sy2.ncs(1), 2);
  EXPECT_EQ(run.sy2.nps(1), 2);
  EXPECT_EQ(first(run.sy3.isbrot, 6), (V{1, 2, 3, 5, 4, 6}));
  EXPECT_EQ(first(run.sy3.itorbs, 6), (V{1, 2, 3, 5, 4, 6}));
}

TEST(Prepar, CountsAndMapsPerSymmetry) {
  // Orbitals 1..8 of symmetries 1 2 1 2 1 2 2 1; 1..4 occupied, 3 and 6 active.
  Spaces s(4, {6, 3}, {1, 2, 1, 2, 1, 2, 2, 1}, 2);
  const ciprop::Run& run = s.run;
  EXPECT_EQ(first(run.sy2.nts, 2), (V{1, 2}));
  EXPECT_EQ(first(run.sy2.ncs, 2), (V{1, 1}));
  EXPECT_EQ(first(run.sy2.nps, 2), (V{2, 1}));
  EXPECT_EQ(first(run.non, 2), (V{4, 4}));
  EXPECT_EQ(first(run.sy3.itorbi, 8), (V{1, 1, 2, 2, 3, 3, 4, 4}));
  EXPECT_EQ((V{run.sy7.iorbsy(1, 1), run.sy7.iorbsy(1, 4), run.sy7.iorbsy(2, 4)}), (V{1, 8, 7}));
  EXPECT_EQ((V{run.sy4.ntstot(0), run.sy4.ntstot(1), run.sy4.ntstot(2)}), (V{0, 1, 3}));
  EXPECT_EQ((V{run.sy4.npstot(1), run.sy4.npstot(2)}), (V{2, 3}));
  EXPECT_EQ(first(run.sy3.isbrot, 8), (V{1, 2, 5, 3, 6, 4, 7, 8}));
}

TEST(Prepar, ModeFlags) {
  const struct {
    std::string_view gener;
    bool ycas1, ymono;
  } cases[] = {{"CAS ", true, false}, {"MRC ", true, false}, {"MONO", false, true},
               {"MRM ", false, true}, {"MRTM", false, true}, {"MR  ", false, false},
               {"DDCI", false, false}};
  for (const auto& c : cases) {
    Spaces s(1, {}, {1}, 1, 0, c.gener);
    EXPECT_EQ(s.run.prep.ycas1, c.ycas1) << c.gener;
    EXPECT_EQ(s.run.prep.ymono, c.ymono) << c.gener;
  }
}

const std::vector<std::string> kSpaceReport = {
    " =====================================================",
    "",
    " =======ORBITALES OCCUPEES, ACTIVES, VIRTUELLES=======",
    "",
    " inactives      3      1   2   4",
    " actives        2      6   3",
    " virtuelles     3      5   7   8",
    "",
    " nombre d'orbitales par symetrie",
    " occupees       1   2",
    " CAS            1   1",
    " virtuelles     2   1",
    " total          4   4",
};

TEST(Prepar, ReportAtEachPrintLevel) {
  const V isym = {1, 2, 1, 2, 1, 2, 2, 1};
  const std::vector<std::string> closing = {kSpaceReport[0], "", ""};

  std::vector<std::string> level0 = kSpaceReport;
  level0.insert(level0.end(), closing.begin(), closing.end());
  EXPECT_EQ(Spaces(4, {6, 3}, isym, 2, 0).lines(), level0);

  std::vector<std::string> level1 = {
      "",
      " ====================================================",
      " prepar  analyse des donnees concernant les orbitales",
      " ====================================================",
      " TYPE DES ORBITALES   occ 1     CAS 2     virt 3",
      "  1  2  3  4  5  6  7  8",
      "  1  1  2  1  3  2  3  3",
      ""};
  level1.insert(level1.end(), level0.begin(), level0.end());
  EXPECT_EQ(Spaces(4, {6, 3}, isym, 2, 1).lines(), level1);

  std::vector<std::string> level2(level1.begin(), level1.end() - 3);
  for (const char* line : {" itorbi         1   1   2   2   3   3   4   4",
                           " isbrot         1   2   5   3   6   4   7   8",
                           " itorbs         1   2   4   6   3   5   7   8",
                           " itorbc         1   2   2   3   1   1   2   3",
                           " ntstot occup   1   3",
                           " ncstot CAS     1   2",
                           " npstot virtu   2   3"})
    level2.push_back(line);
  level2.insert(level2.end(), closing.begin(), closing.end());
  EXPECT_EQ(Spaces(4, {6, 3}, isym, 2, 2).lines(), level2);
}

// Lists longer than a line continue under the first value.
TEST(Prepar, LongListsContinueOnIndentedLines) {
  Spaces s(25, {}, V(45, 1), 1, 2);
  auto lines = s.lines();
  auto at = std::find(lines.begin(), lines.end(),
                      " inactives     25      1   2   3   4   5   6   7   8   9  10  11  12  13  14"
                      "  15  16  17  18  19  20");
  ASSERT_NE(at, lines.end());
  EXPECT_EQ(at[1], "                      21  22  23  24  25");
  EXPECT_EQ(at[2], " actives        0   ");
  auto rank = std::find(lines.begin(), lines.end(),
                        " itorbc         1   2   3   4   5   6   7   8   9  10  11  12  13  14"
                        "  15  16  17  18  19  20");
  ASSERT_NE(rank, lines.end());
  EXPECT_EQ(rank[1],
            "  21  22  23  24  25   1   2   3   4   5   6   7   8   9  10  11  12  13  14  15");
  EXPECT_EQ(rank[2], "  16  17  18  19  20");
}

}  // namespace
