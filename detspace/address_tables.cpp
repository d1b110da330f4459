#include "detspace/address_tables.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "detspace/categories.hpp"
#include "detspace/list_entries.hpp"
#include "detspace/mr_tables.hpp"
#include "detspace/reference_configurations.hpp"

namespace ciprop {

// Every string of the active space has its entry: 2^16 of 6 bytes at most
// (384 KB), small enough to hold for every active space the program takes.
static_assert(kMaxActive <= 16, "one entry per active string: 2^noac entries");

// Everything list_address reads, copied once from the run's tables into flat
// arrays: a list entry is then one look-up, an active string another, the
// block of the determinant a third.  Built only where the lists may be read
// on the active strings directly: the files' reference fills the active
// orbitals trad's does, and products of symmetries may be taken in any
// order.
struct SrAddressTables::ListTables {
  struct ListOrbital {
    int rank = 0;                   // inactive, virtual: rank in its class and symmetry
    int single = 0;                 // inactive, virtual: its index alone in its class
    int sym = 1;                    // inactive, virtual: its orbital's symmetry; else 1
    int balance = 0;                // inactive, virtual: +1 alpha, -1 beta; else 0
  };
  // An active string of one spin by its CAS positions as bits: electron
  // count, symmetry, rank among the strings of its count and symmetry, and
  // the number of those.
  struct ActiveString {
    std::uint8_t count = 0, sym = 1;
    std::uint16_t rank = 0, of_sym = 0;
  };
  // Offsets of hole (particle) pairs by pair symmetry, symmetry of one
  // orbital and half the spin balance + 1; orbitals of the class per
  // symmetry.
  struct PairOffsets {
    int pair[kMaxSym + 1][kMaxSym + 1][3] = {};
    int per_symmetry[kMaxSym + 1] = {};
  };
  // A block of determinants: where it starts and how many active parts
  // each of its hole and particle configurations holds; maxc -1 when the
  // mode keeps no such block.
  struct Block {
    int ioff = 0, maxc = -1;
  };
  using Outside = ListEntries::Outside;
  // The symmetry and spin balance of the holes (particles) outside the
  // active orbitals (a slot beyond their count holds an entry of symmetry 1
  // and no spin: an active one, the marker or the neutral one).
  struct Pair {
    int sym = 1, balance = 0;
  };

  ListTables(Run& run, const BlockTable& blocks, unsigned reference);
  int address(int n, const int* a, const int* b, bool* inside) const;
  // The symmetry and spin balance of o; false unless two come in increasing
  // spin-orbital order (two of one spin then come lower orbital first, as
  // adrt and adrp require).
  bool close(const Outside& o, Pair& pair) const;
  int pair_index(const Outside& o, const Pair& pair, const PairOffsets& offsets) const;
  static int block_key(int nelc, int isc, int ispc1, int icateg) {
    return (((icateg - 1) * 5 + ispc1 + 2) * (kMaxSym + 1) + isc) * 5 + nelc + 2;
  }
  static int active_key(int isc, int isa, int nca, int ncb) {
    return ((ncb * (kMaxActive + 1) + nca) * (kMaxSym + 1) + isa) * (kMaxSym + 1) + isc;
  }

