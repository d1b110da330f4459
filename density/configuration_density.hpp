// The density of the multireference spaces (MR, MRS, MRD2, MRDD, MRT2, MRTD,
// MRT, MRM, MRTM, MRC), driven by their layout: an active configuration,
// then blocks of hole and particle configurations at orbital level, and in
// each row of a block (one hole and one particle configuration) the spin
// patterns of its open shells.  An excitation a+(j) a(i) moves one electron
// at orbital level: it takes a row of vector 1 to a row of vector 2, and
// what it does to the spins (which pattern goes to which, with its sign) is
// the same for every row whose open shells lie alike, so it is tabulated
// once per arrangement of open shells.  An excitation that leaves the holes
// (particles) as they are pairs whole runs of rows, a move inside the active
// orbitals whole blocks.  No determinant address is computed per pair.
#pragma once
#include <optional>
#include <span>
#include <vector>

#include "density/transition_density.hpp"

namespace ciprop {

// The transition densities of the bra psi1 with every ket of `kets`, one
// pass over psi1: RO_k(i,j) = sum over spin of <ket k| a+(j) a(i) |psi1>.
// psi1 comes in the address order of the space of its own symmetry, the
// kets in that of the tables.
//
// nullopt for what this kernel does not serve: tables other than the
// multireference ones, a first vector not gathered, kets of another space,
// a run that asks adrdet to stop on one address, or records whose layout
// is not the one assumed here.  The work is cut into the pieces of the
// other kernels and summed in the same fixed order: the result depends
// neither on the number of threads nor, for one ket, on the other kets.
std::optional<std::vector<TransitionDensity>> configuration_driven_densities(
    const AddressTables& tables, const CiVector& psi1, std::span<const CiVector> kets);

// Whether the tables are of the kind this kernel serves.
bool configuration_driven(const AddressTables& tables);
// Whether it works on copies of the vectors, their coefficients taken to
// the order of the open shells (orbitals numbered otherwise than inactive,
// active in CAS order, virtual).
bool configuration_copies(const AddressTables& tables);

}  // namespace ciprop
