// The density does not depend on the number of threads: spaces large enough
// to be cut into many pieces of work give the same bits, and whole runs the
// same report, with one thread and with two or three.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/run_in_dir.hpp"
#include "tools/mkcase/make_case.hpp"

namespace {

// Runs the folder's input with the given thread count, the density matrices
// printed (NPRINT=1) to their last printed digit.
test::RunResult run_with(const test::ScratchDir& dir, const char* threads) {
  std::string input = dir.read("input");
  input.insert(input.find("&RHO") + 4, " NPRINT=1,");
  setenv("CIPROP_THREADS", threads, 1);
  test::RunResult r = test::run_binary(dir, input);
  unsetenv("CIPROP_THREADS");
  return r;
}

TEST(Threads, ReportsAreByteIdenticalForOneTwoAndThreeThreads) {
  // A CAS space cut into many string pieces, and DDCI and MRDD spaces of
  // tens of thousands of determinants whose runs must not depend on the
  // variable either.
  mkcase::Description mr = mkcase::describe("MRDD", 2, {2, 1}, {2, 2}, {8, 7}, 4, -2);
  mr.nref = 3;
  for (mkcase::Description d :
       {mkcase::describe("DDCI", 2, {2, 1}, {2, 2}, {6, 5}, 4, -2),
        mkcase::describe("CAS ", 2, {1, 1}, {5, 5}, {1, 1}, 10, 0, 2), mr}) {
    d.nroots = 2;
    d.root1 = 1;
    d.root2 = 2;
    d.density_limit = 0;
    test::ScratchDir dir;
    mkcase::Case c = mkcase::make_case(d, dir.path().string());
    SCOPED_TRACE(d.gener + " " + std::to_string(c.b->dets.size()) + " determinants");
    EXPECT_GT(c.b->dets.size(), 8192u);
    const test::RunResult one = run_with(dir, "1");
    ASSERT_EQ(one.status, 0) << one.out << one.err;
    EXPECT_NE(one.out.find("MATRICE RO apres reintroduction"), std::string::npos);
    for (const char* n : {"2", "3"}) {
      const test::RunResult more = run_with(dir, n);
      EXPECT_EQ(more.status, 0);
      EXPECT_TRUE(more.out == one.out) << n << " threads: the report differs";
    }
  }
}

}  // namespace
