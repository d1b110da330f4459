// Naming and opening the files of a run, and the run options.
#include "input/open_files.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "opening_case.hpp"

namespace {

using opening::has_line;
using opening::lines_from;

const std::string kRule = " ===========================";

std::vector<std::string> opened(const std::string& prefix_ci, const std::string& prefix_molcas) {
  return {" ouverture de la file " + prefix_molcas + "OneInt",
          " ouverture de la file " + prefix_molcas + "TraOne",
          " ouverture de la file " + prefix_molcas + "ComFile",
          " ouverture de la file 45 " + prefix_ci + "Info old ",
          " ouverture de la file 4 " + prefix_ci + "vrt UNKNOWN",
          " coucou",
          " 1coucou",
          " ouverture de la file 60 " + prefix_ci + "deta old ",
          " ouverture de la file 61 " + prefix_ci + "detb old ",
          " ouverture de la file 10 " + prefix_ci + "daveca old ",
          " ouverture de la file 11 " + prefix_ci + "davecb old ",
          kRule,
          "  "};
}

TEST(Openf, DefaultNamesInTheWorkingFolder) {
  test::ScratchDir dir;
  opening::write_ci_files(dir, opening::small_case());
  dir.write("INPORB", "");
  auto r = test::run_binary(dir, "");
  EXPECT_TRUE(opening::opened_all(r)) << r.err;
  auto lines = test::split_lines(r.out);
  EXPECT_EQ(lines_from(lines, " iadri 8000000", 5),
            (std::vector<std::string>{" iadri 8000000", "  ", kRule,
                                      " openf   ouverture des files", kRule}));
  EXPECT_TRUE(has_line(lines, " 0pen file INPORB"));
  EXPECT_EQ(lines_from(lines, " ouverture de la file OneInt", 13), opened("", ""));
  // The MOLCAS files are inputs: a missing one is not created.
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "OneInt"));
}

// A prefix of up to 9 characters goes in front of every name; RasOrb is
// preferred to ScfOrb.
TEST(Openf, ShortPrefixNamesEveryFile) {
  test::ScratchDir dir;
  opening::write_ci_files(dir, opening::small_case(), "in/h2o.");
  dir.write("in/h2o.RasOrb", "");
  dir.write("in/h2o.ScfOrb", "");
  dir.write("in/h2o.OneInt", "molcas integrals");
  auto r = test::run_binary(dir, " &ROFIL PREFIX='in/h2o.' &END\n");
  EXPECT_TRUE(opening::opened_all(r)) << r.err;
  auto lines = test::split_lines(r.out);
  EXPECT_TRUE(has_line(lines, " 0pen filein/h2o.RasOrb"));
  EXPECT_EQ(lines_from(lines, " ouverture de la file in/h2o.OneInt", 13),
            opened("in/h2o.", "in/h2o."));
  EXPECT_EQ(dir.read("in/h2o.OneInt"), "molcas integrals");
}

// Only the part of the prefix before a blank in its first 10 characters
// reaches the CI file names; the MOLCAS names take the prefix whole, its
// blanks dropped.
TEST(Openf, LongOrBlankPrefixReachesOnlyTheMolcasNames) {
  {
    test::ScratchDir dir;
    opening::write_ci_files(dir, opening::small_case());
    std::filesystem::create_directories(dir.path() / "molcas");
    dir.write("molcas/ab.ScfOrb", "");
    auto r = test::run_binary(dir, " &ROFIL PREFIX='molcas/ab.' &END\n");
    EXPECT_TRUE(opening::opened_all(r)) << r.err;
    auto lines = test::split_lines(r.out);
    EXPECT_TRUE(has_line(lines, " 0pen file molcas/ab.ScfOrb"));
    EXPECT_EQ(lines_from(lines, " ouverture de la file molcas/ab.OneInt", 13),
              opened("", "molcas/ab."));
  }
  {
    test::ScratchDir dir;
    opening::write_ci_files(dir, opening::small_case(), "my");
    auto r = test::run_binary(dir, " &ROFIL PREFIX='my run/' &END\n");
    EXPECT_TRUE(opening::opened_all(r)) << r.err;
    auto lines = test::split_lines(r.out);
    EXPECT_TRUE(has_line(lines, " no orbital file found"));
    EXPECT_EQ(lines_from(lines, " ouverture de la file myrun/OneInt", 13), opened("my", "myrun/"));
  }
}

