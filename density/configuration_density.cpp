#include "density/configuration_density.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/threads.hpp"
#include "density/density_threads.hpp"
#include "density/dot_product.hpp"
#include "detspace/excitation.hpp"
#include "detspace/mr_tables.hpp"
#include "detspace/reference_configurations.hpp"

namespace ciprop {

namespace {

using Mask = unsigned;  // a set of active positions, position q (from 0) as bit q

enum Class { kInactive = 1, kActive = 2, kVirtual = 3 };

// Holes (particles) at orbital level: n electrons taken from (put into)
// the orbitals o[0] <= o[1]; one orbital twice is a closed pair, which
// leaves no open shell.
struct Side {
  int n = 0;
  int o[2] = {0, 0};

  int count(int x) const { return (n > 0 && o[0] == x) + (n > 1 && o[1] == x); }
  int open() const { return n == 1 ? 1 : (n == 2 && o[0] != o[1] ? 2 : 0); }
  // The orbitals, each once.
  int distinct() const { return n == 2 && o[0] == o[1] ? 1 : n; }
  Side with(int x) const {
    Side s = *this;
    s.o[s.n++] = x;
    if (s.n == 2 && s.o[1] < s.o[0]) std::swap(s.o[0], s.o[1]);
    return s;
  }
  Side without(int x) const {
    Side s;
    if (n == 2) s = Side{1, {o[0] == x ? o[1] : o[0], 0}};
    return s;
  }
};

// A row: the hole and particle configurations and the active configuration
// (singly and doubly occupied positions).  Its open shells, in the order of
// the spin patterns, are the open holes, the singly occupied positions and
// the open particles, each group in orbital order.
struct Row {
  Side h, p;
  Mask single = 0, dbl = 0;
};

// Spin patterns of isol open shells: the sets of those carrying an alpha
// electron, by rank (the address tables' order), each as a mask of shells.
// The map of an excitation takes a pattern of a row of vector 1 to the
// pattern of the row of vector 2 that the moved electron leaves, for both
// spins of that electron.  It is tabulated by the places of the two
// orbitals among the open shells: 2k+1 for shell k itself (the orbital holds
// one electron), 2g for an orbital that is not a shell with g shells before
// it (it holds two electrons, or none); with both at one such place, by
// which of the two orbitals comes first.
struct PatternMap {
  long long n1 = 0, n2 = 0;  // patterns of the two rows
  int positive = 0, negative = 0;  // pairs of each sign, the positive ones first
  bool identity = false;  // every pattern to itself, all of one sign
  const std::array<int, 2>* pairs = nullptr;
};

// The order of the open shells of a pattern, which the kernel takes for its
// phases: inactive orbitals by number, active ones by CAS position, virtual
// ones by number.  The place of each orbital 1..norb in it, from 1; empty
// when the records do not hold such classes.
std::vector<int> kernel_order(const MrRecords& r) {
  std::vector<int> order(size_t(r.norb) + 1, 0);
  int inactive = 0, virt = 0;
  for (int i = 1; i <= r.norb; ++i) {
    const int c = r.oclass(i);
    if (c == kActive && (r.opos(i) < 1 || r.opos(i) > r.noac)) return {};
    if (c == kInactive) order[size_t(i)] = ++inactive;
    if (c == kVirtual) order[size_t(i)] = r.noac + r.ninac + ++virt;
  }
  for (int i = 1; i <= r.norb; ++i)
    if (r.oclass(i) == kActive) order[size_t(i)] = inactive + r.opos(i);
  if (inactive != r.ninac || virt != r.nvirt) return {};
  std::vector<bool> met(order.size(), false);
  for (int i = 1; i <= r.norb; ++i) {
    if (order[size_t(i)] < 1 || order[size_t(i)] > r.norb || met[size_t(order[size_t(i)])]) return {};
    met[size_t(order[size_t(i)])] = true;
  }
  return order;
}

// Whether the orbital numbers follow that order.
bool numbered_in_order(const std::vector<int>& order) {
  for (size_t i = 1; i < order.size(); ++i)
    if (order[i] != static_cast<int>(i)) return false;
  return true;
}

// The orbitals of the CI in the kernel's order.
struct Orbitals {
  int norb = 0, noac = 0, ninac = 0, nsym = 0, nelt = 0;
  int mult[kMaxSym + 1][kMaxSym + 1] = {};
  std::vector<int> cls, sym, pos;       // by orbital 1..norb; pos: active position, -1
  std::vector<int> order;               // by orbital: its place in the kernel's order
  std::vector<int> active;              // by position: the orbital
  std::vector<int> of[4][kMaxSym + 1];  // orbitals of a class and symmetry, ascending
  Mask by_sym[kMaxSym + 1] = {};        // active positions of each symmetry

