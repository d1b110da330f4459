// The CI run description: the group "&VRT" of the CI program's VRT file and
// the orbital description of its Info file ("&COST_AO", "&COST_MO"), with the
// electron and orbital counts derived from them and the binomial table of the
// active space.
#pragma once
#include "core/run_state.hpp"

namespace ciprop {

// Largest number of active configurations the multireference tables hold.
inline constexpr int kMaxNdimcs = 100000;

// The values of the Info file that are not kept in the shared records by
// every reader of the file.
struct InfoFile {
  int nsym = 0;
  int norb = 0;
  int noc = 0;
  double enuc = 0.0;
  bool ycl = false;
};

// Reads "&COST_AO" and "&COST_MO" from unit 45 (rewound in between), decodes
// them (the product table into mult, the orbital symmetries into isym, the
// rest into `info`), refuses counts that the tables cannot hold, and writes
// the record "IJ" to unit 75 (then rewound, so that the record is not taken
// for the next compact echo).  Returns false when "&COST_MO" is missing.
bool lirinfo(Run& run, InfoFile& info, bool ydp);
// Reads the run description and fills cs, det, prep, orb, sym; then calc.
void lircd(Run& run);
// Builds the binomial table combs for the active space and, in the modes
// whose name begins with "MR", checks the count of active configurations
// against kMaxNdimcs.
void calc(Run& run);
// Prints orbital numbers 1..n and values[0..n-1] below them, 20 orbitals a
// block, each block followed by an empty line.
void scriorb(Run& run, const int* values, int n);
// Active configurations holding nelac-2 to nelac+2 electrons (needs combs).
long long ndimcs(const Run& run);

}  // namespace ciprop
