#include "density/computed_density.hpp"

#include <cmath>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "density/block_density.hpp"
#include "density/configuration_density.hpp"
#include "density/first_vector.hpp"
#include "density/string_density.hpp"
#include "density/transition_density.hpp"
#include "density/vectors.hpp"
#include "detspace/detlist.hpp"
#include "detspace/substitution_parity.hpp"
#include "core/print.hpp"
#include "core/threads.hpp"
#include "fortio/progress.hpp"
#include "input/input_checks.hpp"

namespace ciprop {

namespace {

const std::string kStars(77, '*');

// Symmetry of a determinant: the product of the symmetries of its holes and
// particles (the closed-shell reference is totally symmetric); a missing
// electron carries no symmetry.
int det_symmetry(Run& run, int ne, const int* p, const int* q) {
  const int marker = 2 * run.orb.norb + 1;
  int s = 1;
  for (int k = 0; k < ne; ++k) s = run.sym.mult(s, run.sym.isym(p[k]));
  for (int k = 0; k < ne; ++k)
    if (q[k] != marker) s = run.sym.mult(s, run.sym.isym(q[k]));
  return s;
}

struct Opened {
  int ndim = 0, isym = 0;
  double energy = 0.0;
};

// Reads the head of one vector file and the first determinant of its list;
// leaves the vector file before the chosen root's record.
Opened open_vector(Run& run, int vec_unit, int list_unit, int root, const char* ename,
                   const char* title) {
  int p[kMaxSubst], q[kMaxSubst], ne = 0, eof = 0;
  restart_list(run, list_unit);
  venond1(run, list_unit, ne, p, q, eof);
  if (eof) refuse_input(run, "determinant list " + run.io.name(list_unit) + " is empty");
  const int isym = det_symmetry(run, ne, p, q);
  VectorHead h = read_head(run, vec_unit, root);
  run.io.list(kUnitReport, {ename, h.energy});
  for (int k = 1; k < root; ++k) run.io.skip_record(vec_unit);
  if (h.ndim < 1 || h.ndim > run.dim)
    refuse_input(run, "vector file " + run.io.name(vec_unit) + ": dimension " +
                          std::to_string(h.ndim) + " outside 1.." + std::to_string(run.dim));
  run.io.list(kUnitReport, {title, h.ndim, ";     symetrie", isym});
  return Opened{h.ndim, isym, h.energy};
}

// The list on unit holds `count` determinants where its vector has n.
[[noreturn]] void refuse_short_list(Run& run, int unit, int count, int n) {
  refuse_input(run, "determinant list " + run.io.name(unit) + " holds " + std::to_string(count) +
                        " determinants, its vector " + std::to_string(n));
}

// Stops the run unless the list on unit ends here, after the n
// determinants of its vector.
void expect_list_end(Run& run, int unit, int n) {
  int eof = 0, p[kMaxSubst], q[kMaxSubst], ne = 0;
  venond1(run, unit, ne, p, q, eof);
  if (!eof)
    refuse_input(run, "determinant list " + run.io.name(unit) +
                          " holds more determinants than its vector (" + std::to_string(n) + ")");
}

// Prints, in list order, every determinant whose coefficient passes the
// threshold, and brings every coefficient to one phase convention once it is
// printed, in the same pass over the list; the list must hold exactly n
// determinants, each of which the phase can be taken of.  With first, each
// determinant is also checked and its phased coefficient gathered: a
// determinant that its space's tables place straight from its lists is
// readable without a closer look.  The list is read in batches, one ahead
// (ListAhead): the places, readability and phases of a batch's
// determinants are taken by the run's workers as it is decoded, while the
// batch before it is checked, printed and gathered in list order, so that
// every line and every refusal comes where a one-by-one reading would bring
// it.
void print_vector(Run& run, double* v, int n, int unit, FirstListGather* first = nullptr) {
  TwoSlots<int> at_in(ListBatch::kCapacity);
  TwoSlots<signed char> phase_in(ListBatch::kCapacity);  // 0 for a determinant that cannot be read
  restart_list(run, unit);
  ListAhead reading(run, unit, n, [&](int s, const ListBatch& batch, long long, int lo, int hi) {
    for (int j = lo; j < hi; ++j) {
      const int ne = batch.count(j);
      const int *p = batch.holes(j), *q = batch.parts(j);
      const int at = first ? first->place(ne, p, q) : 0;
      at_in[s][j] = at;
      const bool readable = at != 0 || list_readable(run, ne, p, q);
      phase_in[s][j] = static_cast<signed char>(readable ? list_phase(run, ne, p, q) : 0);
    }
  });
  for (int i0 = 0; i0 < n;) {
    const ListBatch& batch = reading.next();
    const int m = batch.size();
    int* at = at_in[reading.slot()];
    const signed char* phase = phase_in[reading.slot()];
    for (int j = 0; j < m; ++j) {
      const int i = i0 + j, ne = batch.count(j);
      const int *p = batch.holes(j), *q = batch.parts(j);
      if (phase[j] == 0) refuse_listed(run, run.io.name(unit), i + 1, list_defect(run, ne, p, q));
      if (std::abs(v[i]) > run.infdav.twvec) wv(run, ne, p, q, v[i]);
      v[i] *= phase[j];
    }
    if (first) first->add_batch(i0 + 1, m, at, batch, v + i0);
    batch.raise_fault(run, unit);
    i0 += m;
    if (batch.ended() && i0 < n) refuse_short_list(run, unit, i0, n);
  }
  expect_list_end(run, unit, n);
}

// Prints and phases, as print_vector does, a vector whose list the run
// checked earlier, which left the phase of each of its determinants (0 for
// one that cannot be read): only the determinants to print or to refuse are
// read from the list, the others are stepped over.
void print_checked_vector(Run& run, double* v, int n, int unit,
                          const std::vector<signed char>& phases) {
  const std::string name = run.io.name(unit);
  if (phases.size() != static_cast<size_t>(n))
    refuse_input(run, "determinant list " + name + " was not checked before the density");
  restart_list(run, unit);
  int passed = 0, ne = 0, eof = 0, p[kMaxSubst], q[kMaxSubst];
  for (int i = 0; i < n; ++i) {
    const bool printed = std::abs(v[i]) > run.infdav.twvec;
    if (!printed && phases[size_t(i)] != 0) continue;
    const int stepped = skip_determinants(run, unit, i - passed);
    if (stepped < i - passed) refuse_short_list(run, unit, passed + stepped, n);
    venond1(run, unit, ne, p, q, eof);
    if (eof) refuse_short_list(run, unit, i, n);
    passed = i + 1;
    if (phases[size_t(i)] == 0) refuse_listed(run, name, i + 1, list_defect(run, ne, p, q));
    wv(run, ne, p, q, v[i]);
  }
  const int rest = skip_determinants(run, unit, n - passed);
  if (rest < n - passed) refuse_short_list(run, unit, passed + rest, n);
  expect_list_end(run, unit, n);
  in_shares(n, 1 << 16, [&](int lo, int hi) {
    for (int i = lo; i < hi; ++i) v[i] *= phases[size_t(i)];
  });
}

// Whether vector 1 may take the second list's check: its list holds the
// second one byte for byte, and its space is the one the check used.
bool first_list_checked(Run& run, const Vectors& v) {
  return run.dets.first_list_same && v.isym1 == run.cs.is0 && v.ndim1 == run.det.ndet &&
         make_address_tables(run, v.isym1)->size() == run.det.ndet;
}

}  // namespace

Vectors read_vectors(Run& run, double* a, double* b, const char* after_sgn,
                     VectorReading how) {
  const int norb = run.orb.norb;
  for (int k = 1; k <= norb; ++k) {
    run.dens.wvc(k).assign("+ ");
    run.dens.wvc(norb + k).assign("- ");
  }
  run.io.list(kUnitReport, {" "});
  run.io.list(kUnitReport, {kStars});
  run.io.list(kUnitReport, {"         lecture des vecteurs"});
  const Opened o1 = open_vector(run, kUnitVecA, kUnitDetA, run.ronum.numero(1), "e1",
                                "vecteur 1 : dimension =");
  const Opened o2 = open_vector(run, kUnitVecB, kUnitDetB, run.ronum.numero(2), "e2",
                                "vecteur 2 : dimension =");
  Vectors v{o1.ndim, o2.ndim, o1.isym, o2.isym, nullptr, nullptr, {}};
  run.dens.isym1 = v.isym1;
  run.dens.isym2 = v.isym2;
  run.io.list(kUnitReport, {"numero", run.ronum.numero(1), run.ronum.numero(2)});
  run.io.list(kUnitReport, {kStars});

  // Vector 2 is gathered from the CI program's order into address order.
  if (v.ndim2 != run.det.ndet)
    refuse_input(run, "vector file " + run.io.name(kUnitVecB) + ": dimension " +
                          std::to_string(v.ndim2) + " differs from the " +
                          std::to_string(run.det.ndet) + " determinants of its list");
  read_negated(run, a, v.ndim2, kUnitVecB);
  run.io.list(kUnitReport, {" VECTEUR 2"});
  restart_list(run, kUnitDetB);
  permute_by_address(run, a, b, v.ndim2);
  print_checked_vector(run, b, v.ndim2, kUnitDetB, run.dets.list_phases);

  read_negated(run, a, v.ndim1, kUnitVecA);
  run.io.list(kUnitReport, {" VECTEUR 1"});
  if (first_list_checked(run, v)) {
    // Its determinants are those of the second list, in the same order: its
    // phases and places are the check's.
    print_checked_vector(run, a, v.ndim1, kUnitDetA, in_list_order(run, run.dets.list_phases));
    if (how.gather_first) {
      v.ordered1 = ZeroVector(static_cast<size_t>(v.ndim1));
      permute_by_address(run, a, v.ordered1->data(), v.ndim1);
    }
  } else {
    if (how.gather_first) {
      v.space1 = make_address_tables(run, v.isym1);
      v.first = std::make_unique<FirstListGather>(*v.space1, run.io.name(kUnitDetA),
                                                  CiVector{a, v.ndim1, v.isym1});
    }
    print_vector(run, a, v.ndim1, kUnitDetA, v.first.get());
  }

  run.ronum.deltae = o2.energy - o1.energy;
  run.io.list(kUnitReport, {"deltae", run.ronum.deltae});
  run.io.list(kUnitReport, {after_sgn});
  return v;
}

namespace {

// The determinant J of vector 1 as the excitation loops see it: its holes and
// particles relative to the reference of the determinant files, sorted, and
// its occupation.
struct Current {
  int nh = 0;
  int h[kMaxSubst + 1];  // holes, ascending spin-orbitals
  int p[kMaxSubst + 1];  // particles, ascending (the marker last)
  int nt = 0, np = 0;  // holes in inactive and particles in virtual orbitals
};

class Accumulator {
 public:
  // The kets are roots of one vector file: one space, one symmetry.
  Accumulator(const AddressTables& tables, DeterminantSource& list1, const CiVector& psi1,
              std::span<const CiVector> kets)
      : run_(tables.records()), tables_(tables), list_(list1), a_(psi1.c),
        nkets_(static_cast<int>(kets.size())), n1_(psi1.n), n2_(kets.front().n),
        norb_(run_.orb.norb), nocc_(run_.orb.nocc), cas_(tables.active_only()),
        isymt_(run_.sym.mult(psi1.symmetry, kets.front().symmetry)),
        excitations_(tables.excitation_shortcut()),
        ro_(static_cast<size_t>(norb_) * norb_ * kets.size(), 0.0) {
    for (const CiVector& k : kets) b_.push_back(k.c);
    for (int i = 1; i <= norb_; ++i)
      class_list(run_.cs.itype(i), run_.sym.isym(i)).push_back(i);
  }

