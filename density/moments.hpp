// The property report: the density contracted with the dipole and quadrupole
// matrices, the nuclear contributions added, the traceless quadrupole
// moments, the dipole magnitudes and the oscillator strength, in atomic
// units.
#pragma once
#include "core/run_state.hpp"

namespace ciprop {

// calmu: the stage; the property tables of the report from `mat`.
void calmu(Run& run);

}  // namespace ciprop
