// Rewriting the second determinant list in address order as "ORDET".
#pragma once
#include "driver/runstate.hpp"

namespace ciprop {

inline constexpr int kUnitOrdet = 62;

void reorde2(Run& run, unsigned char* buf, unsigned char* buf2, int nmax, int* iordre);
void reorde(Run& run, int nmax, int* table, int* scratch, short* rows);
void venond3(Run& run, int& n, unsigned char& desc, unsigned char* emptied,
             unsigned char* filled, unsigned char* high, int& eof);
void pie2(Run& run, int n, unsigned char desc, const unsigned char* emptied,
          const unsigned char* filled, const unsigned char* high);
void fine2(Run& run);
void rew61(Run& run);
void lirbl(Run& run, int* p, int m, int unit);

}  // namespace ciprop
