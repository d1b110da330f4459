// The progress display of the long stages: on a terminal only, erased at the
// end of every stage, never on standard output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "example/water_case.hpp"
#include "support/terminal_run.hpp"

namespace {

using namespace water;

// What a one-line terminal shows after `text`: a carriage return goes back to
// the first column, "ESC [ K" clears from the cursor on, other characters
// overwrite.
std::string visible(const std::string& text) {
  std::string line;
  size_t col = 0;
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] == '\r') {
      col = 0;
    } else if (text.compare(k, 3, "\033[K") == 0) {
      line.resize(col);
      k += 2;
    } else {
      if (col < line.size())
        line[col] = text[k];
      else
        line.push_back(text[k]);
      ++col;
    }
  }
  return line;
}

TEST(Progress, ShownOnATerminalErasedAtEveryStageEndAndNeverOnStandardOutput) {
  const std::string input = kRofil + kRho + kRhc + kCost;
  test::ScratchDir on_terminal, off_terminal;
  copy_case(on_terminal);
  copy_case(off_terminal);
  const auto t = test::run_on_terminal(on_terminal, {CIPROP_EXE}, false, true, input);
  const auto f = test::run_on_terminal(off_terminal, {CIPROP_EXE}, false, false, input);
  ASSERT_EQ(t.status, 0) << t.terminal;
  ASSERT_EQ(f.status, 0) << f.err;

  EXPECT_EQ(t.out, f.out) << "the report depends on where standard error goes";
  EXPECT_EQ(f.err, "") << "progress written off the terminal";
  for (const char* stage : {"list check", "reordering", "integrals", "density"}) {
    const size_t at = t.terminal.find(std::string("\r") + stage + " ");
    ASSERT_NE(at, std::string::npos) << stage << " not shown in:\n" << t.terminal;
    // The display of one stage is erased before anything else is written.
    const size_t erased = t.terminal.find("\r\033[K", at);
    ASSERT_NE(erased, std::string::npos) << stage;
    EXPECT_EQ(visible(t.terminal.substr(0, erased + 4)), "") << stage;
  }
  EXPECT_EQ(visible(t.terminal), "");
  EXPECT_EQ(t.terminal.find('\n'), std::string::npos) << "progress lines scroll";
}

}  // namespace
