// Records of the density stage.
#pragma once
#include "driver/farray.hpp"

namespace ciprop {

struct DensityRecords {
  Arr2<double, 1, 500, 1, 500> mat;   // RO(i,j): i annihilated, j created
  Arr1<FChar<2>, 1, 1000> wvc;        // spin labels "+ " and "- "
};

}  // namespace ciprop
