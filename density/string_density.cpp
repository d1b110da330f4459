#include "density/string_density.hpp"

#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "density/density_threads.hpp"
#include "density/dot_product.hpp"
#include "detspace/address_tables.hpp"

namespace ciprop {

namespace {

// The active strings of one electron count: every subset of the active
// orbitals, by symmetry, ranked within its symmetry in lexicographic order of
// the active positions (the order of the address tables), and for each
// string its one-electron replacements.
struct StringSet {
  int n = 0;                        // electrons
  std::vector<int> sym_of, rank_of; // by mask of active positions (bit p-1)
  std::vector<unsigned> mask[kMaxSym];  // strings of each symmetry, by rank
  // Replacement x -> a+(q) a(p) x of a string of symmetry s: the rank of
  // the result in its symmetry s x isymt, the pair (p, q) as the index
  // p * noac + q of active positions, and the sign of the move.
  struct Move {
    int to;
    int pq;
    double sign;
  };
  std::vector<int> first[kMaxSym];  // moves of string r: first[r] .. first[r+1]
  std::vector<Move> moves[kMaxSym];
  int count(int s) const { return static_cast<int>(mask[s - 1].size()); }
};

class StringDensity {
 public:
  // The kets share one space and symmetry.
  StringDensity(Run& run, const CiVector& psi1, std::span<const CiVector> kets)
      : run_(run), noac_(run.cs.noac), nsym_(run.sym.nsym), s1_(psi1.symmetry),
        s2_(kets.front().symmetry), st_(run.sym.mult(psi1.symmetry, kets.front().symmetry)),
        nkets_(static_cast<int>(kets.size())) {}

  // False when the tables' strings or layout are not the ones assumed here.
  bool prepare(const AddressTables& tables, const CiVector& psi1, const CiVector& psi2) {
    const int nca = run_.prep.nca0, ncb = run_.prep.ncb0;
    if (noac_ < 1 || nca < 0 || ncb < 0 || nca > noac_ || ncb > noac_) return false;
    between();
    build(alpha_, nca);
    build(beta_, ncb);
    for (int s = 1; s <= nsym_; ++s)
      if (alpha_.count(s) != run_.dets.adrsym.nbs(s, nca) ||
          beta_.count(s) != run_.dets.adrsym.nbs(s, ncb))
        return false;
    n1_ = layout(s1_, off1_);
    n2_ = layout(s2_, off2_);
    return n1_ == psi1.n && n2_ == psi2.n && n2_ == tables.size() && same_addresses(tables);
  }

  std::vector<TransitionDensity> run(const CiVector& psi1, std::span<const CiVector> kets) {
    c1_ = psi1.in_address_order;
    transpose(c1_, off1_, s1_, t1_);
    c2_.clear();
    t2_.resize(kets.size());
    for (size_t k = 0; k < kets.size(); ++k) {
      c2_.push_back(kets[k].c);
      transpose(kets[k].c, off2_, s2_, t2_[k]);
    }
    plan();
    // Each piece's sums on cache lines of their own, a row of them per ket.
    const int per = (noac_ * noac_ + 1 + 7) / 8 * 8;
    stride_ = static_cast<size_t>(per) * nkets_;
    partial_.assign(tasks_.size() * stride_, 0.0);
    const int nt = piece_threads(tasks_.size());
    // Where each ket's group of the current piece starts, a row per thread.
    std::vector<const double*> g2(static_cast<size_t>(nt) * nkets_);
    run_pieces(run_.io, tasks_.size(), nt, [&](size_t t, int thread) {
      work(tasks_[t], &partial_[t * stride_], per, &g2[size_t(thread) * nkets_]);
    });
    return reduce(per);
  }

 private:
  // A piece of work: the replacements of strings [r0, r1) of one symmetry,
  // alpha or beta, or a range of the overlap of the two vectors.
  struct Task {
    enum Kind { Alpha, Beta, Overlap } kind;
    int sym, r0, r1;
    long long pairs;
  };

