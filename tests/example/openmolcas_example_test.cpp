// The OpenMolcas example (water CASSCF(4,4) from OpenMolcas 22.10, a CAS-CI
// of the same space on its orbitals) run by the real binary: the moments of
// the lowest root are those RASSCF printed for its state
// (example/openmolcas/case/reference.txt, 8 decimals).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "example/reference_file.hpp"
#include "support/run_in_dir.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kCase = fs::path(CIPROP_SOURCE_DIR) / "example" / "openmolcas" / "case";

using test::Reference;

Reference read_reference() { return test::read_reference(kCase / "reference.txt"); }

// The case in a scratch folder, its binary files unpacked.
test::RunResult run_case(const test::ScratchDir& dir) {
  for (const auto& e : fs::directory_iterator(kCase))
    fs::copy_file(e.path(), dir.path() / e.path().filename());
  const std::string unpack = "cd '" + dir.path().string() + "' && gzip -d *.gz";
  EXPECT_EQ(std::system(unpack.c_str()), 0);
  std::ifstream in(kCase / "input");
  std::stringstream text;
  text << in.rdbuf();
  return test::run_binary(dir, text.str());
}

// The three numbers of the output line that starts with the label.
std::vector<double> row(const std::string& out, const std::string& label) {
  std::vector<double> values;
  for (const auto& line : test::split_lines(out)) {
    const auto start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, label.size() + 1, label + " ") != 0)
      continue;
    std::istringstream s(line.substr(start + label.size()));
    for (double v; s >> v;) values.push_back(v);
  }
  return values;
}

TEST(OpenMolcasExample, MomentsOfTheLowestRootAreThoseRasscfPrints) {
  const auto ref = read_reference();
  test::ScratchDir dir;
  const auto r = run_case(dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::split_lines(r.out).back(), " FIN");
  EXPECT_NE(r.out.find("water C2v cc-pVDZ"), std::string::npos) << "Gateway's title";
  const char* names[] = {"x", "y", "z", "xx", "xy", "xz", "yy", "yz", "zz"};
  int compared = 0;
  for (int k = 0; k < 9; ++k) {
    const std::string n = names[k];
    std::vector<std::pair<std::string, std::string>> rows = {{"mu" + n, "mu" + n}};
    if (k >= 3) rows.push_back({"theta " + n, "theta" + n});
    for (const auto& [label, key] : rows) {
      SCOPED_TRACE(label);
      const auto v = row(r.out, label);
      const auto& want = ref.at("rasscf " + key);
      ASSERT_EQ(v.size(), 3u);
      // OpenMolcas prints 8 decimals; the program prints the nuclear
      // column with 8 significant digits.
      EXPECT_NEAR(v[0], want[0], 5.1e-9) << "electronic";
      EXPECT_NEAR(v[1], want[1], 1e-7) << "nuclear";
      EXPECT_NEAR(v[2], want[2], 5.1e-9) << "total";
      ++compared;
    }
  }
  EXPECT_EQ(compared, 15);
}

}  // namespace
