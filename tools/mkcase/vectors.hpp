// CI vectors: random normalised roots, orthogonal to one another, with
// increasing energies, and the vector files "daveca"/"davecb" that hold them:
// record 1 the dimension and the root count (4-byte ints), record 2 the
// energies, then one record of coefficients per root in the file order of the
// matching determinant list and in the CI program's phase.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace mkcase {

struct Roots {
  std::vector<double> energies;
  // coef[r][k]: root r+1 on determinant k of the generator's enumeration,
  // for the determinant written as the ascending product of its occupied
  // spin-orbitals.
  std::vector<std::vector<double>> coef;
};

// nroots random roots over ndim determinants (ndim >= nroots), energies
// e0, e0 + 0.125, ... each moved by less than 0.005.
Roots random_roots(std::size_t ndim, int nroots, double e0, uint64_t seed);

// phase[i] is the CI program's phase of file position i, order[i] its
// determinant in the enumeration.
void write_vector_file(const std::string& path, const Roots& roots,
                       const std::vector<int>& order,
                       const std::vector<int8_t>& phase);

}  // namespace mkcase