  void between() {
    for (int p = 0; p < noac_; ++p)
      for (int q = 0; q < noac_; ++q) {
        const int lo = std::min(orbital(p), orbital(q)), hi = std::max(orbital(p), orbital(q));
        unsigned m = 0;
        for (int r = 0; r < noac_; ++r)
          if (orbital(r) > lo && orbital(r) < hi) m |= 1u << r;
        int inactive = 0;
        for (int k = lo + 1; k < hi; ++k) inactive += run_.cs.itype(k) == 1;
        between_[p][q] = m;
        inactive_odd_[p][q] = inactive & 1;
      }
  }

  int orbital(int p) const { return run_.cs.numac(p + 1); }
  int sym_pos(int p) const { return run_.sym.isym(orbital(p)); }

  void build(StringSet& set, int n) {
    set.n = n;
    const size_t all = size_t(1) << noac_;
    set.sym_of.assign(all, 0);
    set.rank_of.assign(all, -1);
    // Subsets of n positions in lexicographic order of their position lists
    // are the masks in increasing order of their bit-reversed value; walking
    // the lists directly keeps it plain.
    std::vector<int> pos(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) pos[size_t(k)] = k;
    for (;;) {
      unsigned m = 0;
      int s = 1;
      for (int k = 0; k < n; ++k) {
        m |= 1u << pos[size_t(k)];
        s = run_.sym.mult(s, sym_pos(pos[size_t(k)]));
      }
      set.sym_of[m] = s;
      set.rank_of[m] = set.count(s);
      set.mask[s - 1].push_back(m);
      int k = n - 1;
      while (k >= 0 && pos[size_t(k)] == noac_ - n + k) --k;
      if (k < 0) break;
      ++pos[size_t(k)];
      for (int l = k + 1; l < n; ++l) pos[size_t(l)] = pos[size_t(l - 1)] + 1;
    }
    for (int s = 1; s <= nsym_; ++s) {
      auto& first = set.first[s - 1];
      auto& moves = set.moves[s - 1];
      for (const unsigned x : set.mask[s - 1]) {
        first.push_back(static_cast<int>(moves.size()));
        for (int p = 0; p < noac_; ++p) {
          if (!(x >> p & 1)) continue;
          const unsigned rest = x & ~(1u << p);
          for (int q = 0; q < noac_; ++q) {
            if (rest >> q & 1) continue;
            if (run_.sym.mult(sym_pos(p), sym_pos(q)) != st_) continue;
            const unsigned y = rest | 1u << q;
            const int odd = (std::popcount(rest & between_[p][q]) + inactive_odd_[p][q]) & 1;
            moves.push_back({set.rank_of[y], p * noac_ + q, odd ? -1.0 : 1.0});
          }
        }
      }
      first.push_back(static_cast<int>(moves.size()));
    }
  }

  // Offsets of the alpha-symmetry groups of the space of symmetry s; returns
  // its size.
  long long layout(int s, long long* off) const {
    long long n = 0;
    for (int a = 1; a <= nsym_; ++a) {
      off[a - 1] = n;
      n += static_cast<long long>(alpha_.count(a)) * beta_.count(run_.sym.mult(a, s));
    }
    return n;
  }

  // The tables place the first and the last determinant of every group of
  // the second space where this layout does.
  bool same_addresses(const AddressTables& tables) const {
    for (int a = 1; a <= nsym_; ++a) {
      const int b = run_.sym.mult(a, s2_);
      if (alpha_.count(a) == 0 || beta_.count(b) == 0) continue;
      const int ra[2] = {0, alpha_.count(a) - 1}, rb[2] = {0, beta_.count(b) - 1};
      for (int e = 0; e < 2; ++e) {
        SplitDet d;
        fill(alpha_.mask[a - 1][size_t(ra[e])], d.nca, d.ia);
        fill(beta_.mask[b - 1][size_t(rb[e])], d.ncb, d.ib);
        const long long want = off2_[a - 1] + static_cast<long long>(rb[e]) * alpha_.count(a) + ra[e];
        if (tables.address(d) != want + 1) return false;
      }
    }
    return true;
  }

