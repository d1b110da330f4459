#include "density/block_density.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <vector>

#include "core/print.hpp"
#include "density/dot_product.hpp"
#include "density/density_threads.hpp"
#include "detspace/address.hpp"
#include "detspace/address_tables.hpp"
#include "detspace/categories.hpp"
#include "detspace/excitation.hpp"

namespace ciprop {

namespace {

using Mask = unsigned;  // a set of active positions, position p as bit p

enum Class { kInactive = 1, kActive = 2, kVirtual = 3 };

bool odd(int n) { return (n & 1) != 0; }
// Whether a set of at most 16 active positions has an odd number of members
// (without the library call that a portable popcount becomes).
bool odd_bits(Mask m) {
  m ^= m >> 8;
  m ^= m >> 4;
  return (0x6996u >> (m & 0xfu) & 1u) != 0;
}
double sign_of(bool negative) { return negative ? -1.0 : 1.0; }

// The orbitals of the CI by class, and what the phases need: a+(j) a(i) on a
// determinant written as the ascending product of its spin-orbitals gives
// (-1) to the number of occupied spin-orbitals of the same spin strictly
// between i and j.  Those are the inactive orbitals in the interval less the
// holes there, the active orbitals of the string in it and the particles in
// it; the prefix counts below give the first two pieces for any interval.
struct Orbitals {
  int norb = 0, noac = 0, nsym = 0;
  int mult[kMaxSym + 1][kMaxSym + 1] = {};
  std::vector<int> cls, sym, pos;    // by orbital 1..norb; pos: active position, -1
  std::vector<int> active;           // by position: the orbital
  std::vector<int> inactive_below;   // by o = 1..norb+1: inactive orbitals numbered below o
  std::vector<Mask> actives_below;   // by o = 1..norb+1: active positions below o
  std::vector<int> of[4][kMaxSym + 1];  // orbitals of a class and symmetry, ascending

  int spatial(int so) const { return so > norb ? so - norb : so; }
  int spin(int so) const { return so > norb ? 1 : 0; }
  // Inactive orbitals and active positions strictly between orbitals lo < hi.
  int inactive_between(int lo, int hi) const { return inactive_below[hi] - inactive_below[lo + 1]; }
  Mask actives_between(int lo, int hi) const {
    return actives_below[hi] & ~actives_below[lo + 1];
  }
};

// Every string of the active orbitals as a mask of positions: its symmetry
// and its rank among the strings of its count and symmetry (lexicographic
// order of the positions, the address tables' order), and the strings of each
// count and symmetry by rank.
struct Strings {
  std::vector<int> rank;
  std::vector<unsigned char> sym;
  std::vector<Mask> of[kMaxActive + 1][kMaxSym + 1];
  int count(int n, int s) const { return static_cast<int>(of[n][s].size()); }

  // Replacements a+(q) a(p) x within one count, q of symmetry
  // sym(p) x (transition symmetry): the result's rank, the density element
  // (i - 1) + (j - 1) norb it feeds, the positions and whether the active
  // electrons strictly between p and q are odd in number.
  struct Move {
    int to, ij;
    unsigned char p, q;
    bool odd;
  };
  std::vector<int> first[kMaxActive + 1][kMaxSym + 1];  // moves of rank r: first[r] .. first[r+1]
  std::vector<Move> moves[kMaxActive + 1][kMaxSym + 1];
};

// Configurations of one or two holes (inactive spin-orbitals) or particles
// (virtual ones), by category (count, symmetry, spin balance) in the order of
// the address tables, and the index of a configuration within its category.
struct Configs {
  int n = 0;                 // spin-orbitals of the class
  std::vector<int> unit_of;  // by spin-orbital 1..2 norb: its place among them, -1
  std::vector<int> one, two;  // index of a single one, of an ascending pair
  std::vector<std::array<int, 2>> list[3][kMaxSym + 1][5];  // [count][sym][balance + 2]

  int index(int count, const int* so) const {
    if (count == 0) return 0;
    if (count == 1) return one[size_t(unit_of[size_t(so[0])])];
    return two[size_t(unit_of[size_t(so[0])]) * size_t(n) + size_t(unit_of[size_t(so[1])])];
  }
  const std::vector<std::array<int, 2>>& of(int count, int s, int balance) const {
    return list[count][s][balance + 2];
  }
};

// One block of a space: its class and, in the layout of the vector, its
// offset, its rows (hole configuration major, then particle configuration)
// and its run of active determinants per row, grouped by alpha-string
// symmetry.
struct Block {
  int nelc, isc, ispc1, icateg;
  int nca, ncb, nt, ist, ispt, np, isp, ispp;
  long long off;
  int maxc, nT, nP;
  int group[kMaxSym + 1];  // offset of the alpha-symmetry group in the run
};

// The blocks of the space of one state symmetry.  Only the offsets, the
// sizes and the particle symmetry of the blocks depend on the symmetry; the
// records hold them for the run's symmetry.
struct SpaceLayout {
  int symmetry = 0;
  long long size = 0;
  std::vector<Block> blocks;  // in address order
  std::vector<int> at;        // by key: the block, -1

