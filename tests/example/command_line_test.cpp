// The command line: --help, --version, other arguments, and the hint when
// standard input is a terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "example/water_case.hpp"
#include "support/terminal_run.hpp"

namespace {

using namespace water;
namespace fs = std::filesystem;

TEST(CommandLine, HelpVersionAndOtherArguments) {
  test::ScratchDir dir;
  const auto help = test::run_on_terminal(dir, {CIPROP_EXE, "--help"}, false, false);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: ciprop < input > report\n", 0), 0u) << help.out;
  for (const char* topic : {"&ROFIL", "&RHO", "&RHC", "&COST", "NUMERO", "INPORB", "OneInt",
                            "ciprop-results.json", "Exit status: 0", "210, 211, 212"})
    EXPECT_NE(help.out.find(topic), std::string::npos) << topic;
  EXPECT_EQ(help.err, "");

  const auto version = test::run_on_terminal(dir, {CIPROP_EXE, "--version"}, false, false);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "ciprop 1.0.0\n");

  for (std::vector<std::string> args : {std::vector<std::string>{CIPROP_EXE, "input"},
                                        {CIPROP_EXE, "--help", "extra"}}) {
    const auto bad = test::run_on_terminal(dir, args, false, false);
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(test::split_lines(bad.err).at(0),
              "ciprop: unknown argument '" + args.back() +
                  "'; the options are namelist groups on standard input");
    EXPECT_NE(bad.err.find("Usage: ciprop"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path() / "BID93")) << "a refused command line ran";
  }
}

TEST(CommandLine, ATerminalOnStandardInputGetsOneHint) {
  const std::string hint =
      "ciprop: reading the namelist groups &ROFIL, &RHO, &RHC, &COST from standard input (end "
      "with Ctrl-D; ciprop --help tells more)";
  test::ScratchDir dir;
  const auto typed = test::run_on_terminal(dir, {CIPROP_EXE}, true, false);
  EXPECT_EQ(test::split_lines(typed.err).at(0), hint);
  test::ScratchDir dir2;
  const auto piped = test::run_on_terminal(dir2, {CIPROP_EXE}, false, false, kRofil);
  EXPECT_EQ(piped.err.find(hint), std::string::npos) << piped.err;
}

}  // namespace