  void fill(unsigned m, int& n, int* orbs) const {
    n = 0;
    for (int p = 0; p < noac_; ++p)
      if (m >> p & 1) orbs[n++] = orbital(p);
  }

  // Each group [rb][ra] of a vector as [ra][rb], so that the alpha
  // replacements too pair contiguous runs.
  void transpose(const double* c, const long long* off, int s, std::vector<double>& t) const {
    long long n = 0;
    for (int a = 1; a <= nsym_; ++a)
      n = std::max(n, off[a - 1] + static_cast<long long>(alpha_.count(a)) *
                                       beta_.count(run_.sym.mult(a, s)));
    t.assign(static_cast<size_t>(n), 0.0);
    for (int a = 1; a <= nsym_; ++a) {
      const long long na = alpha_.count(a), nb = beta_.count(run_.sym.mult(a, s));
      const double* g = c + off[a - 1];
      double* h = t.data() + off[a - 1];
      for (long long rb = 0; rb < nb; ++rb)
        for (long long ra = 0; ra < na; ++ra) h[ra * nb + rb] = g[rb * na + ra];
    }
  }

  // The pieces of work, in the order their sums are added: fixed by the
  // space alone.
  void plan() {
    constexpr long long kPairsPerTask = 1 << 18;
    auto split = [&](Task::Kind kind, int s, int strings, long long pairs_per_string) {
      if (strings == 0 || pairs_per_string == 0) return;
      const int step = static_cast<int>(
          std::clamp<long long>(kPairsPerTask / pairs_per_string, 1, strings));
      for (int r = 0; r < strings; r += step)
        tasks_.push_back({kind, s, r, std::min(strings, r + step), 0});
    };
    for (int a = 1; a <= nsym_; ++a) {
      // Beta replacements within the group of alpha symmetry a: rows of
      // length (alpha strings of a); alpha replacements from it: columns of
      // length (beta strings of a x s1).
      const int b1 = run_.sym.mult(a, s1_);
      const long long moves_b = beta_.moves[b1 - 1].size(), moves_a = alpha_.moves[a - 1].size();
      split(Task::Beta, a, beta_.count(b1),
            beta_.count(b1) ? moves_b / beta_.count(b1) * alpha_.count(a) + 1 : 0);
      split(Task::Alpha, a, alpha_.count(a),
            alpha_.count(a) ? moves_a / alpha_.count(a) * beta_.count(b1) + 1 : 0);
    }
    if (st_ == 1 && inactive_count() > 0) {
      constexpr int kChunk = 1 << 20;
      for (long long r = 0; r < n1_; r += kChunk)
        tasks_.push_back({Task::Overlap, 0, static_cast<int>(r),
                          static_cast<int>(std::min<long long>(n1_, r + kChunk)), 0});
    }
  }

  int inactive_count() const {
    int n = 0;
    for (int k = 1; k <= run_.orb.norb; ++k) n += run_.cs.itype(k) == 1;
    return n;
  }

  void work(Task& task, double* acc, int per, const double** g2) {
    if (task.kind == Task::Overlap) {
      for (int k = 0; k < nkets_; ++k)
        acc[k * per + noac_ * noac_] =
            dot(c1_ + task.r0, c2_[size_t(k)] + task.r0, task.r1 - task.r0);
      return;
    }
    const int a = task.sym;
    const int b1 = run_.sym.mult(a, s1_);
    if (task.kind == Task::Beta) {
      // a x s2 = b1 x st: the beta string moves from symmetry b1 to b1 x st,
      // the alpha string stays; rows of length (alpha strings of a).
      for (int k = 0; k < nkets_; ++k) g2[k] = c2_[size_t(k)] + off2_[a - 1];
      replace(c1_ + off1_[a - 1], g2, beta_, b1, alpha_.count(a), task, acc, per);
      return;
    }
    // The alpha string moves from symmetry a to a x st; the beta strings
    // (symmetry b1 in both spaces) are the columns of the transposed groups.
    const int a2 = run_.sym.mult(a, st_);
    for (int k = 0; k < nkets_; ++k) g2[k] = t2_[size_t(k)].data() + off2_[a2 - 1];
    replace(t1_.data() + off1_[a - 1], g2, alpha_, a, beta_.count(b1), task, acc, per);
  }