  static int key(int nelc, int isc, int ispc1, int icateg) {
    return (((nelc + 2) * kMaxSym + isc - 1) * 5 + ispc1 + 2) * 41 + icateg - 1;
  }
  const Block* find(int nelc, int isc, int ispc1, int icateg) const {
    const int k = at[size_t(key(nelc, isc, ispc1, icateg))];
    return k < 0 ? nullptr : &blocks[size_t(k)];
  }
};

// The holes and particles of a row, ascending spin-orbitals.
struct Ext {
  int nt = 0, np = 0;
  int h[2] = {}, p[2] = {};
};

bool holds(const int* list, int n, int so) {
  for (int k = 0; k < n; ++k)
    if (list[k] == so) return true;
  return false;
}

// A dot product over two strided runs: two running sums added in a fixed
// order.
double strided_dot(const double* x, long long sx, const double* y, long long sy, long long n) {
  double s0 = 0, s1 = 0;
  long long k = 0;
  for (; k + 2 <= n; k += 2) {
    s0 += x[k * sx] * y[k * sy];
    s1 += x[(k + 1) * sx] * y[(k + 1) * sy];
  }
  for (; k < n; ++k) s0 += x[k * sx] * y[k * sy];
  return s0 + s1;
}

class BlockDensity {
 public:
  BlockDensity(Run& run, const CiVector& psi1, std::span<const CiVector> kets)
      : run_(run), s1_(psi1.symmetry), s2_(kets.front().symmetry), st_(run.sym.mult(s1_, s2_)),
        nk_(static_cast<int>(kets.size())), c1_(psi1.in_address_order) {
    for (const CiVector& k : kets) ket_.push_back(k.c);
  }

  // False when the records are not laid out as assumed here; space 2 is
  // that of the tables, space 1 that of psi1's symmetry.
  bool prepare(const SrAddressTables& tables, const CiVector& psi1) {
    if (!orbitals()) return false;
    strings();
    if (!configs(holes_, kInactive) || !configs(parts_, kVirtual)) return false;
    for (int nt = 0; nt <= 2; ++nt)
      for (int ist = 1; ist <= o_.nsym; ++ist)
        for (int spin = -1; spin <= 1; ++spin)
          category_[nt][ist][spin + 1] = run_.dets.icatt(nt, ist, spin);
    BlockTable space1;
    block_offsets(run_, s1_, space1);
    if (!layout(sp1_, space1) || !layout(sp2_, tables.blocks())) return false;
    if (sp1_.size != psi1.n || sp2_.size != tables.size()) return false;
    for (const Block& b : sp1_.blocks) {
      replacements(b.nca);
      replacements(b.ncb);
    }
    plan();
    return true;
  }

  std::vector<TransitionDensity> run() {
    return sum_pieces(run_.io, pieces_, o_.norb, nk_, o_.cls, st_ == 1,
                      [&](const Piece& piece, PieceSums& s, int) {
                        for (const PieceRun& seg : piece)
                          for (long long r = seg.r0; r < seg.r1; ++r)
                            row(sp1_.blocks[size_t(seg.item)], r, s);
                      });
  }

 private:
  // ---- preparation: the records in the kernel's own tables, each checked
  // against the address tables it must agree with.

  bool orbitals() {
    Orbitals& o = o_;
    o.norb = run_.orb.norb;
    o.noac = run_.cs.noac;
    o.nsym = run_.sym.nsym;
    if (o.noac < 1 || o.noac > kMaxActive || o.nsym < 1 || o.nsym > kMaxSym) return false;
    // The symmetry of a string or pair changes by one factor per electron
    // moved, in any order: the products must form a group of self-inverse
    // elements, as the point groups' irreducible representations do.
    for (int a = 1; a <= o.nsym; ++a)
      for (int b = 1; b <= o.nsym; ++b) {
        const int m = run_.sym.mult(a, b);
        if (m < 1 || m > o.nsym || m != run_.sym.mult(b, a)) return false;
        o.mult[a][b] = m;
      }
    for (int a = 1; a <= o.nsym; ++a) {
      if (o.mult[1][a] != a || o.mult[a][a] != 1) return false;
      for (int b = 1; b <= o.nsym; ++b)
        for (int c = 1; c <= o.nsym; ++c)
          if (o.mult[o.mult[a][b]][c] != o.mult[a][o.mult[b][c]]) return false;
    }
    const int nocc = run_.orb.nocc;
    o.cls.assign(size_t(o.norb) + 1, 0);
    o.sym.assign(size_t(o.norb) + 1, 0);
    o.pos.assign(size_t(o.norb) + 1, -1);
    for (int k = 1; k <= o.noac; ++k) {
      const int a = run_.cs.numac(k);
      if (a < 1 || a > o.norb || o.pos[size_t(a)] >= 0) return false;
      o.pos[size_t(a)] = k - 1;
      o.active.push_back(a);
      if (a <= nocc) reference_ |= 1u << (k - 1);
    }
    reference_count_ = std::popcount(reference_);
    o.inactive_below.assign(size_t(o.norb) + 2, 0);
    o.actives_below.assign(size_t(o.norb) + 2, 0);
    for (int i = 1; i <= o.norb; ++i) {
      const int c = run_.cs.itype(i), s = run_.sym.isym(i);
      // Holes are taken from the orbitals occupied in the files' reference,
      // particles put in the empty ones.
      const bool fits = c == kActive ? o.pos[size_t(i)] >= 0
                                     : (c == kInactive ? i <= nocc : i > nocc && c == kVirtual);
      if (!fits || (c != kActive && o.pos[size_t(i)] >= 0) || s < 1 || s > o.nsym) return false;
      o.cls[size_t(i)] = c;
      o.sym[size_t(i)] = s;
      o.of[c][s].push_back(i);
      o.inactive_below[size_t(i) + 1] = o.inactive_below[size_t(i)] + (c == kInactive);
      o.actives_below[size_t(i) + 1] =
          o.actives_below[size_t(i)] | (c == kActive ? 1u << o.pos[size_t(i)] : 0u);
    }
    return files_match_cas(run_);
  }