  std::vector<TransitionDensity> run_all() {
    int ne = 0, p[kMaxSubst], q[kMaxSubst];
    for (int s = 1; s <= 2 * norb_ + 1; ++s) occ_[s] = reference(s);
    fio::Progress progress(run_.io, "density", n1_);
    for (int idet = 1; idet <= n1_; ++idet) {
      progress.tick(idet);
      if (!list_.next(ne, p, q))
        refuse_input(run_, "determinant list " + list_.name() + " ended early");
      enter(ne, p, q);
      const double coef = a_[idet - 1];
      if (coef != 0.0) {
        split_ = excitations_ && excitations_->set(j_.nh, j_.h, j_.p);
        excite(0, coef);
        excite(norb_, coef);
      }
      leave(ne, p, q);
    }
    flush();
    std::vector<TransitionDensity> out;
    for (int k = 0; k < nkets_; ++k) {
      out.push_back({OrbitalMatrix(norb_), connected_});
      std::vector<double>& v = out.back().ro.v;
      for (size_t e = 0; e < v.size(); ++e) v[e] = ro_[e * nkets_ + k];
    }
    return out;
  }

 private:
  // Alpha and beta spin-orbitals 1..nocc are occupied in the reference of the
  // determinant files; spin-orbital 2 norb + 1 is the empty slot.
  bool reference(int s) const {
    int o = s <= norb_ ? s : s - norb_;
    return s <= 2 * norb_ && o <= nocc_;
  }
  // Orbitals of one class (1 inactive, 2 active, 3 virtual) and symmetry, in
  // increasing order.
  std::vector<int>& class_list(int c, int sy) { return classes_[c - 1][sy - 1]; }