  // Inactive orbitals and active positions strictly between the places lo
  // < hi of that order.
  int inactive_between(int lo, int hi) const { return std::max(0, std::min(hi - 1, ninac) - lo); }
  Mask actives_between(int lo, int hi) const {
    const int first = std::max(0, lo - ninac), last = std::min(noac, hi - ninac - 1);
    return first >= last ? 0 : ((1u << last) - 1) & ~((1u << first) - 1);
  }
};

// One block of space 1 (an active configuration, a hole and a particle
// class), or the block of space 2 that an excitation reaches.
struct Block {
  int iconf = 0;
  int nt = 0, isolt = 0, ist = 1, np = 0, isolp = 0, isp = 1;
  long long off = 0, nT = 0, nP = 0, nS = 0;
  int isol = 0;
};

// Class numbers of the hole (particle) lists: none, one of each symmetry, a
// closed pair, an open pair of each symmetry.
int side_class(int n, int open, int sym) {
  if (n == 0) return 0;
  if (n == 1) return sym;
  return open == 0 ? kMaxSym + 1 : kMaxSym + 1 + sym;
}
constexpr int kSideClasses = 2 * kMaxSym + 2;

class ConfigurationDensity {
 public:
  ConfigurationDensity(Run& run, const MrRecords& r2, const CiVector& psi1,
                       std::span<const CiVector> kets)
      : run_(run), r2_(r2), s1_(psi1.symmetry), s2_(kets.front().symmetry),
        st_(run.sym.mult(s1_, s2_)), nk_(static_cast<int>(kets.size())),
        c1_(psi1.in_address_order) {
    for (const CiVector& k : kets) ket_.push_back(k.c);
  }

  // False when the records are not laid out as assumed here; space 2 is
  // that of the tables, space 1 that of psi1's symmetry.
  bool prepare(const CiVector& psi1) {
    if (s1_ == r2_.is0) {
      r1_ = &r2_;
    } else {
      own1_ = std::make_unique<MrRecords>();
      mr_space_of_symmetry(run_, s1_, *own1_);
      r1_ = own1_.get();
    }
    if (!orbitals() || !configurations()) return false;
    if (!sides(holes_, kInactive, true) || !sides(parts_, kVirtual, false)) return false;
    // Space 2 laid out without gap as well: no excitation reaches past it.
    if (!blocks(*r1_, items_) || r1_->ntotal != psi1.n) return false;
    if (r1_ != &r2_ && !blocks(r2_, items2_)) return false;
    tabulate_maps();
    plan();
    return true;
  }

  std::vector<TransitionDensity> run() {
    if (!numbered_in_order(o_.order)) {
      copies_.assign(size_t(nk_) + 1, {});
      copies_[0].resize(size_t(r1_->ntotal));
      reorder(items_, c1_, copies_[0].data());
      c1_ = copies_[0].data();
      for (int k = 0; k < nk_; ++k) {
        copies_[size_t(k) + 1].resize(size_t(r2_.ntotal));
        reorder(r1_ == &r2_ ? items_ : items2_, ket_[size_t(k)], copies_[size_t(k) + 1].data());
        ket_[size_t(k)] = copies_[size_t(k) + 1].data();
      }
    }
    return sum_pieces(run_.io, pieces_, o_.norb, nk_, o_.cls, st_ == 1,
                      [&](const Piece& piece, PieceSums& s, int thread) {
                        for (const PieceRun& seg : piece)
                          segment(items_[size_t(seg.item)], seg.r0, seg.r1, s, thread);
                      });
  }

 private:
  // ---- preparation: the records in the kernel's own tables, each checked
  // against the layout it must agree with.

  bool orbitals() {
    Orbitals& o = o_;
    const MrRecords& r = r2_;
    o.norb = r.norb;
    o.noac = r.noac;
    o.ninac = r.ninac;
    o.nsym = r.nsym;
    o.nelt = 2 * r.ninac + r.nelac;
    o.order = kernel_order(r);
    if (o.order.empty() || o.noac < 1 || o.noac > kMaxActive || o.nsym < 1 ||
        o.nsym > kMaxSym || !symmetry_group(run_))
      return false;
    for (int a = 1; a <= o.nsym; ++a)
      for (int b = 1; b <= o.nsym; ++b) o.mult[a][b] = r.mult(a, b);
    o.cls.assign(size_t(o.norb) + 1, 0);
    o.sym.assign(size_t(o.norb) + 1, 0);
    o.pos.assign(size_t(o.norb) + 1, -1);
    o.active.assign(size_t(o.noac), 0);
    for (int i = 1; i <= o.norb; ++i) {
      const int c = r.oclass(i), s = r.osym(i);
      if (s < 1 || s > o.nsym) return false;
      o.cls[size_t(i)] = c;
      o.sym[size_t(i)] = s;
      o.of[c][s].push_back(i);
      if (c != kActive) continue;
      const int q = r.opos(i) - 1;
      if (r.asym(q + 1) != s) return false;
      o.pos[size_t(i)] = q;
      o.active[size_t(q)] = i;
      o.by_sym[s] |= 1u << q;
    }
    return true;
  }

  // The number of the configuration with these singly and doubly occupied
  // positions, 0 outside the numbering.
  int number(Mask single, Mask dbl) const {
    int iocc[kMaxActive] = {};
    for (int q = 0; q < o_.noac; ++q) iocc[q] = (single >> q & 1) + 2 * (dbl >> q & 1);
    return configuration_number(r2_, iocc);
  }

  // Every numbered configuration's occupation, and its class.
  bool configurations() {
    const MrRecords& r = r2_;
    const int noac = o_.noac;
    single_.assign(size_t(r.ndimcs0) + 1, 0);
    dbl_.assign(size_t(r.ndimcs0) + 1, 0);
    iscas_.assign(size_t(r.ndimcs0) + 1, 1);
    for (Mask d = 0; d < (1u << noac); ++d) {
      const int ndo = std::popcount(d);
      if (2 * ndo > r.nelac + 2) continue;
      const Mask rest = ((1u << noac) - 1) & ~d;
      // Every subset of the positions left: enumerated from the full set
      // down, only those within two electrons of the active count numbered.
      for (Mask s = rest;; s = (s - 1) & rest) {
        const int ne = 2 * ndo + std::popcount(s);
        if (ne >= r.nelac - 2 && ne <= r.nelac + 2) {
          const int c = number(s, d);
          if (c < 1 || c > r.ndimcs0) return false;
          single_[size_t(c)] = s;
          dbl_[size_t(c)] = d;
          for (Mask m = s; m != 0; m &= m - 1)
            iscas_[size_t(c)] =
                o_.mult[iscas_[size_t(c)]][o_.sym[size_t(o_.active[size_t(std::countr_zero(m))])]];
        }
        if (s == 0) break;
      }
    }
    return true;
  }

