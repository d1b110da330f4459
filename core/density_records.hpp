// Records of the density stage.
#pragma once
#include "core/farray.hpp"

namespace ciprop {

struct DensityRecords {
  Arr2<double, 1, 500, 1, 500> mat;     // RO(i,j): i annihilated, j created
  Arr2<double, 1, 500, 1, 500> roij1;   // RO in symmetry order
  Arr1<FChar<2>, 1, 1000> wvc;          // spin labels "+ " and "- "
  Arr1<double, 1, 250000> val;          // one record of the density file
  long long connected = 0;              // excited determinants addressed
};

}  // namespace ciprop
