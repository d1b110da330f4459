// The results file: the numbers of a finished run in JSON, beside the report,
// for scripts that would otherwise scrape the report.  Atomic: the file is
// written under a temporary name and renamed, so an existing file of that
// name is replaced only by a complete one.
#pragma once
#include <string>
#include <string_view>

#include "core/run_state.hpp"

namespace ciprop {

inline constexpr std::string_view kResultsFile = "ciprop-results.json";

// Conversion factors (CODATA 2018): the dipole of one atomic unit (e a0) in
// debye, one hartree in electronvolt, and the wavelength of a photon of one
// hartree in nanometre.
inline constexpr double kDebyePerAu = 2.541746473;
inline constexpr double kEvPerHartree = 27.211386245988;
inline constexpr double kNmHartree = 45.56335252767;

// The results of the run in `run` (after the property report) as JSON text.
// Reads the heads of the two vector files again for the root energies and
// leaves both files rewound.
std::string results_json(Run& run, std::string_view version);
// Removes an output file (kResultsFile, the spectrum's picture) of an
// earlier run, at the start of a run, so that a run that fails leaves none
// for a script to take as its own.
void remove_earlier_output(Run& run, std::string_view name);
// Writes results_json to kResultsFile in the working folder.  A failed write
// leaves any earlier file untouched and ends the run with an input/output
// error.
void write_results(Run& run, std::string_view version);
// Writes `text` to the file `name` in the working folder as write_results
// does: under a temporary name, then renamed.
void write_whole_file(Run& run, std::string_view name, const std::string& text);

}  // namespace ciprop