  // Whether configuration c of the records admits nt holes with np
  // particles.
  static bool admits(const MrRecords& r, int c, int nt, int np) {
    if (c < 1 || c > r.ndimcs0 || r.klass(c) < 1 || r.klass(c) > kMaxMrClass) return false;
    const ClassRange k = class_range(r.klass(c));
    return nt >= k.mint && nt <= k.maxt && np == nt + k.minp - k.mint;
  }

  long long patterns(int isol) const {
    const int twice = isol + r2_.ms2;
    if (isol > kMaxOpenShells || twice < 0 || twice % 2 != 0 || twice / 2 > isol) return 0;
    return r2_.binom(isol, twice / 2);
  }

  // The block of configuration c of the records holding the hole class
  // (nt, isolt, ist) and the particle class (np, isolp, isp); false when the
  // space has none.
  bool block_of(const MrRecords& r, int c, int nt, int isolt, int ist, int np, int isolp, int isp,
                Block& b) const {
    if (!admits(r, c, nt, np)) return false;
    const Mask single = single_[size_t(c)];
    if (isp != o_.mult[r.is0][o_.mult[iscas_[size_t(c)]][ist]]) return false;
    const int ip = r.niips(np, isolp, isp), it = r.niits(isolt, ist);
    if (ip == 0 || it == 0) return false;
    const int isolc = std::popcount(single);
    b = {c, nt, isolt, ist, np, isolp, isp, 0, r.ndett(nt, isolt, ist), r.ndetp(np, isolp, isp), 0,
         isolt + isolc + isolp};
    b.nS = patterns(b.isol);
    b.off = r.base(c) + r.offmrs(r.klass(c), ip, it, isolc);
    return true;
  }

  // The holes (particles) of every orbital-level class by their index;
  // false when the indices do not number each class's configurations once.
  bool sides(std::vector<Side> (&lists)[kSideClasses], int cls, bool hole) {
    const MrRecords& r = r2_;
    std::vector<int> orbs;  // ascending: the lower orbital of a pair first
    for (int i = 1; i <= o_.norb; ++i)
      if (o_.cls[size_t(i)] == cls) orbs.push_back(i);
    auto place = [&](const Side& sd) {
      const OrbitalPair pr = orbital_pair(r, sd.n, sd.o, hole);
      const long long size = hole ? r.ndett(sd.n, pr.isol, pr.sym) : r.ndetp(sd.n, pr.isol, pr.sym);
      auto& l = lists[side_class(sd.n, pr.isol, pr.sym)];
      if (l.empty()) l.assign(size_t(size), Side{-1});
      if (pr.index < 1 || pr.index > size || l[size_t(pr.index - 1)].n != -1) return false;
      l[size_t(pr.index - 1)] = sd;
      return true;
    };
    if (!place(Side{})) return false;
    for (size_t a = 0; a < orbs.size(); ++a) {
      if (!place(Side{1, {orbs[a], 0}})) return false;
      for (size_t b = a; b < orbs.size(); ++b)
        if (!place(Side{2, {orbs[a], orbs[b]}})) return false;
    }
    for (const auto& l : lists)
      for (const Side& sd : l)
        if (sd.n == -1) return false;
    return true;
  }

  // The blocks of the space of the records in address order, which must
  // cover it without gap: per configuration (by base address) its class's
  // hole counts, hole and particle open shells and hole symmetries, as the
  // layout takes them.
  bool blocks(const MrRecords& r, std::vector<Block>& items) const {
    std::vector<int> order;
    // A configuration without determinants has the base of the next one.
    for (int c = 1; c <= r.ndimcs0; ++c)
      if (r.klass(c) >= 1 && r.klass(c) <= kMaxMrClass &&
          r.cfg_size(r.klass(c), std::popcount(single_[size_t(c)]), iscas_[size_t(c)]) > 0)
        order.push_back(c);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return r.base(a) < r.base(b); });
    long long end = 0;
    for (const int c : order) {
      const ClassRange k = class_range(r.klass(c));
      for (int nt = k.mint; nt <= k.maxt; ++nt) {
        const int np = nt + k.minp - k.mint;
        for (const int isolt : {0, 1, 2}) {
          if ((nt == 0 && isolt != 0) || (nt == 1 && isolt != 1) || (nt == 2 && isolt == 1))
            continue;
          for (const int isolp : {0, 1, 2}) {
            if ((np == 0 && isolp != 0) || (np == 1 && isolp != 1) || (np == 2 && isolp == 1))
              continue;
            for (int ist = 1; ist <= (isolt == 0 ? 1 : o_.nsym); ++ist)
              for (int isp = 1; isp <= o_.nsym; ++isp) {
                Block b;
                if (!block_of(r, c, nt, isolt, ist, np, isolp, isp, b)) continue;
                if (b.off != end) return false;
                end += b.nT * b.nP * b.nS;
                if (b.nT * b.nP * b.nS > 0) items.push_back(b);
              }
          }
        }
      }
    }
    return end == r.ntotal;
  }

