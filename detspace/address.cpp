// Addresses of determinants.  trad, in_space and adrdet work from the holes,
// the particles and the active occupation only: table look-ups and symmetry
// products, nothing in proportion to the number of orbitals, no storage, no
// output.  The density stage reaches most of its excitations through
// Excitations (excitation.hpp), which takes the block and address formulas
// from here; the determinants it leaves come through these routines.
#include "detspace/address.hpp"

#include <cstdlib>

#include "core/print.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

namespace {

int spatial(const Run& run, int so) { return so > run.orb.norb ? so - run.orb.norb : so; }

// Spin balance of one spin-orbital: +1 alpha, -1 beta.
int spin_of(const Run& run, int so) { return so > run.orb.norb ? -1 : 1; }

// A spin-orbital as the diagnostics show it: the orbital, negated for beta.
int shown(const Run& run, int so) { return so > run.orb.norb ? run.orb.norb - so : so; }

// Active occupation while trad works: CAS index 1..noac alpha, noac+1..2 noac
// beta (the numbering of inumac).
struct Active {
  bool occ[2 * kMaxActive + 1];
};

[[noreturn]] void bad_hole(Run& run, int k, int h, int nh, const int* holes, const int* parts,
                           const Active& a) {
  const int noac = run.cs.noac, norb = run.orb.norb;
  run.io.list(kUnitReport, {"mauvais trou numero", k, h});
  run.io.write(kUnitReport, "('yion',l2)", {run.cs.nelac % 2 == 1});
  run.io.list(kUnitReport, fio::Items{"ntv,npv"}.all(holes, nh).all(parts, nh));
  fio::Items vieux{"vieux"};
  for (int c = 1; c <= 2 * noac; ++c) vieux << a.occ[c];
  run.io.list(kUnitReport, vieux);
  if (h >= 1 && h <= 2 * norb) {
    const int o = spatial(run, h), c = run.prep.inumac(h);
    const int pos = c > noac ? c - noac : c;
    run.io.list(kUnitReport, {"yc", run.prep.ycas(o)});
    run.io.list(kUnitReport, {"iit", h});
    run.io.list(kUnitReport, {"yac(iorb(iit))", pos >= 1 && run.prep.yac(pos)});
    run.io.list(kUnitReport, {"icamun", c});
  }
  fio::stop_error(run.io, "a determinant of the list being read has the hole " + std::to_string(h) +
                              " (its hole " + std::to_string(k) +
                              "), which is not occupied in the reference of the run description: "
                              "the list is not of this CI space");
}

[[noreturn]] void bad_particle(Run& run, int k, int q, int nh, const int* holes,
                               const int* parts) {
  run.io.list(kUnitReport, {"mauvaise part numero", k, q});
  refuse(run, fio::Items{"ntv,npv"}.all(holes, nh).all(parts, nh),
         "a determinant of the list being read has the particle " + std::to_string(q) +
             " (its particle " + std::to_string(k) +
             "), which is occupied in the reference of the run description: the list is not of "
             "this CI space");
}

// Checks a pair of holes (or particles) and its spin balance; one must lie in
// the given orbital class.  Returns the symmetry of the pair, 0 if invalid.
int part_symmetry(const Run& run, int n, const int* so, int spin, int cls) {
  int s = 1, balance = 0;
  for (int k = 0; k < n; ++k) {
    if (so[k] < 1 || so[k] > 2 * run.orb.norb) return 0;
    const int o = spatial(run, so[k]);
    if (run.cs.itype(o) != cls) return 0;
    s = run.sym.mult(s, run.sym.isym(o));
    balance += spin_of(run, so[k]);
  }
  if (balance != spin || (n == 2 && so[0] == so[1])) return 0;
  return s;
}

// Symmetry of an active string, 0 when it is not a list of active orbitals
// in increasing CAS position.
int string_symmetry(const Run& run, int n, const int* orb) {
  if (n < 0 || n > run.cs.noac) return 0;
  int s = 1, last = 0;
  for (int k = 0; k < n; ++k) {
    if (orb[k] < 1 || orb[k] > run.orb.norb || !run.prep.ycas(orb[k])) return 0;
    const int pos = run.prep.inumac(orb[k]);
    if (pos <= last) return 0;
    last = pos;
    s = run.sym.mult(s, run.sym.isym(orb[k]));
  }
  return s;
}

// A determinant with more than two holes or particles outside the active
// space: the split is left empty, so that nothing shows or indexes a part of
// it (or of the determinant before it).
void too_many(SplitDet& d, int& ierr) {
  ierr = 1;
  d.nt = d.np = d.nca = d.ncb = d.ispt = d.ispp = 0;
}

void debug_stop(Run& run, const BlockTable& t, const SplitDet& d, int iadr, int nelc, int isc,
                int ispc1, int ist, int ispt1, int isp, int icateg, int iadrt, int iadrp,
                int iadrc) {
  const DetRecords& dt = run.dets;
  const int max_p = particle_count(run, d.np, isp, d.ispp);
  const int maxc = dt.mxdetc.maxc(nelc, isc, ispc1);
  const int nta = (d.ispt + d.nt) / 2, npa = (d.ispp + d.np) / 2;
  run.io.list(kUnitReport, {"nt,np,ispt,ispp,nta,npa", d.nt, d.np, d.ispt, d.ispp, nta, npa});
  fio::Items desc{"adrdet"};
  describe(run, d, desc);
  desc << " iadr" << iadr;
  run.io.list(kUnitReport, desc);
  run.io.list(kUnitReport, {"nelc,iscas,ispc1,nt,ist,ispt1", nelc, isc, ispc1, d.nt, ist, ispt1});
  run.io.list(kUnitReport, {"maxc(nelc,iscas,ispc1)", maxc});
  run.io.list(kUnitReport, {"icateg", icateg});
  run.io.list(kUnitReport, {"iadrt,iadrc,iadrp,iadrcat,iadr", iadrt, iadrc, iadrp,
                  t.ioff(nelc, isc, ispc1, icateg), iadr});
  run.io.list(kUnitReport, {"max_p", max_p});
  run.io.list(kUnitReport, {"np,isp,ispp,iadrp", d.np, isp, d.ispp, iadrp});
  run.io.list(kUnitReport, {"nt,ispt,iadrt", d.nt, d.ispt, iadrt});
  refuse(run, {"iadrc,maxc", iadrc, maxc},
         "stopped at the address " + std::to_string(iadr) +
             ", as the debugging switch of the addressing asks");
}

}  // namespace

