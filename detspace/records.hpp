// Records of the determinant space: the tables that map a determinant to its
// address in a CI vector, and the state of the determinant-list readers.
#pragma once
#include "driver/farray.hpp"

namespace ciprop {

// Tables of the excitation categories (filled by prepad).
struct Prep2 {
  Arr1<int, 1, 1000> itorb;                      // rank within class and symmetry
  Arr4<int, 1, 2, 1, 8, 1, 8, -1, 1> iat;        // hole sub-block offsets
  Arr4<int, 1, 2, 1, 8, 1, 8, -1, 1> iap;        // particle sub-block offsets
  Arr4<int, 1, 8, 1, 8, 0, 16, 0, 16> iadc;      // alpha-symmetry sub-block offsets
};
struct Mxdetc {
  Arr3<int, -2, 2, 1, 8, -2, 2> maxc;            // active determinants per class
  Arr4<int, -2, 2, 1, 8, 1, 8, -2, 2> maxca;     // ... per alpha-string symmetry
};
struct CoMax {
  Arr3<int, 1, 2, 1, 8, 0, 1> maxtt;             // hole configurations per class
  Arr3<int, 0, 2, 1, 8, 0, 1> maxpp;             // particle configurations per class
};
struct Adrsym {
  Arr2<int, 1, 12870, 0, 16> irangs;             // rank among strings of one symmetry
  Arr2<int, 1, 8, 0, 16> nbs;                    // strings per symmetry and count
};

// State of the packed determinant-list reader and writer.
struct Detsto {
  int k = 0;          // descriptor index in the current block
  int ipos = 0;       // orbital-stream position
  int hpos = 0;       // high-bit position
  int l1 = 0;         // orbital bytes in the block
  int kk = 0;         // determinants in the block
  int l3 = 0;         // high-bit bytes in the block
  unsigned char orb[3600]{};
  unsigned char desc[100]{};
  unsigned char high[1024]{};
};

struct DetRecords {
  Prep2 prep2;
  int cas_spin = 0;                                    // nca0 - ncb0
  Mxdetc mxdetc;
  Arr4<int, 1, 2, 1, 8, 1, 8, 0, 1> maxdettrou;       // hole counts
  Arr4<int, 1, 2, 1, 8, 1, 8, 0, 1> maxdetpart;       // particle counts
  CoMax co_max;
  Arr3<int, 0, 2, 1, 8, -1, 1> icatt;                 // category of a hole class
  Arr4<int, -2, 2, 1, 8, -2, 2, 1, 41> ioff;          // block offsets
  Adrsym adrsym;
  Arr3<int, 1, 16, 1, 16, 1, 16> z;                   // rank weights
  Detsto detsto;
  Arr1<int, 1, 2048> ijd;                              // addresses of one block
};

}  // namespace ciprop
