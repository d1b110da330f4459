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

}  // namespace
