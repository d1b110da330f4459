// The determinant lists of the CI program ("deta", "detb") in their plain and
// packed layouts, the check of every determinant's address, and the integer
// block files "BID84" and "IADRV".
#pragma once
#include "driver/runstate.hpp"

namespace ciprop {

inline constexpr int kBlock = 2048;  // integers per record of the block files
inline constexpr int kUnitDetA = 60;
inline constexpr int kUnitDetB = 61;
inline constexpr int kUnitBid84 = 84;
inline constexpr int kUnitIadrv = 87;

// The check: iadrv(address) = file position; nmax the largest excitation
// count.  seen holds one flag per address.
void vermat(Run& run, int* iadrv, int* spin, unsigned char* seen, int& nmax);
// The next determinant of the list on unit 61 (n excitations, holes a,
// particles b); eof = 1 at end of file or on a read error.
void venond(Run& run, int& n, int* a, int* b, int& eof);
// The same on any unit, in the layout that itest(25) selects.
void venond_unit(Run& run, int unit, int& n, int* a, int* b, int& eof);
// Packed-layout reader.
void venond2(Run& run, int& n, int* a, int* b, int& eof, int unit);
void venond4(int c, int& n, int& m);
void ecri(Run& run, const int* p, int m, int unit);
void ecribl(Run& run, const int* p, int m, int unit);
void liri(Run& run, int* iv, int n, int unit);

}  // namespace ciprop