  // The maps of the pattern counts met, tabulated while they take little
  // memory; larger ones are made as each excitation needs them.
  void tabulate_maps() {
    int most = 0;
    bool used[kMaxOpenShells + 1] = {};
    for (const Block& b : items_) {
      used[b.isol] = true;
      most = std::max(most, b.isol);
    }
    int masked = most + 2;
    for (const Block& b : items2_) masked = std::max(masked, b.isol);
    masks_.resize(size_t(kMaxOpenShells) + 1);
    for (int isol = 0; isol <= std::min(masked, kMaxOpenShells); ++isol) pattern_masks(isol);
    long long entries = 0, largest = 0;
    for (int isol = 0; isol <= most; ++isol) {
      if (!used[isol]) continue;
      entries += static_cast<long long>(2 * isol + 2) * (2 * isol + 1) * 2 * patterns(isol);
      if (entries <= kTabulatedPairs)
        tabulated_ = isol;
      else
        largest = std::max(largest, patterns(isol));
    }
    slots_.assign(size_t(key(tabulated_ + 1, 0, 0, false)), PatternMap{});
    std::vector<std::pair<size_t, size_t>> starts;  // slot, first pair
    for (int isol = 0; isol <= tabulated_; ++isol) {
      if (!used[isol]) continue;
      for (int ci = 0; ci <= 2 * isol; ++ci)
        for (int cj = 0; cj <= 2 * isol; ++cj)
          for (const bool i_first : {false, true}) {
            // Only two orbitals at one place between shells need the order.
            if ((ci == cj && ci % 2 == 1) || (ci != cj && i_first)) continue;
            const size_t slot = size_t(key(isol, ci, cj, i_first));
            starts.push_back({slot, table_.size()});
            build(isol, ci, cj, i_first, table_, slots_[slot]);
          }
    }
    for (const auto& [slot, first] : starts) slots_[slot].pairs = table_.data() + first;
    // One map in the making per thread of the pieces.
    const size_t threads = size_t(run_threads());
    scratch_.assign(threads, {});
    scratch_map_.assign(threads, PatternMap{});
    for (auto& sc : scratch_) sc.reserve(size_t(2 * largest));
  }

  // Pairs of the tabulated maps: 64 MB at most.
  static constexpr long long kTabulatedPairs = 8LL << 20;

  static int key(int isol, int ci, int cj, bool i_first) {
    const int w = 2 * kMaxOpenShells + 1;
    return ((isol * w + ci) * w + cj) * 2 + (i_first ? 1 : 0);
  }

  void pattern_masks(int isol) {
    const long long n = patterns(isol);
    std::vector<std::uint32_t>& m = masks_[size_t(isol)];
    m.assign(size_t(n), 0);
    if (n == 0) return;
    const int k = (isol + r2_.ms2) / 2;
    for (std::uint32_t a = 0; a < (1u << isol); ++a) {
      if (std::popcount(a) != k) continue;
      int list[kMaxOpenShells], c = 0;
      for (std::uint32_t b = a; b != 0; b &= b - 1) list[c++] = std::countr_zero(b) + 1;
      m[size_t(subset_rank(r2_, isol, k, list) - 1)] = a;
    }
  }

  // The map of an electron leaving the orbital at place ci for the one at
  // place cj among isol open shells: for each pattern and each spin of the
  // electron, whether the two orbitals allow it (a shell left must hold
  // that spin, a shell entered the other), the pattern it becomes (a shell
  // left or entered disappears, a full orbital left or an empty one entered
  // becomes one, holding the other spin or the electron's) and the sign of
  // the shells between the two orbitals that hold the electron's spin.
  void build(int isol, int ci, int cj, bool i_first, std::vector<std::array<int, 2>>& out,
             PatternMap& m) const {
    const int isol2 = isol + (ci % 2 == 0 ? 1 : -1) + (cj % 2 == 0 ? 1 : -1);
    m.n1 = patterns(isol);
    m.n2 = patterns(isol2);
    m.positive = m.negative = 0;
    m.identity = false;
    if (m.n1 == 0 || m.n2 == 0) return;
    const int lo = std::min(ci, cj), hi = std::max(ci, cj);
    std::uint32_t between = 0;
    for (int k = 0; k < isol; ++k)
      if (2 * k + 1 > lo && 2 * k + 1 < hi) between |= 1u << k;
    const size_t start = out.size();
    bool identity = m.n1 == m.n2;
    const std::vector<std::uint32_t>& masks = masks_[size_t(isol)];
    // The positive pairs first, then the negative ones.
    for (const bool odd : {false, true})
      for (int s1 = 0; s1 < static_cast<int>(m.n1); ++s1) {
        const std::uint32_t a = masks[size_t(s1)];
        for (const bool alpha : {true, false}) {
          if (ci % 2 == 1 && ((a >> (ci / 2) & 1u) != 0) != alpha) continue;
          if (cj % 2 == 1 && ((a >> (cj / 2) & 1u) != 0) == alpha) continue;
          const std::uint32_t spin = alpha ? a : ~a;
          if ((std::popcount(spin & between) % 2 == 1) != odd) continue;
          int list[kMaxOpenShells], shells = 0, nalpha = 0;
          auto put = [&](bool up) {
            ++shells;
            if (up) list[nalpha++] = shells;
          };
          for (int g = 0; g <= isol; ++g) {
            const bool ins_i = ci == 2 * g, ins_j = cj == 2 * g;
            if (ins_i && ins_j && !i_first) {
              put(alpha);
              put(!alpha);
            } else {
              if (ins_i) put(!alpha);
              if (ins_j) put(alpha);
            }
            if (g < isol && ci != 2 * g + 1 && cj != 2 * g + 1) put((a >> g & 1u) != 0);
          }
          const int s2 = static_cast<int>(subset_rank(r2_, isol2, nalpha, list) - 1);
          identity = identity && s2 == s1;
          out.push_back({s1, s2});
          (odd ? m.negative : m.positive) += 1;
        }
      }
    m.identity = identity && (m.positive == 0 || m.negative == 0) &&
                 m.positive + m.negative == m.n1 && out.size() - start == size_t(m.n1);
  }