  int cls(int s) const { return s > 2 * norb_ ? 0 : run_.cs.itype(s <= norb_ ? s : s - norb_); }

  void enter(int ne, const int* p, const int* q) {
    j_.nh = ne;
    j_.nt = j_.np = 0;
    int nh = 0, np = 0;
    for (int k = 0; k < ne; ++k) {
      occ_[p[k]] = false;
      insert_sorted(j_.h, nh, p[k]);
      if (cls(p[k]) == 1) ++j_.nt;
    }
    for (int k = 0; k < ne; ++k) {
      occ_[q[k]] = true;
      insert_sorted(j_.p, np, q[k]);
      if (cls(q[k]) == 3) ++j_.np;
    }
  }

  void leave(int ne, const int* p, const int* q) {
    for (int k = 0; k < ne; ++k) occ_[q[k]] = false;
    for (int k = 0; k < ne; ++k) occ_[p[k]] = true;
  }

  // Spin-orbitals of one spin strictly between lo and hi occupied in J.
  int between(int off, int lo, int hi) const {
    int n = std::max(0, std::min(hi - 1, nocc_) - lo);
    for (int k = 0; k < j_.nh; ++k) {
      int s = j_.h[k] - off;
      if (s > lo && s < hi && s >= 1 && s <= norb_) --n;
    }
    for (int k = 0; k < j_.nh; ++k) {
      int s = j_.p[k] - off;
      if (s > lo && s < hi && s >= 1 && s <= norb_) ++n;
    }
    return n;
  }

