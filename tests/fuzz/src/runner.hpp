// One run of the program in a folder of its own, with a time limit, and the
// verdict on what it left behind.
#pragma once
#include <filesystem>
#include <string>

#include "mutation.hpp"

namespace fuzz {

struct RunOutput {
  int status = -1;   // exit status, -1 when ended by a signal
  int signal = 0;    // the signal that ended it
  bool timed_out = false;
  std::string out, err;
};

// Runs exe in dir with stdin_text on standard input (or standard input in
// another form); kills it (its process group) after timeout seconds.
// fsize_limit >= 0 limits every file it writes.
RunOutput run_in(const std::string& exe, const std::filesystem::path& dir,
                 const std::string& stdin_text, double timeout, long fsize_limit,
                 StdinForm form = StdinForm::kFile);

// Writes the folder's files into dir (emptied first).
void write_folder(const std::filesystem::path& dir, const Folder& folder);
// Writes a damaged folder: its files, its links, FIFOs and folders, and the
// file outside it that links may reach.
void write_damaged(const std::filesystem::path& dir, const Damaged& d);
// Reads every regular file of dir.
Folder read_folder(const std::filesystem::path& dir);

// The property tables of a report: the lines from the units banner to the end.
std::string moments_block(const std::string& report);

// Two property tables alike: the same words, numbers equal to 1e-12
// relative (the sums may run in another order).
bool same_moments(const std::string& a, const std::string& b);

enum class Verdict {
  Same,          // status 0 and the moments of the intact case (to rounding)
  Defaults,      // no text on standard input: a run on the defaults, told
  Refused,       // non-zero status with a "ciprop:" line
  Sanitizer,     // a sanitizer or subscript-check report
  Crash,         // ended by a signal without a report
  Hang,          // killed at the time limit
  InputChanged,  // an input file changed, vanished or was created
  SilentWrong,   // status 0 with other, finite moments
  NoMoments,     // status 0 with moments missing or not finite
  ErrorNoLine,   // non-zero status without a "ciprop:" line
  NoReason,      // a stop whose only line is the last resort, "stopped on an error"
  StdinReused,   // standard input without text, and a run that did not say so
};
const char* verdict_name(Verdict v);
bool is_failure(Verdict v);

// The first input file the run changed: rewritten, removed, or created when
// the damage had removed it, or the file outside the folder; empty when
// none.  The leftovers of an earlier run may change.
std::string changed_input(const Damaged& before, const Folder& after, const Folder& intact,
                          const std::filesystem::path& dir);

// before: the damaged folder as given to the run; after: the folder after it.
Verdict judge(const RunOutput& r, const Damaged& before, const Folder& after,
              const Folder& intact, const std::string& reference_moments,
              const std::filesystem::path& dir);

// A short signature of a sanitizer or subscript report (kind and place).
std::string sanitizer_signature(const std::string& err);

}  // namespace fuzz
