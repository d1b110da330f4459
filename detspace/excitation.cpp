#include "detspace/excitation.hpp"

#include <bit>

#include "detspace/address.hpp"

namespace ciprop {

namespace {

unsigned bit(int cas_position) { return 1u << (cas_position - 1); }

}  // namespace

Excitations::Excitations(Run& run) : Excitations(run, run.dets.blocks) {}

Excitations::Excitations(Run& run, const BlockTable& t)
    : run_(run), blocks_(t), usable_(files_match_cas(run) && symmetry_group(run)) { find_classes(); }

// A class has its holes' category (of any symmetry and spin) and some block
// of nt - np extra active electrons in that category.
void Excitations::find_classes() {
  const DetRecords& dt = run_.dets;
  for (int nt = 0; nt <= 2; ++nt)
    for (int np = 0; np <= 2; ++np)
      for (int ist = 1; ist <= kMaxSym; ++ist)
        for (int ispt1 = -1; ispt1 <= 1; ++ispt1) {
          const int icateg = dt.icatt(nt, ist, ispt1);
          if (icateg < 1) continue;
          for (int isc = 1; isc <= kMaxSym; ++isc)
            for (int ispc1 = -2; ispc1 <= 2; ++ispc1)
              if (blocks_.nblk(nt - np, isc, ispc1, icateg) > 0) has_class_[nt][np] = true;
        }
}

bool files_match_cas(const Run& run) {
  for (int k = 1; k <= run.cs.noac; ++k)
    if (run.prep.yac(k) != run.prep.yref(run.cs.numac(k))) return false;
  return true;
}

// The irreducible representations of the abelian point groups: 1 the
// identity, products commutative and associative, each its own inverse.  The
// symmetry of a string or pair then changes by one factor per electron moved,
// in any order.
bool symmetry_group(const Run& run) {
  const int n = run.sym.nsym;
  const auto& m = run.sym.mult;
  for (int a = 1; a <= n; ++a)
    for (int b = 1; b <= n; ++b) {
      if (m(a, b) < 1 || m(a, b) > n || m(a, b) != m(b, a)) return false;
      if (m(1, a) != a || m(a, a) != 1) return false;
      for (int c = 1; c <= n; ++c)
        if (m(m(a, b), c) != m(a, m(b, c))) return false;
    }
  return true;
}

bool well_formed(const Run& run, int nh, const int* holes, const int* parts) {
  const int nso = 2 * run.orb.norb;
  for (int k = 0; k < nh; ++k) {
    const int h = holes[k];
    if (h < 1 || h > nso || !run.prep.yref(h) || (k > 0 && h <= holes[k - 1])) return false;
  }
  for (int k = 0; k < nh; ++k) {
    const int q = parts[k];
    if (q == nso + 1) continue;
    if (q < 1 || q > nso || run.prep.yref(q) || (k > 0 && q <= parts[k - 1])) return false;
  }
  return true;
}

bool Excitations::set(int nh, const int* holes, const int* parts) {
  if (!usable_ || !well_formed(run_, nh, holes, parts)) return false;
  SplitDet d;
  int ierr = 0;
  trad(run_, nh, holes, parts, d, ierr);
  if (ierr != 0) return false;
  const int* orbs[2] = {d.ia, d.ib};
  n_[0] = d.nca;
  n_[1] = d.ncb;
  for (int s = 0; s < 2; ++s) {
    int pos[kMaxActive];
    mask_[s] = 0;
    sym_[s] = 1;
    for (int k = 0; k < n_[s]; ++k) {
      pos[k] = run_.prep.inumac(orbs[s][k]);
      mask_[s] |= bit(pos[k]);
      sym_[s] = run_.sym.mult(sym_[s], run_.sym.isym(orbs[s][k]));
    }
    rank_[s] = string_rank(run_, n_[s], pos);
  }
  nt_ = d.nt;
  np_ = d.np;
  ist_ = pair_sym(run_, d.nt, d.it);
  isp_ = pair_sym(run_, d.np, d.ip);
  ispt_ = d.ispt;
  ispp_ = d.ispp;
  for (int k = 0; k < 2; ++k) {
    it_[k] = d.it[k];
    ip_[k] = d.ip[k];
  }
  return true;
}

bool Excitations::locate(int si, int sj, int& iadr) {
  const Run& run = run_;
  const int norb = run.orb.norb;
  const int s = si > norb ? 1 : 0;       // the spin of the electron moved
  const int balance = s == 0 ? 1 : -1;   // its share of a spin balance
  const int oi = si - s * norb, oj = sj - s * norb;
  unsigned mask = mask_[s];
  int n = n_[s], sym = sym_[s];
  int t[3] = {it_[0], it_[1], 0}, nt = nt_, ispt = ispt_, ist = ist_;
  int p[3] = {ip_[0], ip_[1], 0}, np = np_, ispp = ispp_, isp = isp_;
  // The electron leaves i (an active orbital, a new hole or a particle of J)
  // and enters j (an active orbital, a hole of J or a new particle); as in
  // trad, the holes and particles stay in increasing order.
  switch (run.cs.itype(oi)) {
    case 1:
      insert_sorted(t, nt, si);
      ispt += balance;
      ist = run.sym.mult(ist, run.sym.isym(oi));
      break;
    case 2:
      mask &= ~bit(run.prep.inumac(oi));
      --n;
      sym = run.sym.mult(sym, run.sym.isym(oi));
      break;
    default:
      remove_value(p, np, si);
      ispp -= balance;
      isp = run.sym.mult(isp, run.sym.isym(oi));
  }
  switch (run.cs.itype(oj)) {
    case 1:
      remove_value(t, nt, sj);
      ispt -= balance;
      ist = run.sym.mult(ist, run.sym.isym(oj));
      break;
    case 2:
      mask |= bit(run.prep.inumac(oj));
      ++n;
      sym = run.sym.mult(sym, run.sym.isym(oj));
      break;
    default:
      insert_sorted(p, np, sj);
      ispp += balance;
      isp = run.sym.mult(isp, run.sym.isym(oj));
  }
  if (nt > 2 || np > 2 || !has_class_[nt][np]) return false;

  const int nca = s == 0 ? n : n_[0], ncb = s == 1 ? n : n_[1];
  const int isa = s == 0 ? sym : sym_[0], isc = run.sym.mult(sym, sym_[1 - s]);
  const int icateg = block_category(run, blocks_, nca, ncb, isc, nt, ist, ispt, np, isp, ispp);
  if (icateg == 0) return false;
  int iadrt = 0, iadrp = 0;
  adrt(run_, nt, t, ispt, iadrt);
  adrp(run_, np, p, ispp, iadrp);
  int rank = rank_[s];
  if (mask != mask_[s]) {
    int pos[kMaxActive], k = 0;
    for (unsigned m = mask; m != 0; m &= m - 1) pos[k++] = std::countr_zero(m) + 1;
    rank = string_rank(run_, n, pos);
  }
  const int ra = s == 0 ? rank : rank_[0], rb = s == 1 ? rank : rank_[1];
  const int iadrc = active_index(run, isc, isa, nca, ncb, ra, rb);
  const int ispc1 = run.util(30 + nca - ncb - run.dets.cas_spin);
  iadr = block_address(run, blocks_, nca + ncb - run.cs.nelac, isc, ispc1, icateg, np, isp, ispp,
                       iadrt, iadrp, iadrc);
  return true;
}

}  // namespace ciprop
