// The phase that takes a determinant from the CI program's slot order (each
// substituted spin-orbital in the slot of the reference spin-orbital it
// replaces) to ascending spin-orbital order, from its substitutions alone:
// the reference part of the list is ascending already, so only the pairs that
// involve a substituted slot can be out of order, and those are counted with
// interval arithmetic over the reference, in time quadratic in the number of
// substitutions rather than in the number of electrons.
#pragma once
#include "core/run_state.hpp"

namespace ciprop {

// The determinant's slot list holds, for k = 1..nocc, alpha spin-orbital k at
// slot k and beta spin-orbital norb + k at slot nocc + k, except that hole
// p(k) has its slot taken by particle q(k) (a later substitution of the same
// slot wins).  The empty-slot marker 2 norb + 1 leaves the list; of what
// remains the first min(nel, length) entries are sorted.  Returns +1 or -1,
// the parity of that sort; every hole must name a reference slot.
int substitution_parity(int norb, int nocc, int nel, int ne, const int* p, const int* q);

// The phase of a readable determinant of a list of the run (its holes are
// filled in the reference), +1 or -1; reads the run only, so the threads may
// take the phases of several determinants side by side.
int list_phase(const Run& run, int ne, const int* p, const int* q);

}  // namespace ciprop
