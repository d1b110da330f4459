// The CI space of a generation mode, enumerated from its definition: every
// determinant made of at most two holes in the inactive orbitals, at most two
// particles in the virtual orbitals and alpha and beta strings in the active
// orbitals, with the spin projection and the symmetry of the state and the
// excitation classes that the mode keeps (in the multireference modes, the
// classes that each active occupation admits from its distance to the
// references).  Nothing here knows how the CI
// program numbers its determinants; the enumeration order is the
// generator's own.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "tools/mkcase/case.hpp"

namespace mkcase {

// A determinant in compact form, measured against the closed inactive shell
// and the empty virtual orbitals (not against the CI program's reference).
struct Determinant {
  // Occupied active orbitals: bit k stands for the (k+1)-th active orbital of
  // the layout (numac[k]).
  uint16_t alpha = 0, beta = 0;
  // Spin-orbitals (alpha k, beta norb+k) emptied in the inactive orbitals and
  // filled in the virtual ones, ascending; entries beyond nt / np are 0.
  std::array<int16_t, 2> holes{}, parts{};
  int8_t nt = 0, np = 0;

  bool operator==(const Determinant&) const = default;
};

// All determinants of the mode's space with total symmetry is0, in the
// generator's enumeration order.
std::vector<Determinant> enumerate_space(const Description& d, int is0);
// Its size, counted without building it.
long long space_size(const Description& d, int is0);

// The occupied orbitals (1..norb) of one spin (0 alpha, 1 beta), ascending.
std::vector<int> spin_orbitals(const Determinant& det, const OrbitalLayout& l,
                               int spin);
// Every occupied spin-orbital (alpha k, beta norb+k), ascending.
std::vector<int> occupied(const Determinant& det, const OrbitalLayout& l);

// A determinant relative to the CI program's reference (alpha and beta
// spin-orbitals of orbitals 1..nocc): the spin-orbitals it empties and the
// ones it fills, both ascending; for an odd electron count the particles end
// with the empty-slot marker 2*norb+1.
struct Excitation {
  std::vector<int> holes, parts;
};
Excitation excitation(const Determinant& det, const OrbitalLayout& l);
// The same into out, reusing its storage (for long lists).
void excitation(const Determinant& det, const OrbitalLayout& l, Excitation& out);

}  // namespace mkcase
