// The CI run description: counts derived from "&VRT" and the Info file, the
// report, the binomial table and the refusal of what the tables cannot hold.
#include "input/run_description.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "opening_case.hpp"

namespace {

using opening::lines_from;
using opening::Stage;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  size_t k = text.find(from);
  EXPECT_NE(k, std::string::npos) << from;
  if (k != std::string::npos) text.replace(k, from.size(), to);
  return text;
}

const std::string kVrt =
    " &VRT NOAC=3, NUMAC=4,5,6, NELAC=4, IS0=1, MS2=-2, NDET=1, GENER='CAS ',\n &END\n";
const std::string kInfo = mkcase::info_text(opening::small_case());

TEST(Lircd, CountsAndReport) {
  Stage s(kVrt, kInfo);
  ciprop::Run& run = *s.run;
  run.cs.numac(4) = 9;
  run.pr.nprint = 1;
  ASSERT_EQ(s.call(ciprop::lircd), -1) << s.out.str();
  EXPECT_EQ(run.orb.norb, 11);
  EXPECT_EQ(run.orb.nocc, 5);
  EXPECT_EQ(run.orb.noca, 4);
  EXPECT_EQ(run.orb.nocb, 6);
  EXPECT_EQ(run.prep.nca0, 1);
  EXPECT_EQ(run.prep.ncb0, 3);
  EXPECT_EQ(run.cs.numac(4), 0);
  EXPECT_EQ(run.orb.iorb(11), 11);
  EXPECT_EQ(run.orb.iorb(12), 1);
  EXPECT_EQ(run.sym.isym(11 + 3), 2);
  EXPECT_EQ(run.prep.gener.view(), "CAS ");
  EXPECT_EQ(lines_from(s.lines(), "                                         norb       11", 18),
            (std::vector<std::string>{
                "                                         norb       11",
                "     double precision pour les integrales ydp        F",
                "                   nombre de symetries   nsym        2",
                "     nombre d orbitales occupees alpha   noca        4",
                "     nombre d orbitales occupees beta    nocb        6",
                "",
                " symetrie des orbitales",
                "  1  2  3  4  5  6  7  8  9 10 11",
                "  1  1  2  1  1  2  1  1  1  2  2",
                "",
                " table de multiplication",
                "   1   2",
                "   2   1",
                "",
                " --------------------------------------",
                "         FIN DE LECTURE DES FILES         ",
                " --------------------------------------",
                "",
            }));
}

// A positive MS2 is turned negative with a message; the counts are those of
// the negative value.  An odd electron count puts the extra electron in beta.
TEST(Lircd, SpinCounts) {
  Stage s(replaced(kVrt, "MS2=-2", "MS2=2"), kInfo);
  ASSERT_EQ(s.call(ciprop::lircd), -1) << s.out.str();
  EXPECT_EQ(s.run->cs.ms2, -2);
  EXPECT_EQ(lines_from(s.lines(), " ms2 doit etre negatif  on change son signe", 2),
            (std::vector<std::string>{" ms2 doit etre negatif  on change son signe", " ms2 -2"}));
  EXPECT_EQ(s.run->orb.noca, 4);
  EXPECT_EQ(s.run->orb.nocb, 6);
  EXPECT_EQ(s.run->prep.nca0, 1);
  EXPECT_EQ(s.run->prep.ncb0, 3);

  Stage odd(replaced(replaced(kVrt, "MS2=-2", "MS2=0"), "NELAC=4", "NELAC=3"), kInfo);
  ASSERT_EQ(odd.call(ciprop::lircd), -1) << odd.out.str();
  EXPECT_EQ(odd.run->prep.nca0, 1);
  EXPECT_EQ(odd.run->prep.ncb0, 2);
  EXPECT_EQ(odd.run->orb.noca, 5);
  EXPECT_EQ(odd.run->orb.nocb, 5);
}

TEST(Lircd, FortyFiveOrbitalsInThreeBlocks) {
  Stage s(opening::one_symmetry(20, 6, 19, 6));
  ASSERT_EQ(s.call(ciprop::lircd), -1) << s.out.str();
  auto block = lines_from(s.lines(), " symetrie des orbitales", 12);
  ASSERT_EQ(block.size(), 12u);
  EXPECT_EQ(block[4], " 21 22 23 24 25 26 27 28 29 30 31 32 33 34 35 36 37 38 39 40");
  EXPECT_EQ(block[7], " 41 42 43 44 45");
  EXPECT_EQ(block[8], "  1  1  1  1  1");
  EXPECT_EQ(block[11], " --------------------------------------");  // nprint 0: no table
}

TEST(Lircd, MissingRunDescriptionKeepsTheDefaults) {
  Stage s("", kInfo);
  ASSERT_EQ(s.call(ciprop::lircd), -1);
  EXPECT_EQ(s.lines().back(), " on n'a pas trouve de fichier vrt");
  EXPECT_EQ(s.run->cs.is0, 1);
  EXPECT_EQ(s.run->orb.norb, 0);
  EXPECT_EQ(s.run->combs.c(0, 0), 0);
}

