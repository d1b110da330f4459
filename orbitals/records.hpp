// Records of the property integrals: the operator matrices in the orbital
// basis, the nuclear contributions, and the integral stage's own storage.
#pragma once
#include "driver/farray.hpp"

namespace ciprop {

struct OrbitalRecords {
  Arr3<double, 1, 500, 1, 500, 1, 4> xyz;     // x, y, z and x+y+z
  Arr3<double, 1, 500, 1, 500, 1, 7> xxyyzz;  // xx, zz, yy, xy, xz, yz
  Arr1<double, 1, 9> fmomnucl;                // x y z xx xy xz yy yz zz
};

}  // namespace ciprop
