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
// The same for the k positions p of 1..n whose bit p-1 is set in `set`.
long long set_rank(const MrRecords& r, int n, int k, unsigned set);

// Number (from 1) of the active configuration with occupations iocc[0..noac-1]
// (0, 1 or 2); 0 when its electron count is not within nelac-2..nelac+2.
int configuration_number(const MrRecords& r, const int* iocc);

// One or two holes (hole) or particles at orbital level, orbitals o[0..n-1]
// (one orbital twice for a closed pair): their symmetry, open shells and
// index (from 1) within their orbital-level class.  Inline, for the list
// checks take it for every determinant.
struct OrbitalPair {
  int sym = 1, isol = 0;
  long long index = 1;
};
// A pair of different orbitals is indexed within its class by the pair
// offsets of its two symmetries, then by the ranks of its orbitals (the
// higher one's major; a pair of one symmetry in triangular order); a pair
// in one orbital by that orbital's place in its class.
inline OrbitalPair orbital_pair(const MrRecords& r, int n, const int* o, bool hole) {
  OrbitalPair out;
  if (n == 0) return out;
  if (n == 1) {
    out.sym = r.osym(o[0]);
    out.isol = 1;
    out.index = r.orank(o[0]);
    return out;
  }
  if (o[0] == o[1]) {
    out.index = r.opos(o[0]);
    return out;
  }
  const int lo = o[0] < o[1] ? o[0] : o[1], hi = o[0] < o[1] ? o[1] : o[0];
  const int d = r.osym(lo), e = r.osym(hi);
  const long long p1 = r.orank(lo), p2 = r.orank(hi);
  const long long count = hole ? r.nts(d) : r.nps(d);
  out.sym = r.mult(d, e);
  out.isol = 2;
  out.index = (hole ? r.th(d, e) : r.tp(d, e)) +
              (d == e ? (p2 - 1) * (p2 - 2) / 2 + p1 : (p2 - 1) * count + p1);
  return out;
}

// A determinant of the multireference space in the form its address is
// computed from: holes in inactive and particles in virtual spin-orbitals
// (distinct, any order), and the active occupation by CAS position.
struct MrDet {
  int nt = 0, it[2] = {};
  int np = 0, ip[2] = {};
  unsigned occ[2] = {};  // alpha and beta; CAS position k is bit k-1
};

// One or two holes (particles) with their spins: the orbital-level pair and
// which of its open shells carry an alpha electron (bit 0 the lower
// orbital's, bit 1 the higher's; nalpha of them).
struct MrPair : OrbitalPair {
  unsigned alpha = 0;
  int nalpha = 0;
};
// The pair of n (0..2) distinct spin-orbitals so, holes when `hole`, else
// particles.  A hole leaves the other electron of its orbital as an open
// shell, a particle is one; a pair of opposite spins in one orbital leaves
// none.
inline MrPair mr_pair(const MrRecords& r, int n, const int* so, bool hole) {
  MrPair out;
  int o[2] = {};
  unsigned alpha[2] = {};
  for (int k = 0; k < n; ++k) {
    const bool beta = so[k] > r.norb;
    o[k] = beta ? so[k] - r.norb : so[k];
    // The open shell of a beta hole, or of an alpha particle, is alpha.
    alpha[k] = beta == hole;
  }
  static_cast<OrbitalPair&>(out) = orbital_pair(r, n, o, hole);
  if (out.isol == 1) out.alpha = alpha[0];
  if (out.isol == 2) out.alpha = o[1] < o[0] ? alpha[1] | alpha[0] << 1 : alpha[0] | alpha[1] << 1;
  out.nalpha = int((out.alpha & 1u) + (out.alpha >> 1));
  return out;
}

// The address of d, 1-based; 0 when d is not in the space (its configuration
// is not admitted, its class does not admit its hole and particle counts,
// its electron count, spin projection or symmetry is not the space's).
int mr_address(const MrRecords& r, const MrDet& d);

// What the address takes from the active occupation alone: its electrons,
// its open shells in CAS order (bit i of alpha set when the (i+1)-th carries
// the alpha electron; nalpha of them), their symmetry and the configuration
// number (0 when not numbered).
struct MrActive {
  int ne = 0, nso = 0, iscas = 1, iconf = 0;
  unsigned alpha = 0;
  int nalpha = 0;
};
MrActive mr_active(const MrRecords& r, const unsigned occ[2]);
// The address of d whose active occupation gives a.
int mr_address(const MrRecords& r, const MrDet& d, const MrActive& a);

struct MrListTables;

// The address tables of the multireference modes, built by prepads and
// mrs1 into run.dets.mr, or those of a space of another symmetry that the
// tables own.
class MrAddressTables final : public AddressTables {
 public:
  explicit MrAddressTables(Run& run);
  MrAddressTables(Run& run, std::unique_ptr<MrRecords> own);
  ~MrAddressTables() override;
  // T, the number of determinants of the space.
  int size() const override;
  // 1-based address of d; 0 when d is not in the space or malformed.
  int address(const SplitDet& d) const override;
  std::unique_ptr<ExcitationShortcut> excitation_shortcut() const override;
  // The records of the space.
  const MrRecords& mr_records() const { return r_; }
  // The address of a determinant straight from its lists (n holes a and n
  // particles b relative to the files' reference), when the files'
  // reference is the space's: every determinant of the space given as the
  // lists give it, with at most one empty-slot marker among its particles,
  // is placed; 0 for any other, which trad and address() judge.  Pure, as
  // the interface asks: several threads may call it at once.
  int list_address(int n, const int* a, const int* b, bool* inside = nullptr) const override;

 private:
  std::unique_ptr<MrRecords> own_;
  const MrRecords& r_;
  // What list_address reads, built with the object when the lists may be
  // read directly (null otherwise).
  std::unique_ptr<const MrListTables> list_;
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