  void strings() {
    const int noac = o_.noac;
    const size_t all = size_t(1) << noac;
    str_.rank.assign(all, -1);
    str_.sym.assign(all, 0);
    for (int n = 0; n <= noac; ++n) {
      // Subsets of n positions in lexicographic order of their position lists.
      int pos[kMaxActive];
      for (int k = 0; k < n; ++k) pos[k] = k;
      for (;;) {
        Mask m = 0;
        int s = 1;
        for (int k = 0; k < n; ++k) {
          m |= 1u << pos[k];
          s = o_.mult[s][o_.sym[size_t(o_.active[size_t(pos[k])])]];
        }
        str_.sym[m] = static_cast<unsigned char>(s);
        str_.rank[m] = str_.count(n, s);
        str_.of[n][s].push_back(m);
        int k = n - 1;
        while (k >= 0 && pos[k] == noac - n + k) --k;
        if (k < 0) break;
        ++pos[k];
        for (int l = k + 1; l < n; ++l) pos[l] = pos[l - 1] + 1;
      }
    }
  }

  // The address tables' rank of every string of count n must be ours.
  bool same_ranks(int n) {
    if (ranks_checked_[n]) return true;
    ranks_checked_[n] = true;
    for (int s = 1; s <= o_.nsym; ++s) {
      if (str_.count(n, s) > 0 && str_.count(n, s) != run_.dets.adrsym.nbs(s, n)) return false;
      for (const Mask m : str_.of[n][s]) {
        int pos[kMaxActive], k = 0, r = 0;
        for (Mask b = m; b != 0; b &= b - 1) pos[k++] = std::countr_zero(b) + 1;
        subset_rank(run_, n, pos, r);
        if (run_.dets.adrsym.irangs(r, n) - 1 != str_.rank[m]) return false;
      }
    }
    return true;
  }

  // The configurations of a class, indexed as adrt (holes) and adrp
  // (particles) index them; false when those indices do not number each
  // category's configurations once each.
  bool configs(Configs& cf, int cls) {
    const int norb = o_.norb;
    std::vector<int> so;
    for (int spin = 0; spin < 2; ++spin)
      for (int i = 1; i <= norb; ++i)
        if (o_.cls[size_t(i)] == cls) so.push_back(i + spin * norb);
    cf.n = static_cast<int>(so.size());
    cf.unit_of.assign(2 * size_t(norb) + 2, -1);
    for (int u = 0; u < cf.n; ++u) cf.unit_of[size_t(so[size_t(u)])] = u;
    cf.one.assign(size_t(cf.n), -1);
    cf.two.assign(size_t(cf.n) * size_t(cf.n), -1);
    cf.list[0][1][2].push_back({0, 0});
    auto place = [&](int count, const int* pair) {
      int s = 1, balance = 0;
      for (int k = 0; k < count; ++k) {
        s = o_.mult[s][o_.sym[size_t(o_.spatial(pair[k]))]];
        balance += o_.spin(pair[k]) == 0 ? 1 : -1;
      }
      const int j = balance == 0 ? 0 : 1;
      int index = 0, n = 0;
      if (cls == kInactive) {
        adrt(run_, count, pair, balance, index);
        n = run_.dets.co_max.maxtt(count, s, j);
      } else {
        adrp(run_, count, pair, balance, index);
        n = run_.dets.co_max.maxpp(count, s, j);
      }
      auto& l = cf.list[count][s][balance + 2];
      if (l.empty()) l.assign(size_t(n), {-1, -1});
      if (index < 1 || index > n || l[size_t(index - 1)][0] != -1) return -1;
      l[size_t(index - 1)] = {pair[0], count == 2 ? pair[1] : 0};
      return index - 1;
    };
    for (int u = 0; u < cf.n; ++u) {
      const int one[1] = {so[size_t(u)]};
      if ((cf.one[size_t(u)] = place(1, one)) < 0) return false;
      for (int v = u + 1; v < cf.n; ++v) {
        const int two[2] = {so[size_t(u)], so[size_t(v)]};
        if ((cf.two[size_t(u) * size_t(cf.n) + size_t(v)] = place(2, two)) < 0) return false;
      }
    }
    for (int count = 1; count <= 2; ++count)
      for (auto& by_sym : cf.list[count])
        for (auto& l : by_sym)
          for (const auto& c : l)
            if (c[0] == -1) return false;
    return true;
  }

