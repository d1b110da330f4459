// An absorption spectrum in one run: root NUMERO(1) of the first vector file
// paired with every root that "RACINES" lists from the second.  The first
// pair is reported in full, as a run of that pair alone reports it; every
// pair gets a line of one table at the end of the report.  The list check,
// the reordering, the integrals and vector 1 serve all pairs; the densities
// of the listed roots come from as few passes of the density kernel over
// vector 1 as the memory allows, several kets at once.
#pragma once
#include "core/run_state.hpp"
#include "density/vectors.hpp"

namespace ciprop {

class AddressTables;

// Refuses a listed root beyond the roots of the second vector file; run
// once the files are open, before any work is done.
void check_listed_roots(Run& run);

// The density stage of a spectrum.  h1 and h2 are the heads of the two
// vector files for roots numero(1) and numero(2) (the first listed root).
// The first pair's density is left in `mat` with its report lines, as the
// single-pair stage leaves it; the others' moments go to run.dens.pairs.
void spectrum_densities(Run& run, const AddressTables& tables, const VectorHead& h1,
                        const VectorHead& h2);

// The table of the pairs, after the property report of the first one.
void spectrum_table(Run& run);

}  // namespace ciprop