  // Every a+(j) a(i) J for spin-orbitals of one spin (offset 0 alpha, norb
  // beta), skipping the pairs whose J' has more than two holes or particles
  // before any work is done on them.  A CAS space excites only within the
  // active orbitals, but its inactive orbitals are still doubly occupied:
  // they keep their diagonal term, without which a state density would miss
  // two electrons per inactive orbital.
  void excite(int off, double coef) {
    for (int c = 1; c <= 3; ++c) {
      if (cas_ && c == 3) continue;
      for (int sy = 1; sy <= run_.sym.nsym; ++sy)
        for (const int i : class_list(c, sy)) {
          if (!occ_[off + i]) continue;
          occ_[off + i] = false;
          from(off, i, c, coef);
          occ_[off + i] = true;
        }
    }
  }

  void from(int off, int i, int ci, double coef) {
    const int req = run_.sym.mult(isymt_, run_.sym.isym(i));
    const int nt1 = j_.nt + (ci == 1), np1 = j_.np - (ci == 3);
    for (int cj = 1; cj <= 3; ++cj) {
      if (cas_ && cj != ci) continue;
      // J' has nt2 holes and np2 particles outside the active orbitals; a
      // negative count leaves no spin-orbital to fill.
      const int nt2 = nt1 - (cj == 1), np2 = np1 + (cj == 3);
      if (nt2 < 0 || nt2 > 2 || np2 > 2) continue;
      if (split_ && !excitations_->has_class(nt2, np2)) continue;
      if (cj == 1) {
        // An empty inactive spin-orbital is a hole of J or i itself.
        int cand[kMaxSubst + 1], n = 0;
        for (int k = 0; k < j_.nh; ++k) {
          int s = j_.h[k] - off;
          if (s >= 1 && s <= norb_ && cls(j_.h[k]) == 1) cand[n++] = s;
        }
        if (ci == 1) cand[n++] = i;
        for (int k = 0; k < n; ++k)
          if (run_.sym.isym(cand[k]) == req) pair(off, i, cand[k], coef);
      } else {
        for (const int j : class_list(cj, req))
          if (!occ_[off + j]) pair(off, i, j, coef);
      }
    }
  }

