// One-particle densities by plain second quantisation: every determinant as
// an explicit bit string over the spin-orbitals (alpha 1..norb, then beta),
// the operators acting on the ascending product of the occupied
// spin-orbitals, the result looked up in a hash map of the other state's
// determinants.  Slow and simple on purpose: it shares no idea with the
// program's addressing.
#pragma once
#include <vector>

#include "tools/mkcase/case.hpp"
#include "tools/mkcase/space.hpp"

namespace mkcase {

// A pair of states over two determinant sets: c1 over dets1, c2 over dets2.
struct StatePair {
  const std::vector<double>* c1;
  const std::vector<double>* c2;
};

// For each pair, RO(i,j) = sum over spin of <Psi2| a+(j) a(i) |Psi1> over the
// CI orbitals, column-major norb x norb, RO(i,j) at (i-1) + (j-1)*norb.
std::vector<std::vector<double>> one_particle_densities(
    const std::vector<Determinant>& dets1, const std::vector<Determinant>& dets2,
    const OrbitalLayout& l, const std::vector<StatePair>& pairs);

// Hash look-ups that one_particle_densities makes over dets1.
long long density_cost(std::size_t ndet1, const OrbitalLayout& l, int nelac);

}  // namespace mkcase
