// A whole run folder from a description: the CI program's files (vrt, Info,
// deta, detb, daveca, davecb, dens, and OCCMRS in the multireference
// modes), the MOLCAS files, the run input and the expected results, all
// mutually consistent; and, for tests in the same process, what was written.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/mkcase/case.hpp"
#include "tools/mkcase/molcas.hpp"
#include "tools/mkcase/space.hpp"
#include "tools/mkcase/vectors.hpp"

namespace mkcase {

// One CI space with its roots.
struct Space {
  int is0 = 1;
  std::vector<Determinant> dets;  // the generator's enumeration order
  Roots roots;                    // coefficients in that order
};

// One determinant file as written.
struct ListFile {
  std::vector<int> order;     // file position -> index in Space::dets
  std::vector<int8_t> phase;  // CI program's phase of each file position
};

struct Case {
  Description d;
  OrbitalLayout layout;
  // Spaces of the first (deta, daveca) and second (detb, davecb) vector
  // files; one shared object when both have the symmetry is0, and then both
  // files hold the same states (same energies), each list in its own order.
  std::shared_ptr<const Space> a, b;
  ListFile deta, detb;
  // Brute-force densities over the CI orbitals, column-major norb x norb,
  // RO(i,j) at (i-1) + (j-1)*norb with i annihilated and j created; empty
  // when the case is above the description's density limit.
  std::vector<double> ro;                 // root1 of file 1 -> root2 of file 2
  std::vector<std::vector<double>> dens;  // state density of each root of file 1
  double deltae = 0.0;                    // E2 - E1
  MolcasCase molcas;
  Moments moments;  // of ro, when computed
};

// Writes the folder dir (created if needed) and returns its contents.
Case make_case(const Description& d, const std::string& dir);

}  // namespace mkcase
