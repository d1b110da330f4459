// Every stop of the program tells why.  A stop is raised only through the
// functions of fortio/stop.hpp, which take the reason shown on standard
// error; this walks every call of them, and of the helpers built on them,
// in the program's sources, and fails on a reason that is empty or a bare
// word, and on a "ciprop:" line written beside them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

// The stopping functions and the place (from 0) of their reason argument.
const std::map<std::string, size_t> kReasonArgument = {
    {"stop_error", 1}, {"stop_code", 2},     {"stop_text", 2},    {"stop_io", 1},
    {"refuse", 2},     {"refuse_input", 1},  {"verdim", 4},       {"io_error", 1},
    {"necerr", 5},     {"molcas_refuse", 2}, {"molcas_fault", 2}, {"item_error", 5},
    {"fault", 1},      {"orbital_fault", 1}, {"bad_list", 2},     {"refuse_list", 2},
    {"refuse_listed", 3}, {"molcas_stop", 2}, {"refuse_count", 3}, {"refuse_space", 2}};

// The argument `want` of the call whose "(" is at `open`; quoted text and
// nested brackets are skipped.  Empty when the call has fewer arguments.
std::string argument(const std::string& s, size_t open, size_t want) {
  std::string arg;
  size_t n = 0;
  for (size_t k = open + 1, depth = 0; k < s.size(); ++k) {
    if (s[k] == '"') {
      const size_t from = k;
      for (++k; s[k] != '"'; ++k) k += s[k] == '\\';
      if (n == want) arg += s.substr(from, k - from + 1);
      continue;
    }
    if (std::string("({[").find(s[k]) != std::string::npos) ++depth;
    if (std::string(")}]").find(s[k]) != std::string::npos && depth-- == 0) break;
    if (s[k] == ',' && depth == 0) ++n;
    else if (n == want) arg += s[k];
  }
  arg.erase(0, arg.find_first_not_of(" \n"));
  return arg;
}

// A reason of literals alone must be words; one built from values is.
bool says_something(const std::string& arg) {
  if (arg.empty() || arg[0] != '"') return !arg.empty() && arg != "{}" && arg != "std::string()";
  return std::count(arg.begin(), arg.end(), ' ') >= 2;
}

TEST(Stops, EveryStopOfTheProgramGivesAReasonOfItsOwn) {
  const std::filesystem::path root = CIPROP_SOURCE_DIR;
  int calls = 0;
  for (const char* folder : {"fortio", "core", "input", "orbitals", "detspace", "density", "driver"})
    for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
      std::stringstream text;
      text << std::ifstream(entry.path()).rdbuf();
      const std::string s = text.str(), file = entry.path().filename().string();
      for (const auto& [name, place] : kReasonArgument)
        for (size_t at = s.find(name + "("); at != std::string::npos; at = s.find(name + "(", at + 1)) {
          const std::string line = s.substr(s.rfind('\n', at) + 1, at - s.rfind('\n', at) - 1);
          // Declarations name the parameter; a longer name is another function.
          if (std::isalnum(s[at - 1]) || s[at - 1] == '_' || line.find("void ") != std::string::npos ||
              line.find("//") != std::string::npos)
            continue;
          ++calls;
          EXPECT_TRUE(says_something(argument(s, at + name.size(), place)))
              << file << ": " << name << " at byte " << at << " gives no reason of its own";
        }
      // The line "ciprop: ..." of a stop is the stop's; warnings, the command
      // line, the entry point's last resorts and the subscript check of the
      // test build write their own.
      if (file == "stop.cpp" || file == "input_checks.cpp" || file == "command_line.cpp" ||
          file == "driver.cpp" || file == "farray.hpp")
        continue;
      std::istringstream lines(s);
      for (std::string l; std::getline(lines, l);)
        EXPECT_TRUE(l.find("\"ciprop: ") == std::string::npos || l.find("//") < l.find('"'))
            << file << " writes a ciprop: line of its own: " << l;
    }
  EXPECT_GT(calls, 150);
}

}  // namespace
