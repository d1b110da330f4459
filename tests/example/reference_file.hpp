// The reference values of a bundled example: reference.txt holds lines
// "<section> <name> <values>", and '#' starts a comment line.
#pragma once
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace test {

using Reference = std::map<std::string, std::vector<double>>;

inline Reference read_reference(const std::filesystem::path& file) {
  Reference ref;
  std::ifstream f(file);
  for (std::string line; std::getline(f, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    std::string section, name;
    s >> section >> name;
    for (double v; s >> v;) ref[section + " " + name].push_back(v);
  }
  return ref;
}

}  // namespace test
