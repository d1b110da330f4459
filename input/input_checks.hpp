// Standard input that cannot silently mean something else.  The namelist
// reader skips text it does not look for: a misspelt group or key would be
// passed over and the run would finish on defaults.  These checks refuse
// such input (a line "ciprop: ..." on standard error, non-zero status) and
// tell on standard error, as "ciprop: warning: ...", what a run uses when a
// group is missing.  The CI program's own files are not checked: their
// groups hold keys for other programs.
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/run_state.hpp"

namespace ciprop {

// The groups of standard input, in the order the stages read them.
inline constexpr std::string_view kInputGroups[] = {"&ROFIL", "&RHO", "&RHC", "&COST"};

// Scans the copy of standard input (unit 93, rewound afterwards) for group
// names.  A name that is not one of kInputGroups is refused; a group that
// the reader will not find (missing, or placed where the search has already
// passed) gets one warning saying what is used instead.
void check_input_groups(Run& run);

// Checks the items of a group of standard input once its keys are decoded:
// `given` is the group text before decoding, `left` the text after it (every
// decoded item blanked).  Refuses a repeat count below 1 ("0*5": a value
// that would be stored no time) and the first item that no decoding took,
// naming the group, the key and the valid keys.
void check_items(Run& run, std::string_view group, const std::string& given,
                 const std::string& left, std::span<const std::string_view> valid);

// Warns when NUMERO gave one root only (`stored` values).
void warn_single_root(Run& run, int stored);

// The MOLCAS version may stand in "&RHC" and in "&COST": two different
// values are refused.
void check_molcas_versions(Run& run, int rhc, int cost);

// File names that do not mean what they seem to, after the orbital file is
// chosen: an ORB1 that does not open (and the file used instead), orbitals
// taken from the working folder while PREFIX points elsewhere, and a PREFIX
// that reaches the CI file names cut (`ci_prefix`: the part of it that the
// names composed from base names carry).
void warn_file_names(Run& run, std::string_view orb1, std::string_view prefix,
                     std::string_view ci_prefix);

// The files this program writes in the working folder.
inline constexpr std::string_view kScratchNames[] = {"BID75", "BID93", "IADRV",
                                                     "BID84", "ORDET", "Mattemp"};

// The names the inputs take when standard input does not name them.
inline constexpr std::string_view kInputBaseNames[] = {
    "vrt",    "Info",   "deta",   "detb",   "daveca", "davecb", "INPORB", "RasOrb",
    "ScfOrb", "OneInt", "TraOne", "ComFile", "RunFile", "OCCMRS", "dens"};

// Refuses standard input (its lines, read before any scratch file is
// opened) when a file name quoted in it, alone or after another quoted name
// as a prefix, or an input under its usual name (alone or after a quoted
// prefix), is one of the scratch files: the run would overwrite an input.
// Files are compared by identity, so "./BID75" and a link are caught too.
void refuse_scratch_inputs(Run& run, const std::vector<std::string>& lines);

// One line "ciprop: warning: <text>" on standard error.
void warn(Run& run, std::string_view text);
// Refuses the input: the message as the last line of the report, and
// "ciprop: <message>" on standard error; exit status 1.
[[noreturn]] void refuse_input(Run& run, std::string_view message);

}  // namespace ciprop