// A full name is used whole, and its report line is shown whole even past
// column 80.
TEST(Openf, FullNamesAreUsedAndShownWhole) {
  test::ScratchDir dir;
  opening::write_ci_files(dir, opening::small_case());
  const std::string info = "a_folder_name_long_enough/to_pass_forty_columns.Info";  // 52
  const std::string oneint = "molcas_files_of_the_water_molecule/run_number_one/OneInt.bin";
  std::filesystem::create_directories(dir.path() / "a_folder_name_long_enough");
  dir.write(info, mkcase::info_text(opening::small_case()));
  dir.write("INPORB", "");
  auto r = test::run_binary(dir, " &ROFIL ORB1='absent.orb',\n INFO1='" + info +
                                     "',\n ONEINT1='" + oneint + "' &END\n");
  EXPECT_TRUE(opening::opened_all(r)) << r.err;
  auto lines = test::split_lines(r.out);
  EXPECT_TRUE(has_line(lines, " 0pen file INPORB"));
  EXPECT_TRUE(has_line(lines, " ouverture de la file " + oneint));
  EXPECT_TRUE(has_line(lines, " ouverture de la file 45 " + info + "old "));
}

// A required file that cannot be opened ends the run with an input/output
// error naming its unit and file; a missing orbital or MOLCAS file does not.
TEST(Openf, MissingInputs) {
  for (auto [file, unit] : {std::pair{"Info", 45}, {"deta", 60}, {"davecb", 11}}) {
    test::ScratchDir dir;
    opening::write_ci_files(dir, opening::small_case());
    std::filesystem::remove(dir.path() / file);
    auto r = test::run_binary(dir, "");
    EXPECT_NE(r.status, 0) << file;
    EXPECT_NE(r.err.find("unit " + std::to_string(unit)), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::string("'") + file + "'"), std::string::npos) << r.err;
    EXPECT_NE(test::split_lines(r.out).back(), " FIN");
  }
  test::ScratchDir dir;
  opening::write_ci_files(dir, opening::small_case());
  dir.write("Info", " &COST_AO NSYM=1, &END\n");
  auto r = test::run_binary(dir, "");
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(test::split_lines(r.out).back(), " il n'y a pas de file Info");
}

// The run options of "&RHO" and "&RHC", read from the copy of the input.
struct Options : ::testing::Test {
  opening::Stage stage{opening::small_case()};
  ciprop::Run& run = *stage.run;
  void read(const std::string& input) {
    stage.dir.write("BID93", input);
    stage.open(ciprop::kUnitInput, "BID93");
    ASSERT_EQ(stage.call(ciprop::lirdav), -1) << stage.out.str();
  }
};

TEST_F(Options, DefaultsWithoutGroups) {
  read("");
  EXPECT_EQ(run.ronum.numero(1), 1);
  EXPECT_EQ(run.ronum.numero(2), 1);
  EXPECT_EQ(run.pr.nprint, 0);
  EXPECT_EQ(run.infdav.twvec, 0.0500000007450580596923828125);
  EXPECT_EQ(run.stp.view(), "FIN     ");
  EXPECT_EQ(run.rocal.calcro, 0);
  EXPECT_EQ(run.hacer.ioper, 1);
  EXPECT_EQ(run.hacer.molcas, 5);
  EXPECT_EQ(run.sysp1, '0');
  for (int k = 1; k <= 50; ++k) EXPECT_EQ(run.switches.listing()[k - 1], k == 25 ? 1 : 0) << k;
}

TEST_F(Options, ValuesAreDecodedAndUpperCased) {
  read(" &RHO NGEL=2*1, NUMERO=2,3, STOP='fin', CALCUL='abc', TWVEC=5D-3 /\n"
       " &RHC IPROP=2, CALCRO=1 /\n");
  EXPECT_EQ(run.ronum.numero(2), 3);
  EXPECT_EQ(run.orbi.ngel(2), 1);
  EXPECT_EQ(run.orbi.ngel(3), 0);
  EXPECT_EQ(run.stp.view(), "FIN     ");
  EXPECT_EQ(run.opt.calcul.view(), "ABC");
  EXPECT_DOUBLE_EQ(run.infdav.twvec, 0.005);
  EXPECT_EQ(run.hacer.ioper, 2);
  EXPECT_EQ(run.rocal.calcro, 1);
}

// "&RHC" is searched after "&RHO": placed before it, it is not found.
TEST_F(Options, RhcBeforeRhoKeepsItsDefaults) {
  read(" &RHC CALCRO=1, MOLCAS=4 /\n &RHO NPRINT=1 /\n");
  EXPECT_EQ(run.pr.nprint, 1);
  EXPECT_EQ(run.rocal.calcro, 0);
  EXPECT_EQ(run.hacer.molcas, 5);
}