void describe(const Run& run, const SplitDet& d, fio::Items& items) {
  items << " trou";
  for (int k = 0; k < d.nt; ++k) items << shown(run, d.it[k]);
  items << " CAS";
  items.all(d.ia, d.nca);
  for (int k = 0; k < d.ncb; ++k) items << -d.ib[k];
  items << " part";
  for (int k = 0; k < d.np; ++k) items << shown(run, d.ip[k]);
}

void trad(Run& run, int nh, const int* holes, const int* parts, SplitDet& d, int& ierr) {
  const Prep& p = run.prep;
  const int norb = run.orb.norb, noac = run.cs.noac;
  ierr = 0;
  d.nt = d.np = d.ispt = d.ispp = 0;
  // The reference fills the first (nelac+1)/2 active orbitals of both spins.
  Active a;
  for (int k = 1; k <= noac; ++k) a.occ[k] = a.occ[noac + k] = p.yac(k);
  for (int k = 0; k < nh; ++k) {
    const int h = holes[k];
    if (h < 1 || h > 2 * norb) bad_hole(run, k + 1, h, nh, holes, parts, a);
    if (p.ycas(spatial(run, h))) {
      bool& o = a.occ[p.inumac(h)];
      if (!o) bad_hole(run, k + 1, h, nh, holes, parts, a);
      o = false;
      continue;
    }
    if (d.nt == 2) {
      too_many(d, ierr);
      return;
    }
    ++d.nt;
    d.ispt += spin_of(run, h);
    d.it[d.nt - 1] = h;
  }
  const int marker = 2 * norb + 1;  // the missing electron of an odd count
  for (int k = 0; k < nh; ++k) {
    const int q = parts[k];
    if (q == marker) continue;
    if (q < 1 || q > 2 * norb) bad_particle(run, k + 1, q, nh, holes, parts);
    if (p.ycas(spatial(run, q))) {
      bool& o = a.occ[p.inumac(q)];
      if (o) bad_particle(run, k + 1, q, nh, holes, parts);
      o = true;
      continue;
    }
    if (d.np == 2) {
      too_many(d, ierr);
      return;
    }
    ++d.np;
    d.ispp += spin_of(run, q);
    d.ip[d.np - 1] = q;
  }
  d.nca = d.ncb = 0;
  for (int k = 1; k <= noac; ++k) {
    if (a.occ[k]) d.ia[d.nca++] = run.cs.numac(k);
    if (a.occ[noac + k]) d.ib[d.ncb++] = run.cs.numac(k);
  }
}

