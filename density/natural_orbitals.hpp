// What a chemist looks at next: the natural orbitals of a state, the
// eigenvectors of its one-particle density RO with their occupation
// numbers, and the natural transition orbitals of a transition, the singular
// vectors of its transition density: hole orbitals (where the electron
// leaves the first state), particle orbitals (where it arrives in the
// second) and the weights of the pairs.  Both are found symmetry block by
// symmetry block over all orbitals, frozen and deleted ones included, taken
// to the basis of the orbital file and written as "#INPORB 2.2" orbital
// files, which MOLCAS and OpenMolcas read (and this program too, as ORB1).
#pragma once
#include <string_view>
#include <vector>

#include "core/run_state.hpp"

namespace ciprop {

inline constexpr std::string_view kNatOrbFile = "ciprop.NatOrb";
inline constexpr std::string_view kNtoHoleFile = "ciprop.NtoHole";
inline constexpr std::string_view kNtoParticleFile = "ciprop.NtoParticle";

// The orbitals of one symmetry over its n orbitals: column k of `vectors`
// (n x n, column-major) is orbital k, values[k] its occupation or weight.
struct BlockOrbitals {
  int n = 0;
  std::vector<double> vectors;
  std::vector<double> values;
};

// The natural orbitals of the symmetry block d (n x n, leading dimension
// ld) of a state density, taken symmetric: the first `frozen` and the last
// `deleted` orbitals stay, the others follow in descending occupation.
BlockOrbitals natural_orbitals(const double* d, int ld, int n, int frozen, int deleted);

// The natural transition orbitals of the block t (nh x np, leading dimension
// ld) of a transition density between the nh orbitals of one symmetry (the
// holes) and the np of its partner (the particles): hole k and particle k
// form a pair of weight values[k] (the same in both), in descending weight;
// past the pairs the density couples, the weights are 0.
struct TransitionOrbitals {
  BlockOrbitals holes, particles;
};
TransitionOrbitals transition_orbitals(const double* t, int ld, int nh, int np);

// With ORBNAT=2, the orbital files of one pair of a spectrum from its
// density over all orbitals (leading dimension ld), as it is formed, named
// with the roots of the pair; `turned`: the pair is reported from the root
// that the density reaches.
OrbitalAnalysis pair_orbital_files(Run& run, const double* d, int ld, const PairResult& pair,
                                   bool turned);

// The stage after the moments: the orbital files of the run's density (and,
// with ORBNAT=2, of the first pair of a spectrum), what they hold in
// run.dens for the results file, and with ORBNAT the report's table of
// occupations or weights of every file.
void orbital_files(Run& run);

}  // namespace ciprop