  // The map for isol open shells and the two places: from the table, or
  // made in the thread's own storage.
  const PatternMap& map(int isol, int ci, int cj, bool i_first, int thread) {
    if (isol <= tabulated_) return slots_[size_t(key(isol, ci, cj, ci == cj && i_first))];
    std::vector<std::array<int, 2>>& s = scratch_[size_t(thread)];
    s.clear();
    PatternMap& m = scratch_map_[size_t(thread)];
    build(isol, ci, cj, i_first, s, m);
    m.pairs = s.data();
    return m;
  }

  // Pieces of work: runs of particle configurations of the blocks of space
  // 1, fixed by the space alone.
  void plan() {
    pieces_ = plan_pieces(
        items_.size(), [&](size_t k) { return items_[k].nP; },
        [&](size_t k) { return items_[k].nT * (items_[k].nS + 16); },
        static_cast<long long>(PieceSums::stride_for(o_.norb)) * nk_ * 8);
  }

  // The coefficients of the determinants of the blocks, from `in` to `out`,
  // taken from the ascending product of their spin-orbitals by orbital
  // number to the product in the kernel's order: the sign of the pairs of
  // orbitals of one spin that the two orders put the other way round.  An
  // orbital holding both electrons crosses another one holding both for
  // both spins, an open shell once whatever its spin; two open shells cross
  // when they hold the same spin.
  void reorder(const std::vector<Block>& blocks, const double* in, double* out) const {
    auto crossed = [&](int u, int v) {
      return (u < v) != (o_.order[size_t(u)] < o_.order[size_t(v)]);
    };
    for (const Block& b : blocks) {
      const auto& holes = holes_[size_t(side_class(b.nt, b.isolt, b.ist))];
      const auto& parts = parts_[size_t(side_class(b.np, b.isolp, b.isp))];
      const Mask single = single_[size_t(b.iconf)], dbl = dbl_[size_t(b.iconf)];
      const std::vector<std::uint32_t>& masks = masks_[size_t(b.isol)];
      for (long long p = 0; p < b.nP; ++p)
        for (long long t = 0; t < b.nT; ++t) {
          const Side &h = holes[size_t(t)], &q = parts[size_t(p)];
          int shell[kMaxOpenShells], n = 0;
          for (int k = 0; k < (h.open() > 0 ? h.n : 0); ++k) shell[n++] = h.o[k];
          for (Mask m = single; m != 0; m &= m - 1) shell[n++] = o_.active[size_t(std::countr_zero(m))];
          for (int k = 0; k < (q.open() > 0 ? q.n : 0); ++k) shell[n++] = q.o[k];
          int full = 0;
          for (int k = 0; k < n; ++k) {
            for (int s = 1; s <= o_.nsym; ++s)
              for (const int v : o_.of[kInactive][s]) full += h.count(v) == 0 && crossed(shell[k], v);
            for (Mask m = dbl; m != 0; m &= m - 1)
              full += crossed(shell[k], o_.active[size_t(std::countr_zero(m))]);
            if (q.n == 2 && q.open() == 0) full += crossed(shell[k], q.o[0]);
          }
          std::uint32_t pairs[kMaxOpenShells * kMaxOpenShells / 2][2];
          int npairs = 0;
          for (int k = 0; k < n; ++k)
            for (int l = k + 1; l < n; ++l)
              if (crossed(shell[k], shell[l])) {
                pairs[npairs][0] = unsigned(k);
                pairs[npairs++][1] = unsigned(l);
              }
          const long long row = b.off + (p * b.nT + t) * b.nS;
          for (long long s = 0; s < b.nS; ++s) {
            const std::uint32_t a = masks[size_t(s)];
            int odd = full;
            for (int e = 0; e < npairs; ++e) odd += ((a >> pairs[e][0]) ^ (a >> pairs[e][1]) ^ 1u) & 1u;
            out[row + s] = odd % 2 == 0 ? in[row + s] : -in[row + s];
          }
        }
    }
  }

  // ---- the pairs of one run of rows

  // The place of orbital o among the open shells of row w (see PatternMap).
  int place(const Row& w, int o) const {
    const int c = o_.cls[size_t(o)];
    if (c == kActive) {
      const int q = o_.pos[size_t(o)];
      const int before = w.h.open() + std::popcount(w.single & ((1u << q) - 1));
      return 2 * before + static_cast<int>(w.single >> q & 1u);
    }
    const Side& sd = c == kInactive ? w.h : w.p;
    const int first = c == kInactive ? 0 : w.h.open() + std::popcount(w.single);
    int g = 0;
    if (sd.open() > 0) {
      for (int k = 0; k < sd.n; ++k) {
        if (sd.o[k] == o) return 2 * (first + k) + 1;
        g += sd.o[k] < o;
      }
    }
    return 2 * (first + g);
  }

