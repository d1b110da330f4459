// The density of the single-reference spaces with holes and particles (PERT,
// DDCI, DDci, DDC2, TOUS, MONO), driven by the blocks of their address
// layout.  A determinant is a block (active-electron change, active
// symmetry, spin class, hole category), a row of that block (its hole
// configuration, then its particle configuration) and a place in the row's
// run of active determinants (alpha and beta strings, the alpha rank
// fastest).  With both vectors in that order an excitation a+(j) a(i) pairs
// whole runs: a move of a hole or a particle, or an inactive electron
// promoted to a virtual orbital, leaves the run as it is (one dot product of
// the two runs); a replacement inside the active orbitals, or an electron
// entering or leaving them, maps strings onto strings, and the other spin's
// strings give contiguous or strided dot products.  No determinant address
// is computed per pair.
#pragma once
#include <optional>
#include <span>
#include <vector>

#include "density/transition_density.hpp"

namespace ciprop {

// The transition densities of the bra psi1 with every ket of `kets`, one
// pass over psi1: RO_k(i,j) = sum over spin of <ket k| a+(j) a(i) |psi1>.
// psi1 comes in the address order of the space of its own symmetry (its
// list checked against that space), the kets in that of the tables.
//
// nullopt for what this kernel does not serve: tables other than the
// single-reference ones with holes and particles (complete active spaces go
// through the string-driven kernel, the multireference family through the
// configuration-driven one), a first vector not gathered, kets of another space,
// a run that asks adrdet to stop on one address, or records whose layout is
// not the one assumed here.  The work is cut into pieces fixed by the space
// alone and summed in a fixed order: the result does not depend on the
// number of threads, nor a ket's density on the other kets.
std::optional<std::vector<TransitionDensity>> block_driven_densities(
    const AddressTables& tables, const CiVector& psi1, std::span<const CiVector> kets);

// Whether the tables are of the kind this kernel serves.
bool block_driven(const AddressTables& tables);

}  // namespace ciprop
