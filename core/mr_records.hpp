// Records of the multireference space.  A determinant is an active
// configuration (which active orbitals are doubly and which singly occupied),
// its holes and particles at orbital level, and the spin pattern of its open
// shells.  The configurations are numbered once for all modes; the reference
// configurations give each one a class (the hole and particle counts it
// admits) and, when it is admitted, the base address of its determinants.
#pragma once
#include <cstdint>

#include "core/farray.hpp"

namespace ciprop {

inline constexpr int kMaxConfigurations = 100000;  // active configurations
inline constexpr int kMaxReferences = 1000;        // reference configurations
inline constexpr int kMaxMrClass = 14;             // classes 1..14; 15 admits nothing
inline constexpr int kMaxOpenShells = 20;          // 16 active, 2 holes, 2 particles

struct MrRecords {
  // The orbital spaces, copied when the tables are built so that an address
  // reads nothing else.
  int norb = 0, noac = 0, nelac = 0, nsym = 0, is0 = 1;
  // Twice the spin projection of the determinants: that of the reference
  // determinant of the determinant files (alpha minus beta active electrons).
  int ms2 = 0;
  Arr2<int, 1, 8, 1, 8> mult;
  Arr1<int, 1, 500> osym;       // symmetry of each orbital
  Arr1<int, 1, 500> oclass;     // 1 inactive, 2 active, 3 virtual
  Arr1<int, 1, 500> orank;      // rank within class and symmetry
  Arr1<int, 1, 500> opos;       // rank within class (CAS position if active)
  Arr1<int, 1, 16> asym;        // symmetry of each active position
  Arr1<int, 1, 8> nts, nps;     // inactive and virtual orbitals per symmetry
  int ninac = 0, nvirt = 0;
  Arr2<long long, 0, kMaxOpenShells, 0, kMaxOpenShells> binom;  // C(n, k), 0 for k > n

  // Active configurations: offset of the group of ndo doubly and nso singly
  // occupied orbitals, and their number ndimcs0.
  Arr2<int, 0, 16, 0, 16> cfg_offset;
  int ndimcs0 = 0;

  // Orbital-level hole and particle classes: numbers niits(isolt, ist) and
  // niips(np, isolp, isp), counts ndett(nt, isolt, ist) and ndetp, and the
  // offsets of open pairs of symmetries (d, e) inside their class.
  Arr2<int, 0, 2, 1, 8> niits;
  Arr3<int, 0, 2, 0, 2, 1, 8> niips;
  Arr3<long long, 0, 2, 0, 2, 1, 8> ndett, ndetp;
  Arr2<long long, 1, 8, 1, 8> th, tp;

  // Blocks inside one configuration of class klass and isolc open shells:
  // offset and size by particle class and hole class; and the determinants
  // of a whole configuration of class klass, isolc open shells and symmetry
  // iscas.
  ZeroPaged<Arr4<long long, 1, kMaxMrClass, 1, 18, 1, 17, 0, 16>> offmrs, blksize;
  Arr3<long long, 1, kMaxMrClass, 0, 16, 1, 8> cfg_size;

  // Reference configurations (occupations 0..2 of the active positions).
  int nref = 0;
  Arr2<std::int8_t, 1, 16, 1, kMaxReferences> iocref;

  // Per configuration: its class (0 never met, 15 not admitted) and the
  // number of determinants of the admitted configurations before it.
  Arr1<std::uint8_t, 1, kMaxConfigurations> klass;
  ZeroPaged<Arr1<int, 1, kMaxConfigurations>> base;
  long long ntotal = 0;  // determinants of the space
};

}  // namespace ciprop
