// The whole program on the smallest inputs: banner, work-array size, end line.
#include <gtest/gtest.h>

#include <sstream>

#include "driver/driver.hpp"
#include "core/print.hpp"
#include "fortio/stop.hpp"
#include "support/run_in_dir.hpp"

namespace {

// An empty folder: the banner and the work-array size come first, then the
// opening stops on the missing Info file.
TEST(Driver, EmptyFolderPrintsBannerIadriThenStopsOnTheMissingInfo) {
  test::ScratchDir dir;
  auto r = test::run_binary(dir, "");
  EXPECT_EQ(r.status, fio::kStatusIoError);
  EXPECT_NE(r.err.find("unit 45"), std::string::npos) << r.err;
  auto lines = test::split_lines(r.out);
  ASSERT_GE(lines.size(), 15u);
  EXPECT_EQ(lines[0], "  ");
  EXPECT_NE(lines[1].find("#######"), std::string::npos);
  EXPECT_EQ(lines[12], "  ");
  EXPECT_NE(std::find(lines.begin(), lines.end(), " iadri 8000000"), lines.end());
}

TEST(Driver, VerdimPassesAtTheLimitAndStopsAboveIt) {
  std::ostringstream out, err;
  std::istringstream in;
  auto run = std::make_unique<ciprop::Run>(out, in, err);
  auto guard = [&](long long ndet) {
    ciprop::verdim(*run, "dimension mat trop grande   : ndet iadri", ndet, 8000000,
                   "the determinant count", "raise MEM");
  };
  guard(8000000);
  EXPECT_EQ(out.str(), "");
  try {
    guard(8000001);
    FAIL() << "no stop";
  } catch (const fio::StopRun& s) {
    EXPECT_NE(s.status, 0);
    EXPECT_EQ(s.reason,
              "the determinant count is 8000001, more than this program takes (8000000); raise MEM");
  }
  EXPECT_EQ(out.str(),
            " dimension mat trop grande   : ndet iadri\n"
            "                      8000001 8000000\n");
}

}  // namespace
