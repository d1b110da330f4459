// The bundled example (water, cc-pVDZ RHF orbitals, CAS(6,6) CI, two A1
// roots) run by the real binary, against the values psi4 gives for the same
// orbitals, integrals and CI space (example/case/reference.txt).
#include <gtest/gtest.h>

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

const fs::path kCase = fs::path(CIPROP_SOURCE_DIR) / "example" / "case";

using test::Reference;

Reference read_reference() { return test::read_reference(kCase / "reference.txt"); }

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Runs the case in a scratch folder with the case's input, edited by the
// given replacements (each must be found).
test::RunResult run_case(const test::ScratchDir& dir,
                         const std::vector<std::pair<std::string, std::string>>& edits = {}) {
  for (const auto& e : fs::directory_iterator(kCase))
    fs::copy_file(e.path(), dir.path() / e.path().filename());
  std::string input = slurp(kCase / "input");
  for (const auto& [from, to] : edits) {
    auto at = input.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) input.replace(at, from.size(), to);
  }
  return test::run_binary(dir, input);
}

// The numbers on the one output line that starts, after its leading blanks,
// with the label and a blank.
std::vector<double> row(const std::string& out, const std::string& label) {
  std::vector<double> values;
  int found = 0;
  for (const auto& line : test::split_lines(out)) {
    auto start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, label.size() + 1, label + " ") != 0)
      continue;
    ++found;
    std::istringstream s(line.substr(start + label.size()));
    for (double v; s >> v;) values.push_back(v);
  }
  EXPECT_EQ(found, 1) << "line " << label;
  return values;
}

// The density is computed from the vectors only once the density stage is
// part of the run; until then the report shows no electronic part.
bool density_computed(const test::RunResult& r) {
  return r.out.find("Todos los valores en unidades atomicas") != std::string::npos &&
         r.out.find("La matriz de densidad se calcula") != std::string::npos;
}

const char* const kDipoles[] = {"mux", "muy", "muz"};
const char* const kQuadrupoles[] = {"muxx", "muxy", "muxz", "muyy", "muyz", "muzz"};
const char* const kThetas[] = {"xx", "xy", "xz", "yy", "yz", "zz"};

TEST(Example, TransitionMomentsAndOscillatorStrengthAreThoseOfPsi4) {
  const Reference ref = read_reference();
  test::ScratchDir dir;
  const auto r = run_case(dir);
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(test::split_lines(r.out).back(), " FIN");
  if (!density_computed(r)) GTEST_SKIP() << "the run computes no density yet";

  // Electronic column: the transition moment; nuclear column: the nuclei's
  // moment, printed with 8 significant digits.
  for (const char* m : kDipoles) {
    auto v = row(r.out, m);
    ASSERT_EQ(v.size(), 3u) << m;
    const auto& want = ref.at(std::string("transition ") + m);
    EXPECT_NEAR(v[0], want[0], 1e-8) << m;
    EXPECT_NEAR(v[1], want[1], 1e-7) << m;
  }
  for (const char* m : kQuadrupoles) {
    auto v = row(r.out, m);
    ASSERT_EQ(v.size(), 3u) << m;
    EXPECT_NEAR(v[0], ref.at(std::string("transition ") + m)[0], 1e-8) << m;
  }
  EXPECT_NEAR(row(r.out, "deltae").at(0), ref.at("transition deltae")[0], 1e-9);
  EXPECT_NEAR(row(r.out, "moment dipolaire de transition (electr)").at(0),
              ref.at("transition mu2_electronic")[0], 1e-8);
  EXPECT_NEAR(row(r.out, "force d'oscillateur").at(0),
              ref.at("transition oscillator_strength")[0], 1e-8);
}

// A state density (the same root twice, computed from the vector) carries the
// frozen and inactive electrons as well as the active ones: every column of
// every table is the state's moment.
class ExampleState : public testing::TestWithParam<int> {};

TEST_P(ExampleState, MomentsAreThoseOfPsi4) {
  const Reference ref = read_reference();
  const int root = GetParam();
  const std::string section = "root" + std::to_string(root) + " ";
  const std::string numero = "NUMERO=" + std::to_string(root) + "," + std::to_string(root) + ",";
  test::ScratchDir dir;
  const auto r = run_case(dir, {{"NUMERO=1,2,", numero},
                                {"IPROP=0,MOLCAS=5,", "IPROP=0,MOLCAS=5,CALCRO=1,"}});
  EXPECT_EQ(r.status, 0) << r.err;
  if (!density_computed(r)) GTEST_SKIP() << "the run computes no density yet";

  auto expect_row = [&](const std::string& label, const std::string& key) {
    auto v = row(r.out, label);
    ASSERT_EQ(v.size(), 3u) << label;
    const auto& want = ref.at(section + key);
    EXPECT_NEAR(v[0], want[0], 1e-8) << label << " electronic";
    EXPECT_NEAR(v[1], want[1], 1e-7) << label << " nuclear";
    EXPECT_NEAR(v[2], want[2], 1e-8) << label << " total";
  };
  for (const char* m : kDipoles) expect_row(m, m);
  for (const char* m : kQuadrupoles) expect_row(m, m);
  for (const char* t : kThetas) expect_row(std::string("theta ") + t, std::string("theta") + t);
  EXPECT_NEAR(row(r.out, "theta eff").at(0), ref.at(section + "theta_eff")[0], 1e-8);
  EXPECT_NEAR(row(r.out, "moment dipolaire de transition (total)").at(0),
              ref.at(section + "mu2_total")[0], 1e-8);
  EXPECT_EQ(row(r.out, "force d'oscillateur").at(0), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Roots, ExampleState, testing::Values(1, 2));

}  // namespace
