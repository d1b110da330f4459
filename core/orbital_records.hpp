// Records of the property integrals: the operator matrices in the orbital
// basis, the nuclear contributions, and the integral stage's own storage.
#pragma once
#include <array>
#include <cstdint>

#include "core/farray.hpp"

namespace ciprop {

// One packed component over at most 500 basis functions: the lower
// triangles of a totally symmetric operator, 500 x 501 / 2 doubles, also
// room enough for the rectangles of any other symmetry.
inline constexpr int kPacked = 125250;
// The first part of OneInt (and of ComFile), read whole.
inline constexpr int kHeaderBytes = 40960;

struct OrbitalRecords {
  ZeroPaged<Arr3<double, 1, 500, 1, 500, 1, 4>> xyz;     // x, y, z and x+y+z
  ZeroPaged<Arr3<double, 1, 500, 1, 500, 1, 7>> xxyyzz;  // xx, zz, yy, xy, xz, yz
  Arr1<double, 1, 9> fmomnucl;                // x y z xx xy xz yy yz zz

  // The integral stage's own storage.
  // AO integrals of each component in the packed order of OneInt.
  using Packed = ZeroPaged<Arr1<double, 1, kPacked>>;
  Packed pxq, pyq, pzq, pxxq, pyyq, pzzq, pxyq, pxzq, pyzq;
  Packed ovl;                                  // overlap, printed only
  // MO coefficients: column m is MO m (all symmetries, file order), row mu
  // the mu-th basis function of that MO's symmetry.
  ZeroPaged<Arr2<double, 1, 500, 1, 500>> orb;
  // Scratch of the transformation: one symmetry block of orb in panels, and
  // one block of a component unpacked, both laid out along the inner sums.
  ZeroPaged<Arr2<double, 1, 500, 1, 500>> orbt;
  ZeroPaged<Arr2<double, 1, 500, 1, 500>> pful;
  std::array<unsigned char, kHeaderBytes> buf{};   // OneInt header
  std::array<unsigned char, kHeaderBytes> bufc{};  // ComFile header (version 54)
  long nbuf = 0, nbufc = 0;                      // bytes actually read into them
  Arr1<int, 1, 8> nb;      // basis functions per symmetry, from OneInt/ComFile
  Arr1<int, 1, 8> nmo;     // orbitals the orbital file holds per symmetry: nb, or
                           // fewer when it leaves the last (deleted) ones out
  Arr1<int, 1, 8> ioffo;   // offset of each symmetry among the MOs
  Arr1<int, 1, 8> ioffp;   // offset of each symmetry in packed symmetric storage
  int ntot = 0;            // all basis functions
  Arr1<int, 1, 14> itoc;   // addresses of the operator components
  // Current OneInt: the symmetry label (a bit mask over the irreps) of each
  // entry of itoc, and the byte where the next record of the file begins
  // (0 when none follows), which a component must not run into.
  Arr1<int64_t, 1, 14> tocsym;
  Arr1<int64_t, 1, 14> tocend;
  int molvar = 0;          // bytes per unit of those addresses
};

}  // namespace ciprop
