// Rewriting the second determinant list in address order as "ORDET", so that
// the density stage meets the determinants in the order of this program's
// addresses.  The list is read once per window of consecutive addresses; a
// window is as large as the pass buffer allows (12 dim bytes, taken as bytes
// by the packed layout and as two-byte integers by the plain one).
#pragma once
#include "core/run_state.hpp"
#include "core/unit_numbers.hpp"

namespace ciprop {

// Packed layout.  buf and buf2 are the same pass buffer (12 dim bytes);
// iordre receives, for each file position, the address of its determinant.
void reorde2(Run& run, unsigned char* buf, unsigned char* buf2, int nmax, int* iordre);
// Plain layout.  table receives iadrv and then iordre (ndet integers);
// scratch and rows are one area of 6 dim two-byte integers, first holding
// iordre while it is built, then the rows of a window.
void reorde(Run& run, int nmax, int* table, int* scratch, short* rows);
// The packed writer of unit 62: pie2 appends a determinant to the block in
// hand, which is written when it holds 100; fine2 writes the last block.
void pie2(Run& run, int n, unsigned char desc, const unsigned char* emptied,
          const unsigned char* filled, const unsigned char* high);
void fine2(Run& run);
// Rewinds unit 61 and empties the reader's block.
void rew61(Run& run);
// Reads p(1..m) from records of kBlock integers.
void lirbl(Run& run, int* p, int m, int unit);

}  // namespace ciprop