  // Orbitals strictly between i and j in the kernel's order that hold both
  // electrons in row w: each gives the moved electron's spin once, whatever
  // the pattern.
  int filled_between(const Row& w, int i, int j) const {
    const int lo = std::min(o_.order[size_t(i)], o_.order[size_t(j)]);
    const int hi = std::max(o_.order[size_t(i)], o_.order[size_t(j)]);
    auto inside = [&](int x) { return o_.order[size_t(x)] > lo && o_.order[size_t(x)] < hi; };
    int n = o_.inactive_between(lo, hi) + std::popcount(w.dbl & o_.actives_between(lo, hi));
    for (int k = 0; k < w.h.distinct(); ++k) n -= inside(w.h.o[k]);
    if (w.p.n == 2 && w.p.o[0] == w.p.o[1]) n += inside(w.p.o[0]);
    return n;
  }

  // a+(j) a(i) on the runs: x runs at x + f sx, y runs at y + f sy of
  // every ket, f < count, rows of isol open shells that w describes.
  void pair(const Row& w, int isol, int i, int j, const double* x, long long sx, long long y,
            long long sy, long long count, PieceSums& s, int thread) {
    const int ci = place(w, i), cj = place(w, j);
    const PatternMap& m = map(isol, ci, cj, o_.order[size_t(i)] < o_.order[size_t(j)], thread);
    if (m.positive + m.negative == 0) return;
    const double sign = filled_between(w, i, j) % 2 == 0 ? 1.0 : -1.0;
    const size_t ij = size_t(i - 1) + size_t(j - 1) * size_t(o_.norb);
    for (int k = 0; k < nk_; ++k)
      s.ket(k)[ij] += sign * apply(m, x, sx, ket_[size_t(k)] + y, sy, count);
    s.pairs += count * (m.positive + m.negative);
  }

  static double apply(const PatternMap& m, const double* x, long long sx, const double* y,
                      long long sy, long long count) {
    double v = 0;
    if (m.identity) {
      if (sx == m.n1 && sy == m.n1) {
        v = dot(x, y, count * m.n1);
      } else {
        for (long long f = 0; f < count; ++f) v += dot(x + f * sx, y + f * sy, m.n1);
      }
      return m.negative > 0 ? -v : v;
    }
    const std::array<int, 2>* e = m.pairs;
    for (long long f = 0; f < count; ++f) {
      const double* xf = x + f * sx;
      const double* yf = y + f * sy;
      double a = 0, b = 0;
      for (int k = 0; k < m.positive; ++k) a += xf[e[k][0]] * yf[e[k][1]];
      for (int k = m.positive; k < m.positive + m.negative; ++k) b += xf[e[k][0]] * yf[e[k][1]];
      v += a - b;
    }
    return v;
  }

  // The hole and particle classes of a side.
  struct SideClass {
    int open, sym;
    long long index;  // from 0
  };
  SideClass side_of(const Side& sd, bool hole) const {
    const OrbitalPair pr = orbital_pair(r2_, sd.n, sd.o, hole);
    return {pr.isol, pr.sym, pr.index - 1};
  }

  void segment(const Block& b, long long p0, long long p1, PieceSums& s, int thread) {
    const Mask single = single_[size_t(b.iconf)], dbl = dbl_[size_t(b.iconf)];
    const double* x = c1_ + b.off;
    // The configurations with one electron more or fewer at each position.
    int gain[kMaxActive] = {}, lose[kMaxActive] = {};
    for (int q = 0; q < o_.noac; ++q) {
      const Mask bit = 1u << q;
      if (!(dbl & bit))
        gain[q] = single & bit ? number(single & ~bit, dbl | bit) : number(single | bit, dbl);
      if ((single | dbl) & bit)
        lose[q] = dbl & bit ? number(single | bit, dbl & ~bit) : number(single & ~bit, dbl);
    }
    const auto& holes = holes_[size_t(side_class(b.nt, b.isolt, b.ist))];
    const auto& parts = parts_[size_t(side_class(b.np, b.isolp, b.isp))];
    // Only the open-shell counts of the other side enter a move of one side.
    Row w{holes.front(), parts[size_t(p0)], single, dbl};
    if (st_ == 1) diagonal(b, w, x, p0, p1, s);
    within_active(b, w, x, p0, p1, s, thread);
    for (long long t = 0; t < b.nT; ++t) {
      w.h = holes[size_t(t)];
      hole_moves(b, w, x + (p0 * b.nT + t) * b.nS, p0, p1, gain, lose, s, thread);
    }
    for (long long p = p0; p < p1; ++p) {
      w.p = parts[size_t(p)];
      particle_moves(b, w, x + p * b.nT * b.nS, gain, lose, s, thread);
      for (long long t = 0; t < b.nT; ++t) {
        w.h = holes[size_t(t)];
        hole_and_particle(b, w, x + (p * b.nT + t) * b.nS, s, thread);
      }
    }
  }