  void pair(int off, int i, int j, double coef) {
    const int si = off + i, sj = off + j;
    // J' has J's holes and particles, i a new hole or one particle fewer,
    // j one hole fewer or a new particle.
    if (j_.nh + reference(si) - reference(sj) > kMaxSubst) return;
    int iadr = 0;
    if (!(split_ ? excitations_->locate(si, sj, iadr) : locate(si, sj, iadr))) return;
    ++connected_;
    // The address that adrdet stops on for a look at its parts: the same
    // determinant through adrdet.
    if (split_ && iadr == run_.switches.stop_at_address) locate(si, sj, iadr);
    if (iadr < 1 || iadr > n2_) return;
    const double phase = (between(off, std::min(i, j), std::max(i, j)) & 1) ? -1.0 : 1.0;
    delay({i, j, phase, coef, iadr});
  }

  // A term phase * B(iadr) * A(J) of RO(i,j), waiting for B(iadr) of every
  // ket.
  struct Term {
    int i, j;
    double phase, coef;
    int iadr;
  };

  // The excited determinants lie anywhere in vector 2, so B(iadr) is mostly
  // a cache miss.  Each term waits in a queue while its coefficient is
  // fetched and the next terms are found, and leaves it first in, first out:
  // every RO(i,j) still receives its terms in the order of the loops.
  void delay(const Term& t) {
    for (const double* b : b_) __builtin_prefetch(b + t.iadr - 1);
    if (queued_ == kQueue) add(queue_[head_]);
    else ++queued_;
    queue_[head_] = t;
    head_ = (head_ + 1) % kQueue;
  }

  // The kets' elements RO(i,j) lie side by side.
  void add(const Term& t) {
    double* ro = &ro_[((t.i - 1) + static_cast<size_t>(t.j - 1) * norb_) * nkets_];
    for (int k = 0; k < nkets_; ++k) ro[k] += t.phase * b_[k][t.iadr - 1] * t.coef;
  }

  // The terms still waiting, oldest first.
  void flush() {
    for (int k = queued_; k > 0; --k) add(queue_[(head_ + kQueue - k) % kQueue]);
    queued_ = 0;
  }

  // J' = a+(sj) a(si) J as lists of holes and particles relative to the
  // reference, split by trad and looked up in the tables: for the
  // determinants that the tables' shortcut does not take.
  bool locate(int si, int sj, int& iadr) {
    int h[kMaxSubst + 2], p[kMaxSubst + 2];
    int nh = j_.nh, np = j_.nh;
    std::copy(j_.h, j_.h + nh, h);
    std::copy(j_.p, j_.p + np, p);
    if (reference(si))
      insert_sorted(h, nh, si);
    else
      remove_value(p, np, si);
    if (reference(sj))
      remove_value(h, nh, sj);
    else
      insert_sorted(p, np, sj);
    SplitDet d;
    int ierr = 0;
    trad(run_, nh, h, p, d, ierr);
    if (ierr != 0) return false;
    iadr = tables_.address(d);
    return iadr != 0;
  }

