// The density of two states of a complete active space, driven by strings as
// the determinant CI codes do it.  A determinant of such a space is a pair of
// active strings, alpha and beta, and its coefficient sits at
// group(isa) + (rank of beta) * (alpha strings of isa) + (rank of alpha).  An
// excitation a+(j) a(i) changes one string only, so for each replacement of
// a beta string the coefficients it couples are two contiguous rows, and for
// each replacement of an alpha string two contiguous columns of the
// transposed groups: every term of the density is a dot product, and no
// address is computed per determinant pair.
#pragma once
#include <optional>
#include <span>
#include <vector>

#include "density/transition_density.hpp"

namespace ciprop {

// The transition densities of psi1 and each ket when the tables are the
// single-reference ones of a "CAS " space, the kets have the space's symmetry
// and psi1 comes in the address order of the space of its own symmetry (its
// list checked against that space); nullopt otherwise, and the densities then
// go through the per-excitation path.  The work is split into fixed pieces
// summed in a fixed order, so the result does not depend on the number of
// threads, nor a ket's density on the other kets.
std::optional<std::vector<TransitionDensity>> string_driven_densities(
    const AddressTables& tables, const CiVector& psi1, std::span<const CiVector> kets);

}  // namespace ciprop
