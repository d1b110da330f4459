// Every stop of the program tells why.  A stop can only be raised through
// the functions of fortio/stop.hpp, each of which takes the reason shown on
// standard error; this walks every call of them, and of the helpers built on
// them, in the program's sources, and fails on one whose reason is empty or
// a bare word, and on any "ciprop:" line written around them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The stopping functions and the place (from 0) of their reason argument.
const std::map<std::string, size_t> kReasonArgument = {
    {"stop_error", 1},   {"stop_code", 2},     {"stop_text", 2},   {"stop_io", 1},
    {"refuse", 2},       {"refuse_input", 1},  {"verdim", 4},      {"io_error", 1},
    {"molcas_refuse", 2}, {"molcas_fault", 2}, {"necerr", 5},      {"item_error", 5},
    {"bad_character", 6}};

// The arguments of the call whose "(" is at `open`, split at the commas of
// its own level; quotes and nested brackets are skipped.
std::vector<std::string> arguments(const std::string& s, size_t open) {
  std::vector<std::string> args(1);
  int depth = 0;
  for (size_t k = open + 1; k < s.size(); ++k) {
    const char c = s[k];
    if (c == '"' || c == '\'') {
      const size_t end = k;
      for (++k; k < s.size() && s[k] != c; ++k)
        if (s[k] == '\\') ++k;
      args.back() += s.substr(end, k - end + 1);
      continue;
    }
    if (c == '(' || c == '{' || c == '[') ++depth;
    if (c == ')' || c == '}' || c == ']') {
      if (depth-- == 0) return args;
    }
    if (c == ',' && depth == 0) {
      args.emplace_back();
      continue;
    }
    args.back() += c;
  }
  return {};
}

// A reason made of string literals alone must say something: a few words.
bool says_something(std::string arg) {
  arg.erase(0, arg.find_first_not_of(" \n"));
  arg.erase(arg.find_last_not_of(" \n") + 1);
  if (arg.empty() || arg == "\"\"" || arg == "{}" || arg == "std::string()") return false;
  if (arg.front() != '"') return true;  // built from values: checked by its words around them
  std::string text;
  for (size_t k = 0; k < arg.size(); ++k)
    if (arg[k] == '"')
      for (++k; k < arg.size() && arg[k] != '"'; ++k) text += arg[k];
  return std::count(text.begin(), text.end(), ' ') >= 2;
}

std::string source(const fs::path& p) {
  std::ifstream f(p);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

TEST(Stops, EveryStopOfTheProgramGivesAReasonOfItsOwn) {
  const fs::path root = CIPROP_SOURCE_DIR;
  int calls = 0;
  for (const char* folder : {"fortio", "core", "input", "orbitals", "detspace", "density", "driver"})
    for (const auto& entry : fs::directory_iterator(root / folder)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".cpp" && ext != ".hpp") continue;
      const std::string s = source(entry.path());
      const std::string file = std::string(folder) + "/" + entry.path().filename().string();
      for (const auto& [name, reason] : kReasonArgument)
        for (size_t at = s.find(name + "("); at != std::string::npos;
             at = s.find(name + "(", at + 1)) {
          if (at > 0 && (is_name_char(s[at - 1]))) continue;
          const size_t line = 1 + std::count(s.begin(), s.begin() + at, '\n');
          const std::string before = s.substr(s.rfind('\n', at) + 1, at - s.rfind('\n', at) - 1);
          // Declarations and definitions name the parameter, not a reason.
          if (before.find("void ") != std::string::npos || before.find("//") != std::string::npos)
            continue;
          const std::vector<std::string> args = arguments(s, at + name.size());
          ++calls;
          ASSERT_GT(args.size(), reason) << file << ":" << line << " " << name << " without a reason";
          EXPECT_TRUE(says_something(args[reason]))
              << file << ":" << line << " " << name << " gives the reason " << args[reason];
        }
      // The line "ciprop: ..." of a stop is written by the stop itself; the
      // others are the warnings, the command line's, the entry point's last
      // resorts and the subscript check of the test build.
      static const std::vector<std::string> kWriters = {
          "fortio/stop.cpp", "input/input_checks.cpp", "driver/command_line.cpp",
          "driver/driver.cpp", "core/farray.hpp"};
      if (std::find(kWriters.begin(), kWriters.end(), file) != kWriters.end()) continue;
      std::istringstream lines(s);
      for (std::string l; std::getline(lines, l);)
        EXPECT_TRUE(l.find("\"ciprop: ") == std::string::npos ||
                    l.find_first_not_of(' ') == l.find("//"))
            << file << " writes a ciprop: line of its own: " << l;
    }
  EXPECT_GT(calls, 150);
}

}  // namespace