  // Spin class of an active part, 99 outside the tables.
  int ispc1_of(int nca, int ncb) const {
    const int dspin = nca - ncb - run_.dets.cas_spin;
    return dspin < -4 || dspin > 4 ? 99 : run_.util(30 + dspin);
  }

  // The blocks of the space whose offsets and sizes are t, from the
  // records.
  bool layout(SpaceLayout& sp, const BlockTable& t) {
    const DetRecords& dt = run_.dets;
    const int s = t.symmetry;
    sp.symmetry = s;
    sp.at.assign(size_t(SpaceLayout::key(2, kMaxSym, 2, 41)) + 1, -1);
    int cat_nt[42] = {}, cat_ist[42] = {}, cat_spin[42] = {};
    for (int nt = 0; nt <= 2; ++nt)
      for (int ist = 1; ist <= kMaxSym; ++ist)
        for (int sp1 = -1; sp1 <= 1; ++sp1) {
          const int c = dt.icatt(nt, ist, sp1);
          if (c < 1) continue;
          if (c > 41 || cat_ist[c] != 0) return false;
          cat_nt[c] = nt;
          cat_ist[c] = ist;
          cat_spin[c] = nt == 2 ? 2 * sp1 : sp1;
        }
    for (int nelc = -2; nelc <= 2; ++nelc)
      for (int isc = 1; isc <= o_.nsym; ++isc)
        for (int ispc1 = -2; ispc1 <= 2; ++ispc1)
          for (int icateg = 1; icateg <= 41; ++icateg) {
            const long long size = t.nblk(nelc, isc, ispc1, icateg);
            if (size <= 0) continue;
            Block b{};
            b.nelc = nelc;
            b.isc = isc;
            b.ispc1 = ispc1;
            b.icateg = icateg;
            b.off = t.ioff(nelc, isc, ispc1, icateg);
            b.nca = -1;
            for (int nca = 0; nca <= o_.noac; ++nca) {
              const int ncb = run_.cs.nelac + nelc - nca;
              if (ncb < 0 || ncb > o_.noac || ispc1_of(nca, ncb) != ispc1) continue;
              if (b.nca >= 0) return false;
              b.nca = nca;
              b.ncb = ncb;
            }
            if (b.nca < 0 || cat_ist[icateg] == 0) return false;
            b.nt = cat_nt[icateg];
            b.ist = cat_ist[icateg];
            b.ispt = cat_spin[icateg];
            b.np = b.nt - nelc;
            b.ispp = b.ispt - (b.nca - b.ncb - dt.cas_spin);
            b.isp = o_.mult[s][o_.mult[b.ist][isc]];
            if (b.np < 0 || b.np > 2 || b.ispp < -b.np || b.ispp > b.np) return false;
            b.nT = static_cast<int>(holes_.of(b.nt, b.ist, b.ispt).size());
            b.nP = static_cast<int>(parts_.of(b.np, b.isp, b.ispp).size());
            b.maxc = dt.mxdetc.maxc(nelc, isc, ispc1);
            if (!same_ranks(b.nca) || !same_ranks(b.ncb)) return false;
            long long run = 0;
            for (int isa = 1; isa <= o_.nsym; ++isa) {
              b.group[isa] = dt.prep2.iadc(isc, isa, b.nca, b.ncb);
              const long long n = static_cast<long long>(str_.count(b.nca, isa)) *
                                  str_.count(b.ncb, o_.mult[isa][isc]);
              if (n > 0 && b.group[isa] != run) return false;
              run += n;
            }
            if (run != b.maxc || size != static_cast<long long>(b.nT) * b.nP * b.maxc)
              return false;
            sp.at[size_t(SpaceLayout::key(nelc, isc, ispc1, icateg))] =
                static_cast<int>(sp.blocks.size());
            sp.blocks.push_back(b);
          }
    std::sort(sp.blocks.begin(), sp.blocks.end(),
              [](const Block& a, const Block& b) { return a.off < b.off; });
    long long end = 0;
    for (size_t k = 0; k < sp.blocks.size(); ++k) {
      const Block& b = sp.blocks[k];
      if (b.off != end) return false;
      end += static_cast<long long>(b.nT) * b.nP * b.maxc;
      sp.at[size_t(SpaceLayout::key(b.nelc, b.isc, b.ispc1, b.icateg))] = static_cast<int>(k);
    }
    sp.size = end;
    return end == t.ntotal;
  }

  // The replacements within the active strings of count n that the
  // transition symmetry allows, each string's moves together.
  void replacements(int n) {
    if (!str_.first[n][1].empty() || n == 0) return;
    const int noac = o_.noac;
    for (int s = 1; s <= o_.nsym; ++s) {
      auto& first = str_.first[n][s];
      auto& moves = str_.moves[n][s];
      for (const Mask x : str_.of[n][s]) {
        first.push_back(static_cast<int>(moves.size()));
        for (int p = 0; p < noac; ++p) {
          if (!(x >> p & 1)) continue;
          const Mask rest = x & ~(1u << p);
          const int i = o_.active[size_t(p)];
          for (int q = 0; q < noac; ++q) {
            const int j = o_.active[size_t(q)];
            if ((rest >> q & 1) || o_.mult[o_.sym[size_t(i)]][o_.sym[size_t(j)]] != st_) continue;
            const Mask between = o_.actives_between(std::min(i, j), std::max(i, j));
            moves.push_back({str_.rank[rest | 1u << q], (i - 1) + (j - 1) * o_.norb,
                             static_cast<unsigned char>(p), static_cast<unsigned char>(q),
                             odd_bits(rest & between)});
          }
        }
      }
      first.push_back(static_cast<int>(moves.size()));
    }
  }

