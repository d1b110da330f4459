// The orbital file in the "#INPORB" layouts that MOLCAS writes since its
// version 6 and current OpenMolcas writes (1.0 and 1.1: four numbers of 18
// characters a line; 2.0, 2.1 and 2.2: five of 22).  A header of sections
// (#INFO with the symmetry, basis and orbital counts, #EXTRAS ...) comes
// before the orbitals (#ORB); a symmetry may hold fewer orbitals than basis
// functions when orbitals were deleted.
#pragma once
#include <string_view>

#include "core/run_state.hpp"

namespace ciprop {

// True for the first line of such a file ("#INPORB 2.2").
bool inporb_header(std::string_view line);

// Reads the rest of the file on unit 1, whose first line was `first`: the
// counts, checked against the integral files and the deleted orbitals of
// the run, the title print, and the coefficients into the orbital matrix;
// orbitals deleted from the file get zero coefficients.
void read_inporb(Run& run, std::string_view first);

}  // namespace ciprop