  Run& run_;
  const AddressTables& tables_;
  DeterminantSource& list_;
  const double* a_;
  std::vector<const double*> b_;  // the kets
  const int nkets_;
  const int n1_, n2_;
  const int norb_, nocc_;
  const bool cas_;
  const int isymt_;
  Current j_;
  static constexpr int kQueue = 32;
  Term queue_[kQueue];
  int queued_ = 0, head_ = 0;  // terms waiting; the slot of the next one
  std::unique_ptr<ExcitationShortcut> excitations_;
  bool split_ = false;  // J taken by excitations_
  bool occ_[2 * kMaxOrb + 2] = {};
  std::vector<int> classes_[3][kMaxSym];
  // RO(i,j) of ket k at ((i-1) + (j-1) norb) nkets + k.
  std::vector<double> ro_;
  long long connected_ = 0;
};

}  // namespace

void expand_density(Run& run, const double* ro, int ld, bool state, double* full,
                    double* sym_order, bool print) {
  const int norb = run.orb.norb;
  auto in = [&](int r, int c) { return ro[(r - 1) + static_cast<size_t>(c - 1) * ld]; };
  auto out = [&](int r, int c) -> double& {
    return full[(r - 1) + static_cast<size_t>(c - 1) * kMaxOrb];
  };
  auto r1 = [&](int r, int c) -> double& {
    return sym_order[(r - 1) + static_cast<size_t>(c - 1) * kMaxOrb];
  };
  int iord[kMaxOrb + 1], map[kMaxOrb + 1], n = 0;
  for (int s = 1; s <= run.sym.nsym; ++s)
    for (int i = 1; i <= norb; ++i)
      if (run.sym.isym(i) == s) iord[++n] = i;
  for (int c = 1; c <= norb; ++c)
    for (int r = 1; r <= norb; ++r) r1(r, c) = in(iord[r], iord[c]);
  if (print) {
    for (int k = 0; k < 4; ++k) run.io.list(kUnitReport, {" "});
    run.io.list(kUnitReport, {"MATRICE RO avant reintroduction du gel/del"});
    script(run, sym_order, norb, norb, kMaxOrb);
  }
  int nbtot = norb;
  for (int s = 1; s <= run.sym.nsym; ++s) nbtot += run.orbi.ngel(s) + run.orbi.ndel(s);
  if (nbtot > kMaxOrb)
    refuse_input(run, "orbitals with the frozen and deleted ones: " + std::to_string(nbtot) +
                          ", this program takes at most " + std::to_string(kMaxOrb));
  run.orbi.nbtot = nbtot;
  // The full orbital set runs symmetry by symmetry: frozen orbitals, the
  // correlated ones, deleted orbitals.
  int pos = 0, k = 0;
  for (int s = 1; s <= run.sym.nsym; ++s) {
    pos += run.orbi.ngel(s);
    const int ncor = run.sy2.norbs(s);
    if (run.orbi.nbas(s) != 0 && run.orbi.nbas(s) != run.orbi.ngel(s) + ncor + run.orbi.ndel(s))
      refuse_input(run, "symmetry " + std::to_string(s) + ": " + std::to_string(run.orbi.nbas(s)) +
                      " basis functions, but " + std::to_string(run.orbi.ngel(s)) + " frozen + " +
                      std::to_string(ncor) + " correlated + " + std::to_string(run.orbi.ndel(s)) +
                      " deleted orbitals");
    for (int m = 0; m < ncor; ++m) map[++k] = ++pos;
    pos += run.orbi.ndel(s);
  }
  for (int c = 1; c <= nbtot; ++c)
    for (int r = 1; r <= nbtot; ++r) out(r, c) = 0.0;
  for (int c = 1; c <= norb; ++c)
    for (int r = 1; r <= norb; ++r) out(map[r], map[c]) = r1(r, c);
  // The frozen orbitals are doubly occupied in every determinant: they enter
  // a state density and never a transition density.
  if (state) {
    int start = 0;
    for (int s = 1; s <= run.sym.nsym; ++s) {
      for (int f = 1; f <= run.orbi.ngel(s); ++f) out(start + f, start + f) = 2.0;
      start += run.orbi.ngel(s) + run.sy2.norbs(s) + run.orbi.ndel(s);
    }
  }
  if (print) {
    for (int m = 0; m < 4; ++m) run.io.list(kUnitReport, {" "});
    run.io.list(kUnitReport, {"MATRICE RO apres reintroduction du gel/del"});
    script(run, full, nbtot, nbtot, kMaxOrb);
  }
}

void reintroduce(Run& run, bool state) {
  expand_density(run, run.dens.mat.data(), kMaxOrb, state, run.dens.mat.data(),
                 run.dens.roij1.data(), run.pr.nprint > 0);
}

std::vector<TransitionDensity> transition_densities(const AddressTables& tables,
                                                    DeterminantSource& list1,
                                                    const CiVector& psi1,
                                                    std::span<const CiVector> kets) {
  if (kets.empty()) return {};
  for (const CiVector& k : kets)
    if (k.n != kets.front().n || k.symmetry != kets.front().symmetry)
      refuse_input(tables.records(), "density: the kets of one pass are not vectors of one space");
  // The kernels in order of preference; each declines tables it does not
  // serve without reading list1.
  if (std::optional<std::vector<TransitionDensity>> t =
          string_driven_densities(tables, psi1, kets))
    return std::move(*t);
  if (std::optional<std::vector<TransitionDensity>> t = block_driven_densities(tables, psi1, kets))
    return std::move(*t);
  if (std::optional<std::vector<TransitionDensity>> t =
          configuration_driven_densities(tables, psi1, kets))
    return std::move(*t);
  return Accumulator(tables, list1, psi1, kets).run_all();
}

TransitionDensity transition_density(const AddressTables& tables, DeterminantSource& list1,
                                     const CiVector& psi1, const CiVector& psi2) {
  return std::move(transition_densities(tables, list1, psi1, {&psi2, 1}).front());
}

long long working_bytes_per_ket(const AddressTables& tables, long long n) {
  const long long norb = tables.records().orb.norb;
  // The string path keeps a transposed copy of each ket, the configuration
  // path a copy in its order when the orbitals are numbered otherwise;
  // every path one density per ket and, in the string path, its pieces'
  // sums (an eighth more at most on the spaces measured); the block and
  // configuration paths a piece's sums per ket at least (all their pieces'
  // sums within a fixed 64 MB beyond that).
  const long long copies = tables.active_only() || configuration_copies(tables) ? n : 0;
  const long long pieces =
      block_driven(tables) || configuration_driven(tables) ? norb * norb : 0;
  return (8 * (copies + norb * norb + pieces) + (8 * (n + copies)) / 8);
}

ZeroVector first_vector_gathered(Run& run, const double* a, Vectors& v) {
  if (v.ordered1) return std::move(*v.ordered1);
  if (v.first) return v.first->finish();
  ListOnUnit list1(run, kUnitDetA);
  return first_vector_in_address_order(*make_address_tables(run, v.isym1), list1,
                                       {a, v.ndim1, v.isym1});
}

void calro(Run& run, const AddressTables& tables, bool state, double* a, double* b) {
  Vectors v = read_vectors(run, a, b, "APRES SGN", {.gather_first = true});
  const ZeroVector ordered1 = first_vector_gathered(run, a, v);
  ListOnUnit list1(run, kUnitDetA);
  const TransitionDensity t = transition_density(tables, list1, {a, v.ndim1, v.isym1, ordered1.data()},
                                                 {b, v.ndim2, v.isym2, b});
  for (int j = 1; j <= t.ro.n; ++j)
    for (int i = 1; i <= t.ro.n; ++i) run.dens.mat(i, j) = t.ro(i, j);
  run.dens.connected = t.connected;
  reintroduce(run, state);
}

}  // namespace ciprop