  // Pieces of work: runs of rows of space 1 of about equal work, fixed by
  // the space alone, whatever the number of threads.
  void plan() {
    const auto& blocks = sp1_.blocks;
    pieces_ = plan_pieces(
        blocks.size(),
        [&](size_t k) { return static_cast<long long>(blocks[k].nT) * blocks[k].nP; },
        [&](size_t k) { return static_cast<long long>(blocks[k].maxc) + 16; },
        static_cast<long long>(PieceSums::stride_for(o_.norb)) * nk_ * 8);
  }

  // ---- the pairs of one row of space 1

  // The block of `sp` that holds the determinants of active counts nca,
  // ncb, active symmetry isc, the nt holes h and np particles, and in `t`
  // the index of the holes within their category; null when the space has
  // no such block.
  const Block* block_of(const SpaceLayout& sp, int nca, int ncb, int isc, int nt, const int* h,
                        int np, long long& t) const {
    const int nelc = nca + ncb - run_.cs.nelac;
    const int ispc1 = ispc1_of(nca, ncb);
    if (nelc < -2 || nelc > 2 || ispc1 < -2 || ispc1 > 2) return nullptr;
    int ist = 1, balance = 0;
    for (int k = 0; k < nt; ++k) {
      ist = o_.mult[ist][o_.sym[size_t(o_.spatial(h[k]))]];
      balance += o_.spin(h[k]) == 0 ? 1 : -1;
    }
    const int icateg = category_[nt][ist][(nt == 2 ? balance / 2 : balance) + 1];
    if (icateg < 1) return nullptr;
    const Block* b = sp.find(nelc, isc, ispc1, icateg);
    if (b == nullptr || b->np != np) return nullptr;
    t = holes_.index(nt, h);
    return b;
  }

  // The offset of the row of hole configuration t and particles p in b.
  long long row_offset(const Block& b, long long t, int np, const int* p) const {
    return b.off + (t * b.nP + parts_.index(np, p)) * b.maxc;
  }

  // A block of space 2 and the row there whose determinants follow from the
  // row of space 1 by the replacement of one spin-orbital.
  const Block* block2(int nca, int ncb, int isc, int nt, const int* h, int np, long long& t) const {
    return block_of(sp2_, nca, ncb, isc, nt, h, np, t);
  }

  // Occupied spin-orbitals of spin sigma strictly between orbitals lo < hi
  // outside the active space, in the determinants of the row.
  int outside_between(const Ext& J, int sigma, int lo, int hi) const {
    int n = o_.inactive_between(lo, hi);
    for (int k = 0; k < J.nt; ++k) {
      const int o = o_.spatial(J.h[k]);
      if (o_.spin(J.h[k]) == sigma && o > lo && o < hi) --n;
    }
    for (int k = 0; k < J.np; ++k) {
      const int o = o_.spatial(J.p[k]);
      if (o_.spin(J.p[k]) == sigma && o > lo && o < hi) ++n;
    }
    return n;
  }

  void row(const Block& b, long long r, PieceSums& s) {
    Ext J;
    const auto& t = holes_.of(b.nt, b.ist, b.ispt)[size_t(r / b.nP)];
    const auto& p = parts_.of(b.np, b.isp, b.ispp)[size_t(r % b.nP)];
    J.nt = b.nt;
    J.np = b.np;
    for (int k = 0; k < 2; ++k) {
      J.h[k] = t[size_t(k)];
      J.p[k] = p[size_t(k)];
    }
    const double* x = c1_ + b.off + r * b.maxc;
    if (st_ == 1) diagonal(b, J, x, r, s);
    for (int sigma = 0; sigma < 2; ++sigma) {
      within_active(b, J, x, r, sigma, s);
      outside_moves(b, J, x, sigma, s);
      into_and_out_of_active(b, J, x, sigma, s);
    }
  }

  // a+(i) a(i) for the orbitals outside the active space: the overlap of
  // the row with its own row in vector 2, for every inactive spin-orbital
  // not a hole and every particle.
  void diagonal(const Block& b, const Ext& J, const double* x, long long r, PieceSums& s) {
    const Block* b2 = sp2_.find(b.nelc, b.isc, b.ispc1, b.icateg);
    if (b2 == nullptr) return;
    const long long y = b2->off + r * b2->maxc;
    for (int k = 0; k < nk_; ++k) {
      const double d = dot(x, ket_[size_t(k)] + y, b.maxc);
      double* a = s.ket(k);
      a[s.all()] += d;
      for (int h = 0; h < J.nt; ++h) a[s.holes() + size_t(J.h[h])] += d;
      for (int q = 0; q < J.np; ++q) a[s.parts() + size_t(J.p[q])] += d;
    }
    const int outside = 2 * o_.inactive_below[size_t(o_.norb) + 1] - J.nt + J.np;
    s.pairs += static_cast<long long>(b.maxc) * outside;
  }