  ListEntries entries;
  int nelac = 0, cas_spin = 0, state_sym = 1;
  // By entry of ListEntries.
  std::vector<ListOrbital> orbitals;
  std::vector<ActiveString> strings;   // by CAS bits of one spin
  int mult[kMaxSym + 1][kMaxSym + 1] = {};
  PairOffsets holes, particles;
  int category[3][kMaxSym + 1][5] = {};  // by holes, their symmetry, their spin balance + 2
  int spin_class[9] = {};                // by the change of 2 Sz of the active part + 4
  int particle_count[3][kMaxSym + 1][2] = {};  // by particles, symmetry, spin balance != 0
  std::vector<Block> blocks;           // by block_key
  std::vector<int> active_offsets;     // by active_key
};

SrAddressTables::ListTables::ListTables(Run& run, const BlockTable& t, unsigned cas_reference)
    : entries(run, cas_reference) {
  const DetRecords& dt = run.dets;
  const auto& p2 = dt.prep2;
  const int norb = run.orb.norb, noac = run.cs.noac;
  nelac = run.cs.nelac;
  cas_spin = dt.cas_spin;
  state_sym = t.symmetry;
  for (int a = 1; a <= kMaxSym; ++a)
    for (int b = 1; b <= kMaxSym; ++b) mult[a][b] = run.sym.mult(a, b);

  orbitals.assign(entries.neutral() + 1, ListOrbital{});
  for (int so = 1; so <= 2 * norb; ++so) {
    ListOrbital& e = orbitals[entries.entry(so)];
    const int spin = so > norb, o = so - spin * norb, c = run.cs.itype(o);
    if (c == 1 || c == 3) {
      e.sym = run.sym.isym(o);
      e.balance = spin ? -1 : 1;
      e.rank = p2.itorb(o);
      const auto& offsets = c == 1 ? p2.iat : p2.iap;
      e.single = offsets(1, e.sym, e.sym, e.balance) + e.rank;
    }
  }
  strings.assign(std::size_t{1} << noac, ActiveString{});
  for (unsigned mask = 0; mask < strings.size(); ++mask) {
    int pos[kMaxActive], n = 0, sym = 1;
    for (unsigned m = mask; m != 0; m &= m - 1) {
      pos[n] = std::countr_zero(m) + 1;
      sym = run.sym.mult(sym, run.sym.isym(run.cs.numac(pos[n++])));
    }
    strings[mask] = {std::uint8_t(n), std::uint8_t(sym), std::uint16_t(string_rank(run, n, pos)),
                     std::uint16_t(dt.adrsym.nbs(sym, n))};
  }

  for (int st = 1; st <= kMaxSym; ++st)
    for (int s1 = 1; s1 <= kMaxSym; ++s1)
      for (int half = -1; half <= 1; ++half) {
        holes.pair[st][s1][half + 1] = p2.iat(2, st, s1, half);
        particles.pair[st][s1][half + 1] = p2.iap(2, st, s1, half);
      }
  for (int s = 1; s <= kMaxSym; ++s) {
    holes.per_symmetry[s] = run.sy2.nts(s);
    particles.per_symmetry[s] = run.sy2.nps(s);
  }
  // A pair of holes has its category by half its spin balance.
  for (int nt = 0; nt <= 2; ++nt)
    for (int ist = 1; ist <= kMaxSym; ++ist)
      for (int ispt = -2; ispt <= 2; ++ispt) {
        const int ispt1 = nt == 2 ? ispt / 2 : ispt;
        if (ispt1 >= -1 && ispt1 <= 1) category[nt][ist][ispt + 2] = dt.icatt(nt, ist, ispt1);
      }
  for (int dspin = -4; dspin <= 4; ++dspin) spin_class[dspin + 4] = run.util(30 + dspin);
  for (int np = 0; np <= 2; ++np)
    for (int isp = 1; isp <= kMaxSym; ++isp)
      for (int paired = 0; paired <= 1; ++paired)
        particle_count[np][isp][paired] = ciprop::particle_count(run, np, isp, paired);
  blocks.assign(std::size_t(block_key(2, kMaxSym, 2, 41)) + 1, Block{});
  for (int icateg = 1; icateg <= 41; ++icateg)
    for (int ispc1 = -2; ispc1 <= 2; ++ispc1)
      for (int isc = 1; isc <= kMaxSym; ++isc)
        for (int nelc = -2; nelc <= 2; ++nelc)
          if (t.nblk(nelc, isc, ispc1, icateg) > 0)
            blocks[block_key(nelc, isc, ispc1, icateg)] = {t.ioff(nelc, isc, ispc1, icateg),
                                                          dt.mxdetc.maxc(nelc, isc, ispc1)};
  active_offsets.assign(std::size_t(active_key(kMaxSym, kMaxSym, kMaxActive, kMaxActive)) + 1, 0);
  for (int ncb = 0; ncb <= kMaxActive; ++ncb)
    for (int nca = 0; nca <= kMaxActive; ++nca)
      for (int isa = 1; isa <= kMaxSym; ++isa)
        for (int isc = 1; isc <= kMaxSym; ++isc)
          active_offsets[active_key(isc, isa, nca, ncb)] = p2.iadc(isc, isa, nca, ncb);
}

bool SrAddressTables::ListTables::close(const Outside& o, Pair& pair) const {
  if (o.n == 2 && o.slot[0] >= o.slot[1]) return false;
  const ListOrbital &e1 = orbitals[o.slot[0]], &e2 = orbitals[o.slot[1]];
  pair.sym = mult[e1.sym][e2.sym];
  pair.balance = e1.balance + e2.balance;
  return true;
}

// adrt's and adrp's index of the holes (particles) in their class: a pair
// of one spin and one symmetry in triangular order, second orbital major,
// any other pair first orbital major.
int SrAddressTables::ListTables::pair_index(const Outside& o, const Pair& pair,
                                            const PairOffsets& offsets) const {
  const ListOrbital &e1 = orbitals[o.slot[0]], &e2 = orbitals[o.slot[1]];
  if (o.n == 0) return 1;
  if (o.n == 1) return e1.single;
  const int half = pair.balance / 2 + 1;
  if (pair.balance != 0 && e1.sym == e2.sym)
    return (e2.rank - 1) * (e2.rank - 2) / 2 + e1.rank + offsets.pair[pair.sym][e2.sym][half];
  return offsets.pair[pair.sym][e1.sym][half] + (e1.rank - 1) * offsets.per_symmetry[e2.sym] +
         e2.rank;
}

// The list's holes leave the active strings of the reference or become the
// holes of the determinant, its particles enter them or become its
// particles.
int SrAddressTables::ListTables::address(int n, const int* a, const int* b, bool* inside) const {
  Outside t, p;
  Pair tp, pp;
  std::uint64_t occ = 0;
  if (!entries.read(n, a, b, t, p, occ) || !close(t, tp) || !close(p, pp)) return 0;

  // The block of the determinant: its class kept by the mode, spin and
  // symmetry conserved.  With at most two holes and two particles the
  // first test bounds nelc to -2..2 and the second dspin to -4..4.
  const ActiveString &sa = strings[occ & 0xffffu], &sb = strings[occ >> 16];
  const int nca = sa.count, ncb = sb.count, isc = mult[sa.sym][sb.sym];
  const int nelc = nca + ncb - nelac, dspin = nca - ncb - cas_spin;
  if (nelc != t.n - p.n || pp.balance != tp.balance - dspin) return 0;
  if (pp.sym != mult[state_sym][mult[tp.sym][isc]]) return 0;
  const int icateg = category[t.n][tp.sym][tp.balance + 2];
  if (icateg < 1) return 0;
  const Block& block = blocks[block_key(nelc, isc, spin_class[dspin + 4], icateg)];
  if (block.maxc < 0) return 0;

  if (inside) *inside = t.n == 0 && p.n == 0;
  const int iadrt = pair_index(t, tp, holes), iadrp = pair_index(p, pp, particles);
  // adrp stops the run on a particle index of 0; the general path words it.
  if (iadrp == 0) return 0;
  const int max_p = particle_count[p.n][pp.sym][pp.balance != 0];
  const int iadrc =
      active_offsets[active_key(isc, sa.sym, nca, ncb)] + (sb.rank - 1) * sa.of_sym + sa.rank;
  return block.ioff + ((iadrt - 1) * max_p + (iadrp - 1)) * block.maxc + iadrc;
}

SrAddressTables::SrAddressTables(Run& run) : SrAddressTables(run, run.cs.is0) {}

SrAddressTables::SrAddressTables(Run& run, int symmetry)
    : AddressTables(run), blocks_(std::make_unique<BlockTable>()) {
  block_offsets(run, symmetry, *blocks_);
  if (!files_match_cas(run) || !symmetry_group(run)) return;
  unsigned reference = 0;
  for (int k = 1; k <= run.cs.noac; ++k)
    if (run.prep.yac(k)) reference |= 1u << (k - 1);
  list_ = std::make_unique<const ListTables>(run, *blocks_, reference);
}

SrAddressTables::~SrAddressTables() = default;

int SrAddressTables::size() const { return static_cast<int>(blocks_->ntotal); }

int SrAddressTables::address(const SplitDet& d) const {
  if (!in_space(records(), *blocks_, d)) return 0;
  int iadr = 0;
  adrdet(records(), *blocks_, d, iadr);
  return iadr;
}

// A CAS space has neither holes nor particles.
bool SrAddressTables::active_only() const { return records().prep.gener == "CAS "; }

std::unique_ptr<ExcitationShortcut> SrAddressTables::excitation_shortcut() const {
  return std::make_unique<Excitations>(records(), *blocks_);
}

int SrAddressTables::list_address(int n, const int* a, const int* b, bool* inside) const {
  if (!list_) return 0;
  const int iadr = list_->address(n, a, b, inside);
  // adrdet's look at one address stops the run: through adrdet.
  return iadr == records().switches.stop_at_address ? 0 : iadr;
}

std::unique_ptr<AddressTables> make_address_tables(Run& run) {
  return make_address_tables(run, run.cs.is0);
}

std::unique_ptr<AddressTables> make_address_tables(Run& run, int symmetry) {
  if (!multireference(run.prep.gener)) return std::make_unique<SrAddressTables>(run, symmetry);
  if (symmetry == run.dets.mr.is0) return std::make_unique<MrAddressTables>(run);
  auto r = std::make_unique<MrRecords>();
  mr_space_of_symmetry(run, symmetry, *r);
  return std::make_unique<MrAddressTables>(run, std::move(r));
}

}  // namespace ciprop
