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
// The blocks inside the configurations of every class for the states of
// symmetry r.is0, from the orbital tables of prepads.
void lay_out_blocks(MrRecords& r);

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

// One or two holes (hole) or particles at orbital level, orbitals o[0..n-1]
// (one orbital twice for a closed pair): their symmetry, open shells and
// index (from 1) within their orbital-level class.
struct OrbitalPair {
  int sym = 1, isol = 0;
  long long index = 1;
};
OrbitalPair orbital_pair(const MrRecords& r, int n, const int* o, bool hole);

// A determinant of the multireference space in the form its address is
// computed from: holes in inactive and particles in virtual spin-orbitals
// (distinct, any order), and the active occupation by CAS position.
struct MrDet {
  int nt = 0, it[2] = {};
  int np = 0, ip[2] = {};
  unsigned occ[2] = {};  // alpha and beta; CAS position k is bit k-1
};

// The address of d, 1-based; 0 when d is not in the space (its configuration
// is not admitted, its class does not admit its hole and particle counts,
// its electron count, spin projection or symmetry is not the space's).
int mr_address(const MrRecords& r, const MrDet& d);

// What the address takes from the active occupation alone: its electrons,
// its open shells in CAS order (whether each carries the alpha electron),
// their symmetry and the configuration number (0 when not numbered).
struct MrActive {
  int ne = 0, nso = 0, iscas = 1, iconf = 0;
  bool alpha[16] = {};
};
MrActive mr_active(const MrRecords& r, const unsigned occ[2]);
// The address of d whose active occupation gives a.
int mr_address(const MrRecords& r, const MrDet& d, const MrActive& a);

// The address tables of the multireference modes, built by prepads and
// mrs1 into run.dets.mr, or those of a space of another symmetry that the
// tables own.
class MrAddressTables final : public AddressTables {
 public:
  explicit MrAddressTables(Run& run) : AddressTables(run), r_(run.dets.mr) {}
  MrAddressTables(Run& run, std::unique_ptr<MrRecords> own)
      : AddressTables(run), own_(std::move(own)), r_(*own_) {}
  // T, the number of determinants of the space.
  int size() const override;
  // 1-based address of d; 0 when d is not in the space or malformed.
  int address(const SplitDet& d) const override;
  std::unique_ptr<ExcitationShortcut> excitation_shortcut() const override;
  // The records of the space.
  const MrRecords& mr_records() const { return r_; }

 private:
  std::unique_ptr<MrRecords> own_;
  const MrRecords& r_;
};

// The density stage's shortcut in the multireference modes: J held as an
// MrDet, each excitation one bit or one hole or particle changed, then its
// address from mr_address, without going through the lists and trad.
class MrExcitations final : public ExcitationShortcut {
 public:
  // r: the tables of the space, which must outlive the shortcut.
  MrExcitations(Run& run, const MrRecords& r);
  bool set(int nh, const int* holes, const int* parts) override;
  bool locate(int si, int sj, int& iadr) override;
  bool has_class(int nt, int np) const override { return has_class_[nt][np]; }

 private:
  Run& run_;
  const MrRecords& r_;
  const bool usable_;
  bool has_class_[3][3] = {};
  MrDet j_;
  MrActive active_;  // of J, for the excitations that leave it
};

}  // namespace ciprop