  // Replacements inside the active orbitals: holes and particles stay, one
  // string of spin sigma changes.  The sign is the string's (active
  // electrons between the two orbitals) times the row's (inactive electrons
  // and particles between them).
  void within_active(const Block& b, const Ext& J, const double* x, long long r, int sigma,
                     PieceSums& s) {
    const Block* b2 = sp2_.find(b.nelc, o_.mult[b.isc][st_], b.ispc1, b.icateg);
    if (b2 == nullptr) return;
    const long long y = b2->off + r * b2->maxc;
    // Parity of the row's occupied spin-orbitals below each active orbital.
    Mask below = 0;
    for (int q = 0; q < o_.noac; ++q) {
      const int a = o_.active[size_t(q)];
      if (odd(outside_between(J, sigma, 0, a))) below |= 1u << q;
    }
    const int n = sigma == 0 ? b.nca : b.ncb;
    for (int isa = 1; isa <= o_.nsym; ++isa) {
      const int isb = o_.mult[isa][b.isc];
      const long long na = str_.count(b.nca, isa), nb = str_.count(b.ncb, isb);
      if (na == 0 || nb == 0) continue;
      const int s1 = sigma == 0 ? isa : isb;
      const auto& first = str_.first[n][s1];
      const auto& moves = str_.moves[n][s1];
      if (first.empty()) continue;
      const double* g1 = x + b.group[isa];
      for (int from = 0; from < str_.count(n, s1); ++from)
        for (int m = first[size_t(from)]; m < first[size_t(from) + 1]; ++m) {
          const Strings::Move& mv = moves[size_t(m)];
          const double sg = sign_of(mv.odd != (((below >> mv.p) ^ (below >> mv.q)) & 1u));
          for (int k = 0; k < nk_; ++k) {
            const double* y2 = ket_[size_t(k)] + y;
            double v;
            if (sigma == 1) {
              v = dot(g1 + from * na, y2 + b2->group[isa] + mv.to * na, na);
            } else {
              const int isa2 = o_.mult[isa][st_];
              const double* g2 = y2 + b2->group[isa2] + mv.to;
              v = strided_dot(g1 + from, na, g2, str_.count(b.nca, isa2), nb);
            }
            s.ket(k)[mv.ij] += sg * v;
          }
          s.pairs += sigma == 1 ? na : nb;
        }
    }
  }

  // The pair of runs whose active parts are the same: sum over the run of
  // x y times (-1) to the active electrons of spin sigma in `between`.
  void same_run(const Block& b, const double* x, long long y, int sigma, Mask between,
                double sg, int ij, PieceSums& s) {
    for (int k = 0; k < nk_; ++k) {
      const double* y2 = ket_[size_t(k)] + y;
      double v = 0;
      if (between == 0) {
        v = dot(x, y2, b.maxc);
      } else {
        for (int isa = 1; isa <= o_.nsym; ++isa) {
          const int isb = o_.mult[isa][b.isc];
          const long long na = str_.count(b.nca, isa), nb = str_.count(b.ncb, isb);
          const double* g1 = x + b.group[isa];
          const double* g2 = y2 + b.group[isa];
          if (sigma == 1) {
            for (long long rb = 0; rb < nb; ++rb) {
              const bool o = odd_bits(str_.of[b.ncb][isb][size_t(rb)] & between);
              v += sign_of(o) * dot(g1 + rb * na, g2 + rb * na, na);
            }
          } else {
            for (long long ra = 0; ra < na; ++ra) {
              const bool o = odd_bits(str_.of[b.nca][isa][size_t(ra)] & between);
              v += sign_of(o) * strided_dot(g1 + ra, na, g2 + ra, na, nb);
            }
          }
        }
      }
      s.ket(k)[ij] += sg * v;
    }
    s.pairs += b.maxc;
  }

  // The sign and the density element of a+(j) a(i) for i, j outside the
  // active space, and the pair of runs; y is the row of space 2.
  void outside_pair(const Block& b, const Ext& J, const double* x, int sigma, int i, int j,
                    long long y, PieceSums& s) {
    const int lo = std::min(i, j), hi = std::max(i, j);
    same_run(b, x, y, sigma, o_.actives_between(lo, hi),
             sign_of(odd(outside_between(J, sigma, lo, hi))), (i - 1) + (j - 1) * o_.norb, s);
  }

