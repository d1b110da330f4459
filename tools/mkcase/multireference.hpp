// The multireference generation modes ("MR  ", "MRS ", "MRD2", "MRDD",
// "MRT2", "MRTD", "MRT ", "MRM ", "MRTM", "MRC "): their reference
// configurations, the file "OCCMRS" that carries them to the program, and
// the rule that decides, for one occupation of the active orbitals, how many
// holes (and with them particles) its determinants may carry.  Everything is
// stated on occupations; nothing here knows how the CI program numbers its
// configurations.
#pragma once
#include <string>
#include <vector>

#include "tools/mkcase/case.hpp"

namespace mkcase {

// An occupation of the active orbitals in CAS order: 0, 1 or 2 electrons on
// each.
using Occupation = std::vector<int>;

// Whether the mode belongs to the multireference family.
bool multireference(const std::string& gener);

// The references of a description: the explicit digit strings; else nref
// occupations of nelac electrons drawn from the seed (distinct while the
// draws allow it); else the one occupation of the reference determinant
// (nca0 alpha and ncb0 beta electrons in the first active orbitals).
std::vector<Occupation> references(const Description& d);

// Digit strings to occupations; throws std::invalid_argument naming a string
// that is not noac digits 0..2.
std::vector<Occupation> parse_references(const std::vector<std::string>& refs, int noac);

// "OCCMRS": the count on the first line as list-directed output writes it,
// then one line per reference with its digits from column 1, as the format
// (80i1) reads them.  Writes any count, so that a case can also hold a list
// the program must refuse.
void write_occmrs(const std::string& path, const std::vector<Occupation>& refs);

// Distance of an occupation to the nearest reference: the smallest, over the
// references, of the summed absolute occupation differences (twice the
// electrons moved when the counts agree); 5 stands for every distance
// beyond 4, which no class admits.
int distance_to_references(const Occupation& occ, const std::vector<Occupation>& refs);

// The hole counts nt = mint..maxt that the determinants of one occupation
// may carry, each with nt - nelc particles; none when maxt < mint.
struct HoleCounts {
  int mint = 2, maxt = 0;
  bool admits(int nt) const { return nt >= mint && nt <= maxt; }
  bool any() const { return mint <= maxt; }
};

// The class of an occupation that holds nelc electrons more than the active
// space of the reference and lies at distance difref from the references
// (for the modes "MRT*" the references are not consulted and |nelc| stands
// for the distance: pass any difref).
HoleCounts admitted_holes(const std::string& gener, int nelc, int difref);

}  // namespace mkcase
