// The results file of a finished run against the numbers of the report.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "example/water_case.hpp"
#include <cmath>
#include <regex>
#include <sstream>

namespace {

using namespace water;
namespace fs = std::filesystem;

TEST(ResultsFile, TransitionAgainstTheReport) {
  test::ScratchDir dir;
  auto r = run_case(dir, kRofil + kRho + kRhc + kCost);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string json = dir.read("ciprop-results.json");
  EXPECT_NE(json.find("\"kind\": \"transition\""), std::string::npos);
  EXPECT_NE(json.find("\"generation_mode\": \"CAS\""), std::string::npos);
  EXPECT_NE(json.find("\"version\": \"1.0.0\""), std::string::npos);
  EXPECT_EQ(json.find("\"dipole\""), std::string::npos) << "a transition has no state dipole";
  const double mu2 = json_number(json, "magnitude_squared");
  const double de = json_number(json, "hartree");
  const double f = json_number(json, "oscillator_strength");
  EXPECT_EQ(mu2, report_row(r.out, " moment dipolaire de transition (electr)").at(0));
  EXPECT_EQ(json_number(json, "magnitude"), report_row(r.out, " amu electr - ").at(0));
  EXPECT_EQ(f, 2.0 / 3.0 * de * mu2);
  // The report's f, now with 2/3 in double precision, to the last digits.
  EXPECT_NEAR(report_row(r.out, " force d'oscillateur").at(0), f, 4e-16 * f);
  EXPECT_NEAR(json_number(json, "ev"), de * 27.211386245988, 1e-14);
  EXPECT_NEAR(json_number(json, "nm"), 45.56335252767 / de, 1e-12);
  EXPECT_NEAR(json_number(json, "magnitude_debye"), 2.541746473 * std::sqrt(mu2), 1e-15);
  EXPECT_EQ(json.back(), '\n');
}

TEST(ResultsFile, StateMomentsAgainstTheReportAndNoEarlierFileAfterAFailure) {
  test::ScratchDir dir;
  copy_case(dir);
  dir.write("ciprop-results.json", "earlier\n");
  dir.write("ciprop-spectrum.svg", "earlier\n");
  const std::string state_rho =
      " &RHO NDEL=1,0,0,0, NGEL=1,0,0,0, NUMERO=1,1, ISX=3, ISY=4 /\n";
  // A refused run leaves no results file that a script could take for its own.
  auto refused = test::run_binary(dir, kRofil + state_rho + " &RHC IPROP=0, MOLKAS=5 /\n" + kCost);
  EXPECT_EQ(refused.status, 1);
  EXPECT_FALSE(fs::exists(dir.path() / "ciprop-results.json"));
  EXPECT_FALSE(fs::exists(dir.path() / "ciprop-spectrum.svg"));

  // The case has no density file: the state density is computed.
  auto r = test::run_binary(dir, kRofil + state_rho + " &RHC IPROP=0, MOLCAS=5, CALCRO=1 /\n" + kCost);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string json = dir.read("ciprop-results.json");
  EXPECT_NE(json.find("\"kind\": \"state\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"nm\": null"), std::string::npos);
  EXPECT_EQ(json.find("oscillator_strength"), std::string::npos);
  // "total": [x, y, z] of the dipole is the report's total column.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(json, m, std::regex("\"dipole\": \\{[^}]*\"total\": \\[([^\\]]*)\\]")));
  std::istringstream totals(std::regex_replace(std::string(m[1]), std::regex(","), " "));
  for (const char* label : {"  mux ", "  muy ", "  muz "}) {
    double v = 0;
    totals >> v;
    EXPECT_EQ(v, report_row(r.out, label).at(2)) << label;
  }
  EXPECT_EQ(json_number(json, "effective"), report_row(r.out, " theta eff   ").at(0));
  EXPECT_NE(json.find("\"origin\": "), std::string::npos);
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

// A results file that cannot be taken away fails the run at its start, and
// leaves no temporary file behind.
TEST(ResultsFile, AnEarlierFileThatCannotBeRemovedIsAnInputOutputError) {
  test::ScratchDir dir;
  copy_case(dir);
  fs::create_directory(dir.path() / "ciprop-results.json");
  auto r = test::run_binary(dir, kRofil + kRho + kRhc + kCost);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "ciprop: input/output error: cannot remove the file ciprop-results.json of "
                   "an earlier run (Is a directory); remove it, so that it is not taken for this "
                   "run's\n");
  EXPECT_EQ(r.out.find(" FIN"), std::string::npos);
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

}  // namespace
