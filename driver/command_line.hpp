// The command line.  The program reads its options as namelist groups on
// standard input; the only arguments are --help and --version.
#pragma once
#include <iosfwd>
#include <string_view>

namespace ciprop {

inline constexpr std::string_view kVersion = "1.0.0";

// The status of a run that the arguments end before it starts: 0 after
// --help or --version, 2 for any other argument (usage on standard error).
// -1 when there are no arguments and the run goes on.
int command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// When standard input is a terminal, one line on standard error says that
// the program waits for its namelist groups there.
void terminal_hint(bool input_is_terminal, std::ostream& err);

}  // namespace ciprop
