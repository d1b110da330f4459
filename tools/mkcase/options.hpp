// The command line of the mkcase tool, mapped onto a Description.
#pragma once
#include <string>
#include <vector>

#include "tools/mkcase/case.hpp"

namespace mkcase {

struct Options {
  Description d;
  std::string dir;
};

// Parses "--key=value" arguments and one folder name; throws
// std::invalid_argument with a message for anything it does not understand.
Options parse_options(const std::vector<std::string>& args);
extern const char* const kUsage;

}  // namespace mkcase
