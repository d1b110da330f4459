// The determinant lists "deta" and "detb" of the CI program: each determinant
// as its holes and particles against the reference (alpha and beta
// spin-orbitals of orbitals 1..nocc), hole k and particle k sharing one slot
// of the reference's spin-orbital list.  Two layouts:
//   plain:  per determinant a record with the count n and, when n > 0, a
//           record with the n holes and then the n particles (4-byte ints);
//   packed: block records (L1, K, L1 orbital bytes, K descriptors, L3, L3
//           high-bit bytes) of at most 100 determinants and 3,600 orbital
//           bytes, holes alpha first, particles alpha first.
// The order of holes and particles fixes the CI program's phase of the
// coefficient, which the vector files follow.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/mkcase/case.hpp"
#include "tools/mkcase/rng.hpp"
#include "tools/mkcase/space.hpp"

namespace mkcase {

// The packed layout's order: alpha holes then beta holes, alpha particles
// then beta particles, each ascending (the excitation's own order).
// vary_listing gives the plain layout's order, in place: holes and particles
// in a seeded random order and
// pairing, except that the holes in inactive orbitals and the particles in
// virtual orbitals keep their ascending order among themselves (the CI
// program lists a hole or particle pair that way, and its readers count on
// it), and the empty-slot marker stays last.
void vary_listing(Excitation& e, const OrbitalLayout& l, Rng& rng);

// The CI program's phase of a listed determinant: the parity of sorting the
// reference's slot list (alpha 1..nocc, beta norb+1..norb+nocc) after
// particle k has taken the slot of hole k and the marker has left the list.
// The stored coefficient is the coefficient of the ascending product of the
// occupied spin-orbitals times this phase.
int listing_phase(const Excitation& listed, const OrbitalLayout& l);

// Writes the determinants dets[order[0]], dets[order[1]], ... to path in
// the layout the description asks for and returns the phase of each file
// position.
std::vector<int8_t> write_determinant_list(const std::string& path,
                                           const std::vector<Determinant>& dets,
                                           const std::vector<int>& order,
                                           const Description& d, uint64_t seed);

}  // namespace mkcase
