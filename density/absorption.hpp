// An absorption spectrum in one run: root NUMERO(1) of the first vector file
// (or every root that "RACINESA" lists from it) paired with every root that
// "RACINES" lists from the second.  The first pair is reported in full, as a
// run of that pair alone reports it; every pair gets a line of one table at
// the end of the report, and a run of several pairs a picture.  The list
// check, the reordering, the integrals and vector 1 serve all pairs; the
// densities come from as few passes of the density kernel as the memory
// allows, several kets at once.  When both files are one CI run, the
// transitions among their roots are each formed once (excited-state
// absorption, from any root to any higher one).
#pragma once
#include "core/run_state.hpp"
#include "density/vectors.hpp"

namespace ciprop {

class AddressTables;

// Refuses a listed root beyond the roots of its vector file; run once the
// files are open, before any work is done.
void check_listed_roots(Run& run);

// The density stage of a spectrum.  h1 and h2 are the heads of the two
// vector files for roots numero(1) and numero(2) (the first listed roots).
// The first pair's density is left in `mat` with its report lines, as the
// single-pair stage leaves it; every pair goes to run.dens.pairs, the
// others with their moments.
void spectrum_densities(Run& run, const AddressTables& tables, const VectorHead& h1,
                        const VectorHead& h2);

// The table of the pairs, after the property report of the first one, and
// the picture of the spectrum ("ciprop-spectrum.svg") when there are
// several.
void spectrum_table(Run& run);

}  // namespace ciprop