  // Excitations that leave the active strings: a hole moves, a particle
  // moves, a particle fills a hole or an inactive electron goes to a virtual
  // orbital.  The block of space 2 follows from the holes; the particles
  // only choose the row.
  void outside_moves(const Block& b, const Ext& J, const double* x, int sigma, PieceSums& s) {
    const int off = sigma * o_.norb;
    long long t = 0;
    // a hole of J, j, filled from the inactive orbital i, the new hole
    for (int kh = 0; kh < J.nt; ++kh) {
      if (o_.spin(J.h[kh]) != sigma) continue;
      const int j = o_.spatial(J.h[kh]);
      for (const int i : o_.of[kInactive][o_.mult[o_.sym[size_t(j)]][st_]]) {
        if (holds(J.h, J.nt, i + off)) continue;
        Ext K = J;
        remove_value(K.h, K.nt, j + off);
        insert_sorted(K.h, K.nt, i + off);
        if (const Block* b2 = block2(b.nca, b.ncb, b.isc, K.nt, K.h, K.np, t))
          outside_pair(b, J, x, sigma, i, j, row_offset(*b2, t, K.np, K.p), s);
      }
    }
    // a particle of J moved from i to the virtual orbital j
    const Block* same = block2(b.nca, b.ncb, b.isc, J.nt, J.h, J.np, t);
    for (int kp = 0; kp < J.np && same != nullptr; ++kp) {
      if (o_.spin(J.p[kp]) != sigma) continue;
      const int i = o_.spatial(J.p[kp]);
      for (const int j : o_.of[kVirtual][o_.mult[o_.sym[size_t(i)]][st_]]) {
        if (holds(J.p, J.np, j + off)) continue;
        Ext K = J;
        remove_value(K.p, K.np, i + off);
        insert_sorted(K.p, K.np, j + off);
        outside_pair(b, J, x, sigma, i, j, row_offset(*same, t, K.np, K.p), s);
      }
    }
    // a particle of J, i, falls into a hole of J, j
    for (int kp = 0; kp < J.np; ++kp)
      for (int kh = 0; kh < J.nt; ++kh) {
        if (o_.spin(J.p[kp]) != sigma || o_.spin(J.h[kh]) != sigma) continue;
        const int i = o_.spatial(J.p[kp]), j = o_.spatial(J.h[kh]);
        if (o_.mult[o_.sym[size_t(i)]][o_.sym[size_t(j)]] != st_) continue;
        Ext K = J;
        remove_value(K.p, K.np, J.p[kp]);
        remove_value(K.h, K.nt, J.h[kh]);
        if (const Block* b2 = block2(b.nca, b.ncb, b.isc, K.nt, K.h, K.np, t))
          outside_pair(b, J, x, sigma, i, j, row_offset(*b2, t, K.np, K.p), s);
      }
    // an inactive electron i promoted to the virtual orbital j
    if (J.nt == 2 || J.np == 2) return;
    for (int si = 1; si <= o_.nsym; ++si)
      for (const int i : o_.of[kInactive][si]) {
        if (holds(J.h, J.nt, i + off)) continue;
        Ext K = J;
        insert_sorted(K.h, K.nt, i + off);
        const Block* b2 = block2(b.nca, b.ncb, b.isc, K.nt, K.h, K.np + 1, t);
        if (b2 == nullptr) continue;
        for (const int j : o_.of[kVirtual][o_.mult[si][st_]]) {
          if (holds(J.p, J.np, j + off)) continue;
          Ext L = K;
          insert_sorted(L.p, L.np, j + off);
          outside_pair(b, J, x, sigma, i, j, row_offset(*b2, t, L.np, L.p), s);
        }
      }
  }

  // An electron of spin sigma enters the active orbitals at position k
  // (gain) or leaves them from k; the other orbital, `other`, is outside.
  // b2 and y are the block and row of space 2.
  void string_count_change(const Block& b, const Ext& J, const double* x, int sigma, int k,
                           bool gain, int other, const Block& b2, long long y, PieceSums& s) {
    const int a = o_.active[size_t(k)];
    const int n2 = (sigma == 0 ? b.nca : b.ncb) + (gain ? 1 : -1);
    const int lo = std::min(a, other), hi = std::max(a, other);
    const Mask between = o_.actives_between(lo, hi);
    const double sg = sign_of(odd(outside_between(J, sigma, lo, hi)));
    const int ij = gain ? (other - 1) + (a - 1) * o_.norb : (a - 1) + (other - 1) * o_.norb;
    const Mask bit = 1u << k;
    for (int isa = 1; isa <= o_.nsym; ++isa) {
      const int isb = o_.mult[isa][b.isc];
      const long long na = str_.count(b.nca, isa), nb = str_.count(b.ncb, isb);
      if (na == 0 || nb == 0) continue;
      const double* g1 = x + b.group[isa];
      if (sigma == 1) {
        // The beta string changes: rows of the alpha strings of isa.
        const auto& list = str_.of[b.ncb][isb];
        for (long long rb = 0; rb < nb; ++rb) {
          const Mask m = list[size_t(rb)];
          if (((m & bit) != 0) == gain) continue;
          const long long to = str_.rank[m ^ bit];
          const double v = sg * sign_of(odd_bits(m & between));
          for (int kk = 0; kk < nk_; ++kk)
            s.ket(kk)[ij] +=
                v * dot(g1 + rb * na, ket_[size_t(kk)] + y + b2.group[isa] + to * na, na);
          s.pairs += na;
        }
      } else {
        // The alpha string changes: columns over the beta strings.
        const auto& list = str_.of[b.nca][isa];
        const int isa2 = o_.mult[isa][o_.sym[size_t(a)]];
        const long long na2 = str_.count(n2, isa2);
        for (long long ra = 0; ra < na; ++ra) {
          const Mask m = list[size_t(ra)];
          if (((m & bit) != 0) == gain) continue;
          const long long to = str_.rank[m ^ bit];
          const double v = sg * sign_of(odd_bits(m & between));
          for (int kk = 0; kk < nk_; ++kk)
            s.ket(kk)[ij] +=
                v * strided_dot(g1 + ra, na, ket_[size_t(kk)] + y + b2.group[isa2] + to, na2, nb);
          s.pairs += nb;
        }
      }
    }
  }

