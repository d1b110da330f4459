// The property report: the density contracted with the dipole and quadrupole
// matrices, the nuclear contributions added, the traceless quadrupole
// moments, the dipole magnitudes and the oscillator strength, in atomic
// units.
#pragma once
#include "core/run_state.hpp"

namespace ciprop {

// calmu: the stage; the property tables of the report from `mat`.
void calmu(Run& run);

// The moments of a density over the full orbital set (leading dimension
// 500), for the energy difference deltae of its two roots, as the property
// selector asks for them; nothing is printed.
Moments moments_of(const Run& run, const double* ro, double deltae);

}  // namespace ciprop
