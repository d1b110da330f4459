// Naming and opening the input files of a run, and the run options.  Every
// file of the CI program and of MOLCAS is named from a shared prefix and a
// base name, or given whole by the user in "&ROFIL"; each is opened on its
// fixed unit, and the MOLCAS binary files get byte-level descriptors.
#pragma once
#include <string>
#include <string_view>

#include "core/run_state.hpp"
#include "core/unit_numbers.hpp"
#include "fortio/units.hpp"

namespace ciprop {

// Length of every file name of "&ROFIL", and of a name joined by colle.
inline constexpr int kNameLength = 80;

// Reads "&ROFIL", "&RHO" and "&RHC", opens every input file on its unit,
// fills ref2, filc (and filcnom), orbnom and the run options, and prints the
// opening report.
void openf(Run& run);
// Sets the run options to their defaults and decodes "&RHO" and "&RHC".
void lirdav(Run& run);
// The name of a CI file from the prefix and a base name: each contributes the
// part before its first blank, provided that blank lies in its first 10
// characters.  The result is blank-padded to 20 characters.
std::string nomf(std::string_view prefix, std::string_view base);
// Composes (when `full` is blank), reports and opens a file of the CI
// program on `unit`.  A file that cannot be opened ends the run with an
// input/output error naming the unit and the file; an optional one leaves
// the unit closed.
void nomfil(Run& run, int unit, std::string_view base, std::string_view full,
            std::string_view prefix, fio::Status status, fio::Form form, bool optional = false);
// Reports and opens a MOLCAS binary file for byte-level reading: `full` when
// given, else `composed`.  Returns the descriptor, -1 when the file does not
// exist; `name` receives the name used.
int nomfil3(Run& run, std::string_view full, std::string_view composed, std::string& name);
// Joins the non-blank characters of a and b into `result` (blank-padded to
// `capacity`); `length` is the count joined.  A join that does not fit stops
// the run.
void colle(Run& run, std::string_view a, std::string_view b, std::string& result, int& length,
           int capacity = kNameLength);

}  // namespace ciprop