// RACINES lists the roots of the second vector file for a spectrum; its
// first root is the second root of NUMERO, which may be left out.
TEST_F(Options, ListedRootsOfASpectrum) {
  read(" &RHO NUMERO=2, RACINES=3,2*5,1 /\n");
  EXPECT_EQ(run.ronum.numero(1), 2);
  EXPECT_EQ(run.ronum.numero(2), 3);
  ASSERT_EQ(run.ronum.nracines, 4);
  EXPECT_EQ((std::vector<int>{run.ronum.racines(1), run.ronum.racines(2), run.ronum.racines(3),
                              run.ronum.racines(4)}),
            (std::vector<int>{3, 5, 5, 1}));
  EXPECT_EQ(stage.err.str().find("NUMERO gives one root"), std::string::npos) << stage.err.str();
}

// RACINESA lists roots of the first vector file, its first the first root
// of NUMERO; without RACINES each is paired with NUMERO(2).
TEST_F(Options, ListedRootsOfBothFiles) {
  read(" &RHO RACINESA=2,3, NUMERO(2)=4, LARGEUR=0.25 /\n");
  EXPECT_EQ(run.ronum.numero(1), 2);
  ASSERT_EQ(run.ronum.nracinesa, 2);
  EXPECT_EQ(run.ronum.racinesa(2), 3);
  ASSERT_EQ(run.ronum.nracines, 1);
  EXPECT_EQ(run.ronum.racines(1), 4);
  EXPECT_DOUBLE_EQ(run.ronum.largeur, 0.25);
}

TEST(ListedRoots, AgreeingNumeroIsAcceptedAndEveryOtherListRefused) {
  auto decode = [](const std::string& rho, std::string& out) {
    opening::Stage stage{opening::small_case()};
    stage.dir.write("BID93", rho);
    stage.open(ciprop::kUnitInput, "BID93");
    const int status = stage.call(ciprop::lirdav);
    out = stage.out.str();
    return std::pair{status, stage.run->ronum.nracines};
  };
  std::string out;
  EXPECT_EQ(decode(" &RHO NUMERO=1,4, RACINES=4,2 /\n", out), std::pair(-1, 2)) << out;
  EXPECT_EQ(decode(" &RHO NUMERO(2)=4, RACINES(1)=4 /\n", out), std::pair(-1, 1)) << out;
  // Without the key: one pair, whatever NUMERO says.
  EXPECT_EQ(decode(" &RHO NUMERO=1,4 /\n", out), std::pair(-1, 0)) << out;
  const std::pair<const char*, const char*> refused[] = {
      {" &RHO NUMERO=1,2, RACINES=3,2 /\n", "NUMERO(2) = 2 but RACINES(1) = 3"},
      {" &RHO NUMERO(2)=2, RACINES=3 /\n", "NUMERO(2) = 2 but RACINES(1) = 3"},
      {" &RHO RACINES=2,0,3 /\n", "RACINES(2) = 0 is not a root"},
      {" &RHO RACINES=2,-1 /\n", "RACINES(2) = -1 is not a root"},
      {" &RHO RACINES(1)=2, RACINES(3)=4 /\n", "RACINES(2) is not given"},
      {" &RHO RACINES=1001*2 /\n", "too many values for key RACINES"},
      {" &RHO NUMERO=1,2, RACINESA=3 /\n", "NUMERO(1) = 1 but RACINESA(1) = 3"},
      {" &RHO RACINESA=2,0 /\n", "RACINESA(2) = 0 is not a root"},
      {" &RHO LARGEUR=0 /\n", "LARGEUR = 0.000000 eV"},
  };
  for (const auto& [rho, message] : refused) {
    EXPECT_NE(decode(rho, out).first, -1) << rho;
    EXPECT_NE(out.find(message), std::string::npos) << rho << out;
  }
}

TEST(Colle, JoinsWithoutBlanksAndStopsWhenTooLong) {
  opening::Stage stage{opening::small_case()};
  std::string joined;
  int len = 0;
  ciprop::colle(*stage.run, "my run/   ", "RasOrb", joined, len);
  EXPECT_EQ(joined.substr(0, static_cast<size_t>(len)), "myrun/RasOrb");
  EXPECT_EQ(joined.size(), 80u);
  auto too_long = [&](ciprop::Run& r) {
    ciprop::colle(r, std::string(76, 'p'), "OneInt", joined, len);
  };
  EXPECT_EQ(stage.call(too_long), fio::kStatusError);
  EXPECT_EQ(stage.lines().front(), " impossible de coller a et b. c pas assez long");
}

TEST(Nomf, EachPartStopsAtABlankInItsFirstTenColumns) {
  EXPECT_EQ(ciprop::nomf("../h2o.   ", "Info      "), "../h2o.Info         ");
  EXPECT_EQ(ciprop::nomf("/scratch/run1/  ", "deta      "), "deta                ");
  EXPECT_EQ(ciprop::nomf("my run/   ", "vrt       "), "myvrt               ");
  EXPECT_EQ(ciprop::nomf("          ", "longbasename  "), "                    ");
}

}  // namespace
