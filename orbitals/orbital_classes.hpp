// The orbital spaces of the CI: every orbital classed inactive, active or
// virtual, the classes counted per symmetry, the orbital lists and the rank
// maps used by the determinant addressing and the density.
#pragma once
#include "core/run_state.hpp"

namespace ciprop {

// prepar: the stage; classes, counts, lists and rank maps, and their report.
void prepar(Run& run);

}  // namespace ciprop
