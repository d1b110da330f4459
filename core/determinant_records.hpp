// Records of the determinant space: the tables that map a determinant to its
// address in a CI vector, and the state of the determinant-list readers.
#pragma once
#include <vector>
#include "core/farray.hpp"
#include "core/mr_records.hpp"

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
  ZeroPaged<Arr2<int, 1, 12870, 0, 16>> irangs;  // rank among strings of one symmetry
  Arr2<int, 1, 8, 0, 16> nbs;                    // strings per symmetry and count
};

// Capacities of a block of the packed determinant layout.
inline constexpr int kPackOrb = 3600;   // orbital bytes
inline constexpr int kPackDesc = 100;   // determinants (descriptor bytes)
inline constexpr int kPackHigh = 1024;  // high-bit bytes
// A whole block record: L1, K, the orbital bytes, the descriptors, L3 and the
// high-bit bytes.
inline constexpr int kPackRecord = 12 + kPackOrb + kPackDesc + kPackHigh;

// State of the packed determinant-list reader and writer.  The reader serves
// one list at a time (units 60 and 61 alike): whoever rewinds a list clears
// the six counters, so that the next read starts with a new block.
struct Detsto {
  int k = 0;          // descriptor index in the current block
  int ipos = 0;       // orbital-stream position
  int hpos = 0;       // high-bit position
  int l1 = 0;         // orbital bytes in the block
  int kk = 0;         // determinants in the block
  int l3 = 0;         // high-bit bytes in the block
  // Empties the reader's block, so that the next read starts a new block.
  void empty_reader() { k = ipos = hpos = l1 = kk = l3 = 0; }
  unsigned char orb[kPackOrb]{};
  unsigned char desc[kPackDesc]{};
  unsigned char high[kPackHigh]{};
  unsigned char rec[kPackRecord]{};  // the block record as read
  // Writer of the reordered list "ORDET": the block being filled.
  int wd = 0;         // descriptors
  int wo = 0;         // orbital bytes
  int wh = 0;         // high-bit bytes
  unsigned char worb[kPackOrb]{};
  unsigned char wdesc[kPackDesc]{};
  unsigned char whigh[kPackHigh]{};
};

// The blocks of a single-reference space for states of one symmetry: where
// each block of categories starts and how many determinants it holds.  Only
// these depend on the symmetry of the state; the strings, their ranks and
// the class counts serve the spaces of every symmetry alike.
struct BlockTable {
  int symmetry = 1;                                    // of the states (is0)
  Arr4<int, -2, 2, 1, 8, -2, 2, 1, 41> ioff;          // block offsets
  // Determinants of each block the mode keeps (0 for a block it drops or
  // never lays out): the membership test of a determinant's class.
  Arr4<int, -2, 2, 1, 8, -2, 2, 1, 41> nblk;
  long long ntotal = 0;                                // size of the CI space
};

struct DetRecords {
  Prep2 prep2;
  int cas_spin = 0;                                    // nca0 - ncb0
  Mxdetc mxdetc;
  Arr4<int, 1, 2, 1, 8, 1, 8, 0, 1> maxdettrou;       // hole counts
  Arr4<int, 1, 2, 1, 8, 1, 8, 0, 1> maxdetpart;       // particle counts
  CoMax co_max;
  Arr3<int, 0, 2, 1, 8, -1, 1> icatt;                 // category of a hole class
  BlockTable blocks;                                   // of the run's symmetry
  Adrsym adrsym;
  Arr3<int, 1, 16, 1, 16, 1, 16> z;                   // rank weights
  ZeroPaged<Arr2<int, 1, 16, 1, 12870>> comb;          // subsets written by combin
  Detsto detsto;
  Arr1<int, 1, 2048> ijd;                              // addresses of one block
  MrRecords mr;                                        // multireference space
  // The phase of each determinant of the second list, by address, as its
  // check took it (0 for one that cannot be read).
  std::vector<signed char> list_phases;
  // The first list holds the second one byte for byte (both vectors of one
  // CI run): its places and phases are then the check's.
  bool first_list_same = false;
};

}  // namespace ciprop
