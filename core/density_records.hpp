// Records of the density stage.
#pragma once
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

struct DensityRecords {
  Arr2<double, 1, 500, 1, 500> mat;     // RO(i,j): i annihilated, j created
  Arr2<double, 1, 500, 1, 500> roij1;   // RO in symmetry order
  Arr1<FChar<2>, 1, 1000> wvc;          // spin labels "+ " and "- "
  Arr1<double, 1, 250000> val;          // one record of the density file
  long long connected = 0;              // excited determinants addressed
  Moments moments;                      // the report's numbers
};

}  // namespace ciprop