// The class of the determinant must be a block that categ laid out for the
// mode, with its holes in inactive and its particles in virtual orbitals and
// spin and symmetry conserved; every look-up is guarded, so a determinant
// from any other space answers false.
bool in_space(Run& run, const SplitDet& d) { return in_space(run, run.dets.blocks, d); }

bool in_space(Run& run, const BlockTable& t, const SplitDet& d) {
  if (d.nt < 0 || d.nt > 2 || d.np < 0 || d.np > 2) return false;
  const int isa = string_symmetry(run, d.nca, d.ia);
  const int isb = string_symmetry(run, d.ncb, d.ib);
  const int ist = part_symmetry(run, d.nt, d.it, d.ispt, 1);
  const int isp = part_symmetry(run, d.np, d.ip, d.ispp, 3);
  if (isa == 0 || isb == 0 || ist == 0 || isp == 0) return false;
  return block_category(run, t, d.nca, d.ncb, run.sym.mult(isa, isb), d.nt, ist, d.ispt, d.np,
                        isp, d.ispp) > 0;
}

int pair_sym(const Run& run, int n, const int* so) {
  int s = 1;
  for (int k = 0; k < n; ++k) s = run.sym.mult(s, run.sym.isym(spatial(run, so[k])));
  return s;
}

void adrdet(Run& run, const SplitDet& d, int& iadr) { adrdet(run, run.dets.blocks, d, iadr); }

void adrdet(Run& run, const BlockTable& t, const SplitDet& d, int& iadr) {
  const DetRecords& dt = run.dets;
  const int nelc = d.nca + d.ncb - run.cs.nelac;
  int isc = 1;
  for (int k = 0; k < d.nca; ++k) isc = run.sym.mult(isc, run.sym.isym(d.ia[k]));
  for (int k = 0; k < d.ncb; ++k) isc = run.sym.mult(isc, run.sym.isym(d.ib[k]));
  const int ispc1 = run.util(30 + d.nca - d.ncb - dt.cas_spin);
  int iadrt = 0, iadrp = 0, iadrc = 0;
  adrt(run, d.nt, d.it, d.ispt, iadrt);
  adrp(run, d.np, d.ip, d.ispp, iadrp);
  adrc(run, 0, d.nca, d.ia, d.ncb, d.ib, iadrc);
  const int ist = pair_sym(run, d.nt, d.it);
  const int ispt1 = d.nt == 2 ? d.ispt / 2 : d.ispt;
  const int isp = pair_sym(run, d.np, d.ip);
  const int icateg = dt.icatt(d.nt, ist, ispt1);
  iadr = block_address(run, t, nelc, isc, ispc1, icateg, d.np, isp, d.ispp, iadrt, iadrp, iadrc);
  if (iadr == run.switches.stop_at_address)
    debug_stop(run, t, d, iadr, nelc, isc, ispc1, ist, ispt1, isp, icateg, iadrt, iadrp, iadrc);
}

