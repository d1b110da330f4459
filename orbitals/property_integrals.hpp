// The one-electron property integrals: the dipole (x, y, z) and quadrupole
// (xx, xy, xz, yy, yz, zz) operators that SEWARD wrote to OneInt, taken to
// the basis of the molecular orbitals of the MOLCAS orbital file, with the
// nuclear contribution stored beside each component.
#pragma once
#include <string_view>

#include "core/run_state.hpp"

namespace ciprop {

// The whole stage: "&COST", the MOLCAS files, the frozen/deleted check, the
// orbitals, the transformation into xyz and xxyyzz, and its report.
void lirone(Run& run);

// Reads one component of symmetry isym from the current position of OneInt
// into the packed array p, then the four doubles that follow it, the last of
// which (the nuclear contribution) is left in nuc.
void lipq(Run& run, double* p, int isym, double& nuc);

// Transforms the packed component p of symmetry isym with the MO
// coefficients c (500 x 500) into the symmetric MO matrix a (500 x 500),
// leading n x n part.
void calij(Run& run, double* a, const double* p, int isym, const double* c, int n);

// Prints the packed symmetric blocks of the nsym symmetries, and one packed
// lower triangle of order n, row by row.
void scri1(Run& run, int nsym, const double* p);
void scri8(Run& run, const double* p, int n);

// Reads a numeric field as Fortran's D, E and F input editing does: blanks
// ignored, an exponent written with D, E, Q or a bare sign, and `decimals`
// implied digits after the point when the field has none.  False for a
// blank or malformed field.
bool lird(std::string_view field, int decimals, double& value);

}  // namespace ciprop
