// The mkcase command line, as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_in_dir.hpp"

namespace {

TEST(MkcaseCommand, WritesTheFolderOrRefusesWithTheUsage) {
  test::ScratchDir dir;
  test::RunResult ok = test::run_binary(
      dir, "", std::string(MKCASE_EXE) + "' --nsym=2 --ninac=1,1 --nact=2,1 --nvirt=2,2 "
                                         "--nelac=2 --gener=DDci --packed --roots=1,2 'case");
  EXPECT_EQ(ok.status, 0) << ok.err;
  for (const char* f : {"vrt", "Info", "deta", "detb", "daveca", "davecb", "dens", "input",
                        "expected", "OneInt", "TraOne", "INPORB"})
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "case" / f)) << f;
  EXPECT_NE(dir.read("case/vrt").find("GENER='DDci'"), std::string::npos);

  test::RunResult bad = test::run_binary(dir, "", std::string(MKCASE_EXE) + "' --nact=2 --nelac=2 --ms2=-1 'x");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("parity"), std::string::npos);
  EXPECT_NE(bad.err.find("usage: mkcase"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "x"));
}

TEST(MkcaseCommand, HelpMultireferenceModesAndAPositiveMs2) {
  test::ScratchDir dir;
  const std::string exe = std::string(MKCASE_EXE) + "' ";
  test::RunResult help = test::run_binary(dir, "", exe + "--help'");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: mkcase", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("--refs="), std::string::npos);

  // The mode is padded to four characters; the references go to OCCMRS.
  const std::string space = "--nsym=2 --ninac=1,1 --nact=2,2 --nvirt=1,1 --nelac=4 ";
  test::RunResult mr =
      test::run_binary(dir, "", exe + space + "--ms2=-2 --gener=MRT --refs=2110,1111 'neg");
  EXPECT_EQ(mr.status, 0) << mr.err;
  EXPECT_NE(dir.read("neg/vrt").find("MS2=-2, "), std::string::npos);
  EXPECT_NE(dir.read("neg/vrt").find("GENER='MRT '"), std::string::npos);
  EXPECT_EQ(dir.read("neg/OCCMRS"), "           2\n2110\n1111\n");

  // MS2=2 as a CI run may state it: the run description keeps it, the
  // space is that of MS2=-2, as ciprop reads it.
  test::RunResult pos =
      test::run_binary(dir, "", exe + space + "--ms2=2 --gener=MRT --refs=2110,1111 'pos");
  EXPECT_EQ(pos.status, 0) << pos.err;
  EXPECT_NE(dir.read("pos/vrt").find("MS2=2, "), std::string::npos);
  EXPECT_EQ(dir.read("pos/detb"), dir.read("neg/detb"));
  EXPECT_EQ(dir.read("pos/expected"), dir.read("neg/expected"));

  test::RunResult bad = test::run_binary(dir, "", exe + space + "--gener=MR --refs=2200,2300 'x");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("reference '2300'"), std::string::npos) << bad.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "x"));
}

}  // namespace
