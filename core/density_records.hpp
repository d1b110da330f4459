// Records of the density stage.
#pragma once
#include <vector>

#include "core/farray.hpp"

namespace ciprop {

// The moments of the report, kept for the results file: electronic and
// nuclear parts of the dipole (x y z) and of the quadrupole and traceless
// quadrupole (xx xy xz yy yz zz), in atomic units.
struct Moments {
  bool dipoles = false, quadrupoles = false;  // what the property selector chose
  double dip_el[3] = {}, dip_nuc[3] = {};
  double quad_el[6] = {}, quad_nuc[6] = {};
  double theta_el[6] = {}, theta_nuc[6] = {};
  double theta_eff = 0.0;
  double amu_el = 0.0, amu_tot = 0.0;  // |mu| electronic and total
  double fosc = 0.0;                   // oscillator strength
};

// One pair of a spectrum: root numero(1) of the first vector file and one
// listed root of the second.
struct PairResult {
  int root = 0;          // root of the second vector file
  double energy = 0.0;   // its energy
  double deltae = 0.0;   // its energy minus that of root numero(1)
  bool state = false;    // the same state as root numero(1): a state density
  Moments moments;
};

struct DensityRecords {
  ZeroPaged<Arr2<double, 1, 500, 1, 500>> mat;    // RO(i,j): i annihilated, j created
  ZeroPaged<Arr2<double, 1, 500, 1, 500>> roij1;  // RO in symmetry order
  Arr1<FChar<2>, 1, 1000> wvc;          // spin labels "+ " and "- "
  ZeroPaged<Arr1<double, 1, 250000>> val;        // one record of the density file
  long long connected = 0;              // excited determinants addressed
  int passes = 0;                       // passes of the kernel over vector 1
  Moments moments;                      // the report's numbers
  std::vector<PairResult> pairs;        // the pairs of "RACINES", in its order
};

}  // namespace ciprop
