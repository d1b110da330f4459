// The multireference space laid out by configuration: the numbering of the
// active configurations, the blocks of holes, particles and spin patterns
// inside one configuration, and the address of a determinant.
#pragma once
#include "detspace/address_tables.hpp"
#include "core/mr_records.hpp"
#include "core/run_state.hpp"

namespace ciprop {

// `prepads`: builds the configuration numbering and the block layout of the
// multireference modes into run.dets.mr, from the orbital classes that
// prepad has just made.  Stops when there are more than 100000 active
// configurations.
void prepads(Run& run);

// Hole and particle counts a configuration class admits: nt = mint..maxt,
// each with np = nt + minp - mint.  Class 15 admits nothing (maxt < mint).
struct ClassRange {
  int mint, maxt, minp;
};
ClassRange class_range(int klass);

// Rank (from 1) of an ascending list of k numbers from 1..n among all such
// lists: a single number is its own rank, pairs are ordered by their larger
// element, three or more lexicographically.
long long subset_rank(const MrRecords& r, int n, int k, const int* list);

// Number (from 1) of the active configuration with occupations iocc[0..noac-1]
// (0, 1 or 2); 0 when its electron count is not within nelac-2..nelac+2.
int configuration_number(const MrRecords& r, const int* iocc);

// The address tables of the multireference modes, built by prepads and
// mrs1 into run.dets.mr.
class MrAddressTables final : public AddressTables {
 public:
  explicit MrAddressTables(Run& run) : AddressTables(run), r_(run.dets.mr) {}
  // T, the number of determinants of the space.
  int size() const override;
  // 1-based address of d; 0 when d is not in the space (its configuration
  // is not admitted, its class does not admit its hole and particle counts,
  // its spin projection or symmetry is not the space's, or it is malformed).
  int address(const SplitDet& d) const override;

 private:
  // One or two holes (particles) at orbital level.
  struct Pair {
    int sym = 1;           // symmetry of the pair
    int isol = 0;          // open shells: 1 single, 2 two orbitals, 0 none or closed pair
    bool alpha[2] = {};    // open shells carrying an alpha electron, by orbital
    long long index = 1;   // index within the orbital-level class
  };
  bool pair(int n, const int* so, int balance, bool hole, Pair& out) const;

  const MrRecords& r_;
};

}  // namespace ciprop