  // Excitations that change the count of active electrons: an inactive
  // electron or a particle enters the active orbitals, or an active electron
  // fills a hole or becomes a particle.  The block of space 2 follows from
  // the active position and the holes, before the particles choose the row.
  void into_and_out_of_active(const Block& b, const Ext& J, const double* x, int sigma, PieceSums& s) {
    const int off = sigma * o_.norb;
    long long t = 0;
    // The block of space 2 once the electron has entered (gain) or left
    // active position k, with the holes and particles K; then the same for
    // every position that the symmetry pairs with the other orbital.
    auto block_after = [&](int k, bool gain, const Ext& K) {
      const int d = gain ? 1 : -1;
      const int nca = b.nca + (sigma == 0 ? d : 0), ncb = b.ncb + (sigma == 1 ? d : 0);
      const int isc = o_.mult[b.isc][o_.sym[size_t(o_.active[size_t(k)])]];
      return block2(nca, ncb, isc, K.nt, K.h, K.np, t);
    };
    auto through_actives = [&](int other, bool gain, const Ext& K) {
      for (int k = 0; k < o_.noac; ++k) {
        if (o_.mult[o_.sym[size_t(o_.active[size_t(k)])]][o_.sym[size_t(other)]] != st_) continue;
        if (const Block* b2 = block_after(k, gain, K))
          string_count_change(b, J, x, sigma, k, gain, other, *b2,
                              row_offset(*b2, t, K.np, K.p), s);
      }
    };
    // an inactive electron i enters the active orbitals
    if (J.nt < 2)
      for (int si = 1; si <= o_.nsym; ++si)
        for (const int i : o_.of[kInactive][si]) {
          if (holds(J.h, J.nt, i + off)) continue;
          Ext K = J;
          insert_sorted(K.h, K.nt, i + off);
          through_actives(i, true, K);
        }
    // a particle i enters them
    for (int kp = 0; kp < J.np; ++kp) {
      if (o_.spin(J.p[kp]) != sigma) continue;
      Ext K = J;
      remove_value(K.p, K.np, J.p[kp]);
      through_actives(o_.spatial(J.p[kp]), true, K);
    }
    // an active electron fills a hole j
    for (int kh = 0; kh < J.nt; ++kh) {
      if (o_.spin(J.h[kh]) != sigma) continue;
      Ext K = J;
      remove_value(K.h, K.nt, J.h[kh]);
      through_actives(o_.spatial(J.h[kh]), false, K);
    }
    // the electron at position k becomes a particle in j: the block has
    // the holes of J and one particle more, j only chooses the row
    if (J.np == 2) return;
    Ext K = J;
    ++K.np;
    for (int k = 0; k < o_.noac; ++k) {
      const Block* b2 = block_after(k, false, K);
      if (b2 == nullptr) continue;
      for (const int j : o_.of[kVirtual][o_.mult[o_.sym[size_t(o_.active[size_t(k)])]][st_]]) {
        if (holds(J.p, J.np, j + off)) continue;
        Ext L = J;
        insert_sorted(L.p, L.np, j + off);
        string_count_change(b, J, x, sigma, k, false, j, *b2, row_offset(*b2, t, L.np, L.p), s);
      }
    }
  }

  Run& run_;
  const int s1_, s2_, st_, nk_;
  std::vector<const double*> ket_;
  Orbitals o_;
  Strings str_;
  Configs holes_, parts_;
  SpaceLayout sp1_, sp2_;
  int category_[3][kMaxSym + 1][3] = {};  // hole category by count, symmetry, spin
  Mask reference_ = 0;  // active positions filled in the files' reference
  int reference_count_ = 0;
  bool ranks_checked_[kMaxActive + 1] = {};
  std::vector<Piece> pieces_;
  const double* c1_;  // psi1 in the address order of space 1
};

}  // namespace

bool block_driven(const AddressTables& tables) {
  return dynamic_cast<const SrAddressTables*>(&tables) != nullptr && !tables.active_only();
}

std::optional<std::vector<TransitionDensity>> block_driven_densities(
    const AddressTables& tables, const CiVector& psi1, std::span<const CiVector> kets) {
  if (!block_driven(tables)) return std::nullopt;
  const auto& sr = static_cast<const SrAddressTables&>(tables);
  if (!kernel_vectors(tables, sr.blocks().symmetry, psi1, kets)) return std::nullopt;
  BlockDensity k(tables.records(), psi1, kets);
  if (!k.prepare(sr, psi1)) return std::nullopt;
  return k.run();
}

}  // namespace ciprop