  // a+(i) a(i): the overlap of each row with itself, which the orbitals
  // outside the active space take from its holes and particles and the
  // active ones from the configuration.
  void diagonal(const Block& b, const Row& w, const double* x, long long p0, long long p1,
                PieceSums& s) {
    const auto& holes = holes_[size_t(side_class(b.nt, b.isolt, b.ist))];
    const auto& parts = parts_[size_t(side_class(b.np, b.isolp, b.isp))];
    for (int k = 0; k < nk_; ++k) {
      const double* y = ket_[size_t(k)] + b.off;
      double* a = s.ket(k);
      double rows = 0;
      for (long long p = p0; p < p1; ++p)
        for (long long t = 0; t < b.nT; ++t) {
          const long long r = (p * b.nT + t) * b.nS;
          const double d = dot(x + r, y + r, b.nS);
          rows += d;
          const Side &h = holes[size_t(t)], &q = parts[size_t(p)];
          for (int e = 0; e < h.distinct(); ++e) a[s.holes() + size_t(h.o[e])] += h.count(h.o[e]) * d;
          for (int e = 0; e < q.distinct(); ++e) a[s.parts() + size_t(q.o[e])] += q.count(q.o[e]) * d;
        }
      a[s.all()] += rows;
      for (int q = 0; q < o_.noac; ++q) {
        const int occ = static_cast<int>((w.single >> q & 1u) + 2 * (w.dbl >> q & 1u));
        const size_t ii = size_t(o_.active[size_t(q)] - 1) * size_t(o_.norb + 1);
        if (occ > 0) a[ii] += occ * rows;
      }
    }
    s.pairs += (p1 - p0) * b.nT * b.nS * o_.nelt;
  }

  // An electron moved between two active positions: the holes and particles
  // stay, every row of the block goes to the same row of the block of the
  // other configuration.
  void within_active(const Block& b, const Row& w, const double* x, long long p0, long long p1,
                     PieceSums& s, int thread) {
    for (int qi = 0; qi < o_.noac; ++qi) {
      const Mask bi = 1u << qi;
      if (!((w.single | w.dbl) & bi)) continue;
      const int i = o_.active[size_t(qi)];
      const Mask single = w.dbl & bi ? w.single | bi : w.single & ~bi, dbl = w.dbl & ~bi;
      for (Mask js = o_.by_sym[o_.mult[o_.sym[size_t(i)]][st_]] & ~w.dbl & ~bi; js != 0;
           js &= js - 1) {
        const int qj = std::countr_zero(js);
        const Mask bj = 1u << qj;
        const int c2 = single & bj ? number(single & ~bj, dbl | bj) : number(single | bj, dbl);
        Block b2;
        if (!block_of(r2_, c2, b.nt, b.isolt, b.ist, b.np, b.isolp, b.isp, b2)) continue;
        pair(w, b.isol, i, o_.active[size_t(qj)], x + p0 * b.nT * b.nS, b.nS,
             b2.off + p0 * b.nT * b2.nS, b2.nS, (p1 - p0) * b.nT, s, thread);
      }
    }
  }

  // The row of space 2 whose holes are h in configuration c, the particles
  // of block b: its hole index and block.
  bool hole_target(const Block& b, int c, const Side& h, Block& b2, long long& t2) const {
    const SideClass k = side_of(h, true);
    t2 = k.index;
    return block_of(r2_, c, h.n, k.open, k.sym, b.np, b.isolp, b.isp, b2);
  }
  bool particle_target(const Block& b, int c, const Side& p, Block& b2, long long& p2) const {
    const SideClass k = side_of(p, false);
    p2 = k.index;
    return block_of(r2_, c, b.nt, b.isolt, b.ist, p.n, k.open, k.sym, b2);
  }

  // Excitations that change the holes and keep the particles: a hole
  // moves, an inactive electron enters the active orbitals, an active one
  // fills a hole.  The rows of one hole configuration and the particle
  // configurations p0..p1-1, x at the first.
  void hole_moves(const Block& b, const Row& w, const double* x, long long p0, long long p1,
                  const int* gain, const int* lose, PieceSums& s, int thread) {
    const Side h = w.h;
    auto go = [&](int c, const Side& h2, int i, int j) {
      Block b2;
      long long t2 = 0;
      if (!hole_target(b, c, h2, b2, t2)) return;
      pair(w, b.isol, i, j, x, b.nT * b.nS, b2.off + (p0 * b2.nT + t2) * b2.nS, b2.nT * b2.nS,
           p1 - p0, s, thread);
    };
    for (int e = 0; e < h.distinct(); ++e) {
      const int j = h.o[e];
      // an inactive electron i fills the hole j
      for (const int i : o_.of[kInactive][o_.mult[o_.sym[size_t(j)]][st_]])
        if (i != j && h.count(i) < 2) go(b.iconf, h.without(j).with(i), i, j);
      // an active electron fills it
      for (Mask qs = o_.by_sym[o_.mult[o_.sym[size_t(j)]][st_]] & (w.single | w.dbl); qs != 0;
           qs &= qs - 1) {
        const int q = std::countr_zero(qs);
        go(lose[q], h.without(j), o_.active[size_t(q)], j);
      }
    }
    // an inactive electron enters the active orbitals
    if (h.n == 2) return;
    for (int si = 1; si <= o_.nsym; ++si)
      for (const int i : o_.of[kInactive][si]) {
        if (h.count(i) == 2) continue;
        for (Mask qs = o_.by_sym[o_.mult[si][st_]] & ~w.dbl; qs != 0; qs &= qs - 1) {
          const int q = std::countr_zero(qs);
          go(gain[q], h.with(i), i, o_.active[size_t(q)]);
        }
      }
  }

