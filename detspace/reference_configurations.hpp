// The reference configurations of the multireference modes and what they
// decide: which active configurations the space holds, which hole and
// particle counts each one admits (its class), and the base address of its
// determinants.
#pragma once
#include <string_view>

#include "core/mr_records.hpp"
#include "core/run_state.hpp"

namespace ciprop {

inline constexpr int kUnitReferences = 27;  // "OCCMRS"

// True for the generation modes built on reference configurations (their
// name begins with "MR").
bool multireference(const FChar<4>& gener);

// `mrs1`: reads the references from "OCCMRS" in the working directory, then
// classes every active configuration and gives the admitted ones their base
// addresses in run.dets.mr (after prepads).  Sets the mode flags ycas1 and
// ymono.
void mrs1(Run& run);
// The same with the reference file named.
void reference_configurations(Run& run, std::string_view file);
// The space of the same references for states of another symmetry, once
// mrs1 has run: a copy of run.dets.mr with that symmetry's blocks and base
// addresses.  Reads no file and prints nothing.
void mr_space_of_symmetry(Run& run, int symmetry, MrRecords& r);

// Reads the reference file on unit 27: a list-directed count, then one
// "(80i1)" record per reference with the occupations (0, 1, 2) of the noac
// active orbitals.  Stops the run on more than 1000 references; a missing
// file, no reference, a missing record or one that is not noac digits 0 to
// 2 followed by blanks is an input/output error naming the file and the
// record.
void read_references(Run& run, std::string_view file, MrRecords& r);

// The hole and particle counts a configuration admits, from its change of
// active electron count nelc and its distance difref to the nearest
// reference, under the mode's rules; klass is its class, 15 when it is not
// admitted.
struct ConfigurationClass {
  int mint = 2, maxt = 0, minp = 0, maxp = 0;
  int klass = 15;
  bool admitted() const { return mint <= maxt && minp <= maxp; }
};
ConfigurationClass tpmms(const FChar<4>& gener, int nelc, int difref);

}  // namespace ciprop
