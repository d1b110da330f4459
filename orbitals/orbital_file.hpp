// The orbital file in the "#INPORB" layouts that MOLCAS writes since its
// version 6 and current OpenMolcas writes (1.0 and 1.1: four numbers of 18
// characters a line; 2.0, 2.1 and 2.2: five of 22).  A header of sections
// (#INFO with the symmetry, basis and orbital counts, #EXTRAS ...) comes
// before the orbitals (#ORB); a symmetry may hold fewer orbitals than basis
// functions when orbitals were deleted.
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/run_state.hpp"

namespace ciprop {

// The orbitals of one symmetry for an orbital file: coefficients over the
// symmetry's basis functions, orbital after orbital, and for #OCC one
// number per orbital (an occupation, or the weight of a transition orbital).
struct OrbitalBlock {
  int nbas = 0, norb = 0;
  std::vector<double> coef;  // nbas x norb, column-major
  std::vector<double> occ;   // norb
};

// The text of an "#INPORB 2.2" file as OpenMolcas writes one: #INFO (the
// title line, restricted orbitals of an unspecified wave function, the
// basis and orbital counts), #ORB, #OCC and its human-readable copy #OCHR.
std::string inporb_text(std::string_view title, std::span<const OrbitalBlock> blocks);

// True for the first line of such a file ("#INPORB 2.2").
bool inporb_header(std::string_view line);

// Reads the rest of the file on unit 1, whose first line was `first`: the
// counts, checked against the integral files and the deleted orbitals of
// the run, the title print, and the coefficients into the orbital matrix;
// orbitals deleted from the file get zero coefficients (and are not counted
// in the orbitals it holds, run.ints.nmo).
void read_inporb(Run& run, std::string_view first);

}  // namespace ciprop
