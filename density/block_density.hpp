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

// The transition densities of the bra psi1 (its determinants in the order of
// list1) with every ket of `kets` (in the address order of tables), one pass
// over psi1: RO_k(i,j) = sum over spin of <ket k| a+(j) a(i) |psi1>.
//
// nullopt, with nothing read from list1, for tables this kernel does not
// serve: complete active spaces (the string-driven kernel's), the
// multireference family, a run that asks adrdet to stop on one address,
// kets of another symmetry than the tables' space or of another length,
// a bra of another symmetry than the kets (its space's tables are not built
// yet), or tables whose layout is not the one assumed here.  Otherwise every
// determinant of list1 must lie in psi1's space, once, or the run stops.
// The work is cut into pieces fixed by the space alone and summed in a fixed
// order: the result does not depend on the number of threads.
std::optional<std::vector<TransitionDensity>> block_driven_densities(
    const AddressTables& tables, DeterminantSource& list1, const CiVector& psi1,
    std::span<const CiVector> kets);

}  // namespace ciprop
