// Namelist-style records: the layout every stage's echo goes through.
#include <gtest/gtest.h>

#include <sstream>

#include "fortio/format.hpp"
#include "fortio/namelist_out.hpp"

namespace {

TEST(NamelistOut, OneItemPerLineBetweenTheNameAndTheSlash) {
  std::ostringstream out, err;
  std::istringstream in;
  fio::Units io(out, in, err);
  const int numac[16] = {3, 4, 7, 8};
  fio::NamelistOut(io, 6, "VRT")
      .add("NOAC", 4)
      .add("NUMAC", std::span<const int>(numac))
      .add("TWVEC", 0.05)
      .add("YCL", false)
      .add("GENER", "DDCI")
      .add("STOP", std::string_view("say \"x\""))
      .end();
  EXPECT_EQ(out.str(), "&VRT\n"
                       " NOAC=4,\n"
                       " NUMAC=3,4,7,8,12*0,\n"
                       " TWVEC=" + fio::listed_real(0.05) + ",\n"
                       " YCL=F,\n"
                       " GENER=\"DDCI\",\n"
                       " STOP=\"say \"\"x\"\"\",\n"
                       " /\n");
}

TEST(NamelistOut, LongArraysContinueOnTheNextLineBeforeColumnEighty) {
  std::ostringstream out, err;
  std::istringstream in;
  fio::Units io(out, in, err);
  std::vector<int> v;
  for (int k = 0; k < 40; ++k) v.push_back(k < 30 ? 100000 + k : -7);
  fio::NamelistOut(io, 6, "&X").add("ITEST", std::span<const int>(v)).end();
  std::istringstream lines(out.str());
  std::string line, joined;
  std::getline(lines, line);
  EXPECT_EQ(line, "&X");
  while (std::getline(lines, line) && line != " /") {
    EXPECT_LE(line.size(), 80u);
    EXPECT_EQ(line[0], ' ');
    joined += line.substr(1);
  }
  std::string want = "ITEST=";
  for (int k = 0; k < 30; ++k) want += std::to_string(100000 + k) + ",";
  EXPECT_EQ(joined, want + "10*-7,");
}

}  // namespace