  // The replacements of strings [r0, r1) of symmetry s of one spin: row r of
  // g1 (length len) against row `to` of each ket's group g2[k], the row of
  // g1 read once for all kets.
  void replace(const double* g1, const double* const* g2, const StringSet& set, int s,
               long long len, Task& task, double* acc, int per) const {
    const auto& first = set.first[s - 1];
    const auto& moves = set.moves[s - 1];
    long long pairs = 0;
    for (int r = task.r0; r < task.r1; ++r)
      for (int m = first[size_t(r)]; m < first[size_t(r) + 1]; ++m) {
        const StringSet::Move& mv = moves[size_t(m)];
        for (int k = 0; k < nkets_; ++k)
          acc[k * per + mv.pq] += mv.sign * dot(g1 + r * len, g2[k] + mv.to * len, len);
        pairs += len;
      }
    task.pairs += pairs;
  }

  std::vector<TransitionDensity> reduce(int per) {
    long long connected = 0;
    for (const Task& t : tasks_) connected += t.pairs;
    std::vector<TransitionDensity> all;
    std::vector<double> sum(static_cast<size_t>(per));
    for (int ket = 0; ket < nkets_; ++ket) {
      TransitionDensity out{OrbitalMatrix(run_.orb.norb), connected};
      std::fill(sum.begin(), sum.end(), 0.0);
      for (size_t t = 0; t < tasks_.size(); ++t)
        for (int k = 0; k < per; ++k)
          sum[size_t(k)] += partial_[t * stride_ + size_t(ket) * per + size_t(k)];
      for (int p = 0; p < noac_; ++p)
        for (int q = 0; q < noac_; ++q) out.ro(orbital(p), orbital(q)) = sum[size_t(p * noac_ + q)];
      // The inactive orbitals are doubly occupied in every determinant: each
      // keeps its diagonal term, once per spin.
      if (st_ == 1)
        for (int k = 1; k <= run_.orb.norb; ++k)
          if (run_.cs.itype(k) == 1) out.ro(k, k) = sum[size_t(noac_ * noac_)] * 2.0;
      all.push_back(std::move(out));
    }
    return all;
  }

  Run& run_;
  const int noac_, nsym_, s1_, s2_, st_;
  const int nkets_;
  unsigned between_[kMaxActive][kMaxActive] = {};
  int inactive_odd_[kMaxActive][kMaxActive] = {};
  StringSet alpha_, beta_;
  long long off1_[kMaxSym] = {}, off2_[kMaxSym] = {};
  long long n1_ = 0, n2_ = 0;
  const double* c1_ = nullptr;          // the bra in address order
  std::vector<double> t1_;              // and transposed
  std::vector<const double*> c2_;       // the kets in address order
  std::vector<std::vector<double>> t2_;  // and transposed
  std::vector<Task> tasks_;
  std::vector<double> partial_;
  size_t stride_ = 0;  // a piece's sums for every ket

};

}  // namespace

std::optional<std::vector<TransitionDensity>> string_driven_densities(
    const AddressTables& tables, const CiVector& psi1, std::span<const CiVector> kets) {
  Run& run = tables.records();
  // adrdet's stop on one address is a look at the per-excitation
  // path; the string path has no per-determinant addresses to stop on.
  if (kets.empty() || !dynamic_cast<const SrAddressTables*>(&tables) || !tables.active_only() ||
      kets.front().symmetry != run.cs.is0 || run.switches.stop_at_address != 0 ||
      psi1.in_address_order == nullptr)
    return std::nullopt;
  StringDensity k(run, psi1, kets);
  if (!k.prepare(tables, psi1, kets.front())) return std::nullopt;
  return k.run(psi1, kets);
}

}  // namespace ciprop
