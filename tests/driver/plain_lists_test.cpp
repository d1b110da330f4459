// Determinant lists in the plain layout, told from the packed one by their
// first record, run end to end on generated cases.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_in_dir.hpp"

namespace {

namespace fs = std::filesystem;

// Generates a case with mkcase into dir/name.
fs::path make_case(const test::ScratchDir& dir, const std::string& name, const std::string& args) {
  const std::string cmd = "'" MKCASE_EXE "' " + args + " '" + (dir.path() / name).string() +
                          "' > /dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return dir.path() / name;
}

// "name v1 v2 ..." lines of the generator's expected file.
std::map<std::string, std::vector<double>> expected(const test::ScratchDir& dir,
                                                    const std::string& name) {
  std::map<std::string, std::vector<double>> values;
  std::istringstream f(dir.read(name + "/expected"));
  for (std::string line; std::getline(f, line);) {
    std::istringstream s(line);
    std::string key;
    s >> key;
    for (std::string w; s >> w;) {
      try {
        values[key].push_back(std::stod(w));
      } catch (...) {
        break;
      }
    }
  }
  return values;
}

test::RunResult run_in(const fs::path& folder) {
  const std::string cmd = "cd '" + folder.string() + "' && '" CIPROP_EXE
                          "' < input > .stdout 2> .stderr";
  const int rc = std::system(cmd.c_str());
  test::RunResult r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  std::ifstream out(folder / ".stdout"), err(folder / ".stderr");
  r.out.assign(std::istreambuf_iterator<char>(out), {});
  r.err.assign(std::istreambuf_iterator<char>(err), {});
  return r;
}

std::vector<double> report_row(const std::string& out, const std::string& label) {
  for (const auto& line : test::split_lines(out))
    if (line.rfind(label, 0) == 0) {
      std::vector<double> v;
      std::istringstream s(line.substr(label.size()));
      for (double x; s >> x;) v.push_back(x);
      return v;
    }
  return {};
}

TEST(PlainLists, GeneratedCasesRunEndToEnd) {
  const char* const descriptions[] = {
      "--nsym=2 --ninac=2,1 --nact=2,2 --nvirt=4,3 --nelac=4 --gener=DDCI --nroots=2 "
      "--roots=1,2 --iprop=0",
      "--nsym=1 --ninac=2 --nact=4 --nvirt=5 --nelac=3 --ms2=-1 --gener=TOUS --nroots=3 "
      "--roots=3,1",
  };
  for (const char* d : descriptions) {
    SCOPED_TRACE(d);
    test::ScratchDir dir;
    const fs::path folder = make_case(dir, "plain", std::string(d) + " --plain");
    auto want = expected(dir, "plain");
    const auto r = run_in(folder);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* m : {"mux", "muy", "muz"}) {
      const auto got = report_row(r.out, std::string("  ") + m + " ");
      ASSERT_EQ(got.size(), 3u) << m;
      // The nuclear column is printed with 8 digits.
      for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(got[k], want.at(m).at(k),
                    (k == 1 ? 1e-7 : 1e-12) * (1 + std::abs(want.at(m).at(k))))
            << m;
    }
    const double f = want.at("fosc").at(0);
    EXPECT_NEAR(report_row(r.out, " force d'oscillateur").at(0), f, 1e-12 * (1 + std::abs(f)));
  }
}

TEST(PlainLists, TwoListsOfDifferentLayoutsAreRefused) {
  test::ScratchDir dir;
  const std::string d = "--nsym=1 --ninac=1 --nact=3 --nvirt=2 --nelac=2 --gener=CAS --roots=1,2";
  const fs::path packed = make_case(dir, "packed", d);
  const fs::path plain = make_case(dir, "plain", d + " --plain");
  fs::copy_file(plain / "deta", packed / "deta", fs::copy_options::overwrite_existing);
  const auto r = run_in(packed);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "ciprop: the determinant lists deta and detb have different layouts (plain and "
            "packed)\n");
}

}  // namespace