  // Excitations that change the particles and keep the holes: a particle
  // moves, a particle enters the active orbitals, an active electron leaves
  // them.  The rows of particle configuration p, x at the first.
  void particle_moves(const Block& b, const Row& w, const double* x, const int* gain,
                      const int* lose, PieceSums& s, int thread) {
    const Side q = w.p;
    auto go = [&](int c, const Side& q2, int i, int j) {
      Block b2;
      long long p2 = 0;
      if (!particle_target(b, c, q2, b2, p2) || b2.nT != b.nT) return;
      pair(w, b.isol, i, j, x, b.nS, b2.off + p2 * b2.nT * b2.nS, b2.nS, b.nT, s, thread);
    };
    for (int e = 0; e < q.distinct(); ++e) {
      const int i = q.o[e];
      // the particle i moves to the virtual orbital j
      for (const int j : o_.of[kVirtual][o_.mult[o_.sym[size_t(i)]][st_]])
        if (j != i && q.count(j) < 2) go(b.iconf, q.without(i).with(j), i, j);
      // it enters the active orbitals
      for (Mask qs = o_.by_sym[o_.mult[o_.sym[size_t(i)]][st_]] & ~w.dbl; qs != 0; qs &= qs - 1) {
        const int k = std::countr_zero(qs);
        go(gain[k], q.without(i), i, o_.active[size_t(k)]);
      }
    }
    // an active electron becomes a particle
    if (q.n == 2) return;
    for (Mask qs = w.single | w.dbl; qs != 0; qs &= qs - 1) {
      const int k = std::countr_zero(qs);
      const int i = o_.active[size_t(k)];
      for (const int j : o_.of[kVirtual][o_.mult[o_.sym[size_t(i)]][st_]])
        if (q.count(j) < 2) go(lose[k], q.with(j), i, j);
    }
  }

  // Excitations that change both: an inactive electron goes to a virtual
  // orbital, a particle falls into a hole.  One row, x at it.
  void hole_and_particle(const Block& b, const Row& w, const double* x, PieceSums& s, int thread) {
    const Side h = w.h, q = w.p;
    auto go = [&](const Side& h2, const Side& q2, int i, int j) {
      const SideClass kh = side_of(h2, true), kp = side_of(q2, false);
      Block b2;
      if (!block_of(r2_, b.iconf, h2.n, kh.open, kh.sym, q2.n, kp.open, kp.sym, b2)) return;
      pair(w, b.isol, i, j, x, 0, b2.off + (kp.index * b2.nT + kh.index) * b2.nS, 0, 1, s, thread);
    };
    if (h.n < 2 && q.n < 2 && admits(r2_, b.iconf, h.n + 1, q.n + 1))
      for (int si = 1; si <= o_.nsym; ++si)
        for (const int i : o_.of[kInactive][si]) {
          if (h.count(i) == 2) continue;
          for (const int j : o_.of[kVirtual][o_.mult[si][st_]])
            if (q.count(j) < 2) go(h.with(i), q.with(j), i, j);
        }
    if (h.n > 0 && q.n > 0 && admits(r2_, b.iconf, h.n - 1, q.n - 1))
      for (int e = 0; e < q.distinct(); ++e)
        for (int f = 0; f < h.distinct(); ++f)
          if (o_.mult[o_.sym[size_t(q.o[e])]][o_.sym[size_t(h.o[f])]] == st_)
            go(h.without(h.o[f]), q.without(q.o[e]), q.o[e], h.o[f]);
  }

  Run& run_;
  const MrRecords& r2_;
  std::unique_ptr<MrRecords> own1_;
  const MrRecords* r1_ = nullptr;
  const int s1_, s2_, st_, nk_;
  const double* c1_;  // psi1 in the address order of space 1
  std::vector<const double*> ket_;
  Orbitals o_;
  std::vector<Mask> single_, dbl_;  // by configuration number
  std::vector<int> iscas_;          // by configuration number: symmetry of its open shells
  std::vector<Side> holes_[kSideClasses], parts_[kSideClasses];
  std::vector<Block> items_;
  std::vector<Block> items2_;  // those of space 2, when it is not space 1
  std::vector<std::vector<double>> copies_;  // psi1 and the kets in the kernel's order
  std::vector<std::vector<std::uint32_t>> masks_;
  int tabulated_ = -1;  // maps of at most this many open shells are in the table
  std::vector<PatternMap> slots_;
  std::vector<std::array<int, 2>> table_;
  std::vector<std::vector<std::array<int, 2>>> scratch_;
  std::vector<PatternMap> scratch_map_;
  std::vector<Piece> pieces_;
};

}  // namespace

bool configuration_driven(const AddressTables& tables) {
  return dynamic_cast<const MrAddressTables*>(&tables) != nullptr;
}

bool configuration_copies(const AddressTables& tables) {
  if (!configuration_driven(tables)) return false;
  const std::vector<int> order =
      kernel_order(static_cast<const MrAddressTables&>(tables).mr_records());
  return !order.empty() && !numbered_in_order(order);
}

std::optional<std::vector<TransitionDensity>> configuration_driven_densities(
    const AddressTables& tables, const CiVector& psi1, std::span<const CiVector> kets) {
  if (!configuration_driven(tables)) return std::nullopt;
  const MrRecords& r2 = static_cast<const MrAddressTables&>(tables).mr_records();
  if (!kernel_vectors(tables, r2.is0, psi1, kets)) return std::nullopt;
  ConfigurationDensity k(tables.records(), r2, psi1, kets);
  if (!k.prepare(psi1)) return std::nullopt;
  return k.run();
}

}  // namespace ciprop
