// The bundled water case run by the real binary with an input of the test's
// own, and readers of what the run writes.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_in_dir.hpp"

namespace water {

namespace fs = std::filesystem;

inline const fs::path kCase = fs::path(CIPROP_SOURCE_DIR) / "example" / "case";

// The case's own input: all four groups, roots 1 and 2.
inline const std::string kRofil = " &ROFIL\n &END\n";
inline const std::string kRho = " &RHO\n NDEL=1,0,0,0,\n NGEL=1,0,0,0,\n NUMERO=1,2,\n ISX=3,ISY=4,ISZ=1,\n &END\n";
inline const std::string kRhc = " &RHC\n IPROP=0,MOLCAS=5,\n &END\n";
inline const std::string kCost = " &COST\n MOLCAS=5,\n &END\n";

inline void copy_case(const test::ScratchDir& dir) {
  for (const auto& e : fs::directory_iterator(kCase))
    fs::copy_file(e.path(), dir.path() / e.path().filename());
}

inline test::RunResult run_case(const test::ScratchDir& dir, const std::string& input) {
  copy_case(dir);
  return test::run_binary(dir, input);
}

inline std::string last_line(const std::string& text) {
  auto lines = test::split_lines(text);
  return lines.empty() ? "" : lines.back();
}

// The number after `name` in the results file.
inline double json_number(const std::string& json, const std::string& name) {
  std::smatch m;
  const std::regex re("\"" + name + "\": (-?[0-9.eE+-]+)");
  if (!std::regex_search(json, m, re)) ADD_FAILURE() << "no " << name << " in\n" << json;
  return m.empty() ? 0.0 : std::stod(m[1]);
}

// The numbers of a report line that starts with the label.
inline std::vector<double> report_row(const std::string& out, const std::string& label) {
  for (const auto& line : test::split_lines(out))
    if (line.rfind(label, 0) == 0) {
      std::vector<double> v;
      std::istringstream s(line.substr(label.size()));
      for (std::string w; s >> w;) v.push_back(std::stod(w));
      return v;
    }
  ADD_FAILURE() << "no line " << label;
  return {};
}

}  // namespace water