// Input that the tables cannot hold is refused before anything is built on
// it, with a message naming the value.
TEST(Lircd, RefusesWhatTheTablesCannotHold) {
  const struct {
    std::string vrt, info, message;
  } cases[] = {
      {replaced(kVrt, "NOAC=3", "NOAC=17"), kInfo,
       " nombre d orbitales actives hors limites (0 a 16) : noac= 17"},
      {kVrt, replaced(kInfo, "NORB=11", "NORB=501"),
       " fichier Info : nombre d orbitales hors limites (0 a 500) : norb= 501"},
      {kVrt, replaced(kInfo, "NSYM=2", "NSYM=9"),
       " fichier Info : nombre de symetries hors limites (1 a 8) : nsym= 9"},
      {kVrt, replaced(kInfo, "NOC=5", "NOC=12"),
       " fichier Info : orbitales occupees hors limites (0 a norb) : noc= 12"},
      {kVrt, replaced(kInfo, "ITS=1,2,", "ITS=1,0,"),
       " fichier Info : table ITS hors limites (1 a nsym) : i, j, its= 2 1 0"},
      {kVrt, replaced(kInfo, "ITSYM=1,1,2", "ITSYM=1,1,3"),
       " fichier Info : symetrie hors limites (1 a nsym) : orbitale, itsym= 3 3"},
      {replaced(kVrt, "NUMAC=4,5,6", "NUMAC=4,5,12"), kInfo,
       " orbitale active hors limites (1 a norb) : numac= 12"},
      {replaced(kVrt, "NUMAC=4,5,6", "NUMAC=4,5,4"), kInfo,
       " orbitale active donnee deux fois : numac= 4"},
      {replaced(kVrt, "IS0=1", "IS0=3"), kInfo,
       " symetrie de l etat hors limites (1 a nsym) : is0= 3"},
  };
  for (const auto& c : cases) {
    Stage s(c.vrt, c.info);
    EXPECT_EQ(s.call(ciprop::lircd), fio::kStatusError) << c.message;
    EXPECT_EQ(s.lines().back(), c.message);
    EXPECT_EQ(s.run->orb.iorb(1), 0) << c.message;
    EXPECT_EQ(s.run->combs.c(0, 0), 0) << c.message;
  }
}

TEST(Calc, BinomialTableWithMarkersBeyondTheActiveSpace) {
  Stage s(kVrt, kInfo);
  ciprop::Run& run = *s.run;
  run.cs.noac = 3;
  run.cs.nelac = 4;
  ASSERT_EQ(s.call(ciprop::calc), -1);
  const auto& c = run.combs.c;
  for (int i = 0; i <= 7; ++i) {
    EXPECT_EQ(c(i, -1), 0);
    int binomial = 1;
    for (int j = 0; j <= 19; ++j) {
      EXPECT_EQ(c(i, j), j <= i ? binomial : 0) << i << " " << j;
      binomial = binomial * (i - j) / (j + 1);
    }
  }
  for (int j = -1; j <= 8; ++j) EXPECT_EQ(c(8, j), -50);
  EXPECT_EQ(c(8, 9), 0);
  EXPECT_EQ(c(20, 19), -50);
  EXPECT_EQ(c(20, 20), 0);
}

TEST(Calc, ActiveConfigurationCountAndItsLimitInTheMultireferenceModes) {
  const struct {
    int noac, nelac;
    long long ndimcs;
    const char* gener;
  } cases[] = {{6, 6, 573, "MRS "},       {10, 10, 39183, "MR  "}, {11, 10, 107999, "MRDD"},
               {11, 10, 107999, "CAS "}, {12, 12, 329497, "DDCI"}};
  for (const auto& c : cases) {
    Stage s(kVrt, kInfo);
    s.run->cs.noac = c.noac;
    s.run->cs.nelac = c.nelac;
    s.run->prep.gener.assign(c.gener);
    int status = s.call(ciprop::calc);
    EXPECT_EQ(ciprop::ndimcs(*s.run), c.ndimcs);
    const bool mr = c.gener[0] == 'M';
    EXPECT_EQ(status, mr && c.ndimcs > ciprop::kMaxNdimcs ? fio::kStatusError : -1) << c.gener;
    if (status != -1) {
      EXPECT_EQ(s.lines(), (std::vector<std::string>{" calcul MRS  ndimcs trop grand :  ndimcs=",
                                                     "                      107999 100000"}));
    }
  }
}

TEST(Opening, DeterminantCountAboveTheWorkArrayStopsTheRun) {
  test::ScratchDir dir;
  mkcase::Description d = opening::small_case();
  opening::write_ci_files(dir, "", mkcase::vrt_text(d, 8000001), mkcase::info_text(d));
  auto r = test::run_binary(dir, "");
  EXPECT_EQ(r.status, fio::kStatusError);
  auto lines = test::split_lines(r.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], " dimension mat trop grande   : ndet iadri");
  EXPECT_EQ(lines.back(), "                      8000001 8000000");
  EXPECT_NE(r.err.find("ciprop: 8000001 determinants exceed the capacity of 8000000; MEM=8000001 "
                       "in &RHO would take them, with about "),
            std::string::npos)
      << r.err;
}

// "MEM" raises the capacity: the report's first line shows it, a space up to
// it passes the guard, and one beyond it is refused with the value that fits.
TEST(Opening, MemRaisesTheDeterminantCapacity) {
  mkcase::Description d = opening::small_case();
  const std::string input = " &ROFIL &END\n &RHO MEM=9000000 &END\n &RHC &END\n";
  for (int ndet : {9000000, 9000001}) {
    test::ScratchDir dir;
    opening::write_ci_files(dir, "", mkcase::vrt_text(d, ndet), mkcase::info_text(d));
    auto r = test::run_binary(dir, input);
    auto lines = test::split_lines(r.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), " iadri 9000000"), lines.end()) << r.out;
    const bool refused = r.out.find("dimension mat trop grande") != std::string::npos;
    EXPECT_EQ(refused, ndet > 9000000) << r.out;
    if (refused) {
      EXPECT_EQ(lines.back(), "                      9000001 9000000");
      EXPECT_NE(r.err.find("MEM=9000001 in &RHO"), std::string::npos) << r.err;
    }
  }
}

}  // namespace