namespace {

// Index of one or two holes (or particles) within their class, from the
// sub-block offsets of the class and the orbital counts per symmetry: a pair
// of the same spin in triangular order (second orbital major) when both have
// one symmetry, else first orbital major; a pair of opposite spins, alpha
// orbital major.
template <class Offsets>
int pair_index(Run& run, int n, const int* list, int spin, const Offsets& offsets,
               const Arr1<int, 1, kMaxSym>& per_symmetry) {
  const auto& itorb = run.dets.prep2.itorb;
  if (n == 0) return 1;
  const int o1 = spatial(run, list[0]), s1 = run.sym.isym(o1), p1 = itorb(o1);
  if (n == 1) return offsets(1, s1, s1, spin) + p1;
  const int o2 = spatial(run, list[1]), s2 = run.sym.isym(o2), p2 = itorb(o2);
  const int st = run.sym.mult(s1, s2);
  if (spin != 0 && s1 == s2) return (p2 - 1) * (p2 - 2) / 2 + p1 + offsets(2, st, s2, spin / 2);
  return offsets(2, st, s1, spin / 2) + (p1 - 1) * per_symmetry(s2) + p2;
}

// A same-spin pair must come lower orbital first.
bool out_of_order(Run& run, int n, const int* list, int spin) {
  return n == 2 && spin != 0 && spatial(run, list[1]) < spatial(run, list[0]);
}

}  // namespace

void adrt(Run& run, int nt, const int* it, int ispt, int& iadrt) {
  if (out_of_order(run, nt, it, ispt))
    refuse(run, {"dans adrt it1,it2", spatial(run, it[0]), spatial(run, it[1])},
           "a determinant's two holes of one spin come in decreasing order (orbitals " +
               std::to_string(spatial(run, it[0])) + ", " + std::to_string(spatial(run, it[1])) +
               "): the list is damaged or not of this program's order");
  iadrt = pair_index(run, nt, it, ispt, run.dets.prep2.iat, run.sy2.nts);
}

void adrp(Run& run, int np, const int* ip, int ispp, int& iadrp) {
  if (out_of_order(run, np, ip, ispp)) {
    int code = 24;
    erreur(run, code);
  }
  iadrp = pair_index(run, np, ip, ispp, run.dets.prep2.iap, run.sy2.nps);
  if (iadrp == 0)
    refuse(run, {"dans adrp iadrp nul", spatial(run, ip[0]), spatial(run, ip[1])},
           "a determinant's particles (orbitals " + std::to_string(spatial(run, ip[0])) + ", " +
               std::to_string(spatial(run, ip[1])) + ") have no place in the virtual orbitals");
}

// Index of the active part in its class: groups by the symmetry of the alpha
// string, and within a group the alpha rank runs fastest.
void adrc(Run& run, int, int nca, const int* ia, int ncb, const int* ib, int& iadrc) {
  int a[kMaxActive], b[kMaxActive];
  int isa = 1;
  for (int j = 0; j < nca; ++j) {
    isa = run.sym.mult(isa, run.sym.isym(ia[j]));
    a[j] = run.prep.inumac(ia[j]);
  }
  int isc = isa;
  for (int j = 0; j < ncb; ++j) {
    isc = run.sym.mult(isc, run.sym.isym(ib[j]));
    b[j] = run.prep.inumac(ib[j]);
  }
  iadrc = active_index(run, isc, isa, nca, ncb, string_rank(run, nca, a), string_rank(run, ncb, b));
}

int string_rank(Run& run, int n, const int* pos) {
  int r = 0;
  subset_rank(run, n, pos, r);
  return run.dets.adrsym.irangs(r, n);
}

void subset_rank(Run& run, int k, const int* list, int& irang) {
  irang = 1;
  for (int j = 1; j <= k; ++j) irang += run.dets.z(j, list[j - 1], k);
}

void erreur(Run& run, int& code) {
  run.io.list(kUnitReport, {"erreur", code});
  const int shown = code;
  code = 3;
  fio::stop_error(run.io, "error " + std::to_string(shown) +
                              " of the addressing: a determinant's two particles of one spin come "
                              "in decreasing order; the list is damaged or not of this program's "
                              "order");
}

}  // namespace ciprop
