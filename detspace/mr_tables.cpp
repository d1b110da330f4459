// The multireference space as the CI program lays it out.  Its determinants
// are grouped by active configuration; inside one configuration, blocks
// follow one another by hole count, hole and particle open shells and hole
// symmetry, and inside a block the spin pattern of the open shells runs
// fastest, then the holes, then the particles.  The configuration's base
// address comes from the reference configurations (mrs1).
#include "detspace/mr_tables.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "core/unit_numbers.hpp"
#include "core/print.hpp"

namespace ciprop {

namespace {

// The (ndo, nso) groups of active configurations with nelac-2 to nelac+2
// electrons, ndo outer and nso inner, as the numbering takes them.
template <class F>
void for_each_group(int noac, int nelac, F f) {
  for (int ndo = std::max(0, nelac - noac - 2); ndo <= std::min((nelac + 2) / 2, noac); ++ndo)
    for (int nso = std::max(0, nelac - 2 * ndo - 2); nso <= std::min(nelac - 2 * ndo + 2, noac - ndo);
         ++nso)
      f(ndo, nso);
}

void binomials(MrRecords& r) {
  r.binom.fill(0);
  for (int n = 0; n <= kMaxOpenShells; ++n) {
    r.binom(n, 0) = 1;
    for (int k = 1; k <= n; ++k) r.binom(n, k) = r.binom(n - 1, k - 1) + (k < n ? r.binom(n - 1, k) : 0);
  }
}

// Configuration offsets by (ndo, nso); stops when the configurations do not
// fit the tables.
void configuration_offsets(Run& run, MrRecords& r) {
  const int noac = run.cs.noac;
  long long total = 0;
  r.cfg_offset.fill(0);
  for_each_group(noac, run.cs.nelac, [&](int ndo, int nso) {
    r.cfg_offset(ndo, nso) = static_cast<int>(std::min<long long>(total, kMaxConfigurations));
    total += r.binom(noac, ndo) * r.binom(noac - ndo, nso);
  });
  if (total > kMaxConfigurations) {
    run.io.list(kUnitReport, {"ndimcs0 n'est pas assez grand"});
    refuse(run, {"ndimcs0 doit valoir au moins", total},
           "the active space of the run description (" + std::to_string(noac) +
               " active orbitals, NELAC=" + std::to_string(run.cs.nelac) + ") has " +
               std::to_string(total) + " configurations, more than the " +
               std::to_string(kMaxConfigurations) + " a multireference mode takes");
  }
  r.ndimcs0 = static_cast<int>(total);
}

// The orbital classes of prepad, copied: class, symmetry, rank within class
// and symmetry (itorb), rank within class.
void orbital_maps(const Run& run, MrRecords& r) {
  const Prep& p = run.prep;
  r.norb = run.orb.norb;
  r.noac = run.cs.noac;
  r.nelac = run.cs.nelac;
  r.nsym = run.sym.nsym;
  r.is0 = run.cs.is0;
  // The determinant files fill (nelac+1)/2 active orbitals of both spins and
  // mark a missing electron for odd counts, so their determinants have
  // nca0 - ncb0 as spin projection; ms2 itself says the same whenever its
  // parity is that of the electron count.
  r.ms2 = p.nca0 - p.ncb0;
  r.mult = run.sym.mult;
  r.ninac = r.nvirt = 0;
  for (int s = 1; s <= 8; ++s) {
    r.nts(s) = run.sy2.nts(s);
    r.nps(s) = run.sy2.nps(s);
    r.ninac += r.nts(s);
    r.nvirt += r.nps(s);
  }
  for (int o = 1; o <= r.norb; ++o) {
    r.osym(o) = run.sym.isym(o);
    r.oclass(o) = p.ycas(o) ? 2 : (o <= run.orb.nocc ? 1 : 3);
    r.orank(o) = run.dets.prep2.itorb(o);
  }
  for (int k = 1; k <= r.ninac; ++k) r.opos(p.numt(k)) = k;
  for (int k = 1; k <= r.nvirt; ++k) r.opos(p.nump(k)) = k;
  for (int k = 1; k <= r.noac; ++k) {
    r.opos(run.cs.numac(k)) = k;
    r.asym(k) = run.sym.isym(run.cs.numac(k));
  }
}

// Open pairs of holes (particles) in two different orbitals, grouped by
// total symmetry u and, inside u, by the lower of the two symmetries; the
// totally symmetric pairs of one symmetry follow one another by symmetry.
void pair_offsets(const MrRecords& r, const Arr1<int, 1, 8>& n, Arr2<long long, 1, 8, 1, 8>& t) {
  t.fill(0);
  for (int d = 1; d <= r.nsym; ++d) {
    for (int s = 1; s < d; ++s) t(d, d) += n(s) * (n(s) - 1) / 2;
    for (int e = d + 1; e <= r.nsym; ++e) {
      const int u = r.mult(d, e);
      for (int s = 1; s < d; ++s)
        if (s < r.mult(s, u)) t(d, e) += static_cast<long long>(n(s)) * n(r.mult(s, u));
      t(e, d) = t(d, e);
    }
  }
}

// Orbital-level configurations of n holes (particles) by open shells and
// symmetry.
void pair_counts(const MrRecords& r, const Arr1<int, 1, 8>& n, int total,
                 Arr3<long long, 0, 2, 0, 2, 1, 8>& c) {
  c.fill(0);
  c(0, 0, 1) = 1;
  c(2, 0, 1) = total;
  for (int s = 1; s <= r.nsym; ++s) {
    c(1, 1, s) = n(s);
    c(2, 2, 1) += n(s) * (n(s) - 1) / 2;
  }
  for (int u = 2; u <= r.nsym; ++u)
    for (int s = 1; s <= r.nsym; ++s)
      if (s < r.mult(s, u)) c(2, 2, u) += static_cast<long long>(n(s)) * n(r.mult(s, u));
}

// Class numbers: particles none, one by symmetry, a closed pair, an open pair
// by symmetry; holes none or a closed pair, one by symmetry, an open pair by
// symmetry.
void class_numbers(MrRecords& r) {
  r.niips.fill(0);
  r.niits.fill(0);
  int ip = 0, it = 0;
  r.niips(0, 0, 1) = ++ip;
  for (int s = 1; s <= r.nsym; ++s) r.niips(1, 1, s) = ++ip;
  r.niips(2, 0, 1) = ++ip;
  for (int s = 1; s <= r.nsym; ++s) r.niips(2, 2, s) = ++ip;
  r.niits(0, 1) = ++it;
  for (int s = 1; s <= r.nsym; ++s) r.niits(1, s) = ++it;
  for (int s = 1; s <= r.nsym; ++s) r.niits(2, s) = ++it;
}

// Spin patterns of isol open shells with the space's spin projection.
long long patterns(const MrRecords& r, int isol) {
  const int twice = isol + r.ms2;
  if (twice < 0 || twice % 2 != 0 || twice / 2 > isol) return 0;
  return r.binom(isol, twice / 2);
}

// Open shells of a hole (particle) count: 0 for none, 1 for one, a closed
// (0) or an open (2) pair for two.
int open_shell_choices(int n, int* out) {
  if (n == 0) {
    out[0] = 0;
    return 1;
  }
  if (n == 1) {
    out[0] = 1;
    return 1;
  }
  out[0] = 0;
  out[1] = 2;
  return 2;
}

}  // namespace

// Blocks of every configuration: for each class that the configuration's
// electron count allows, the blocks by hole count, hole open shells,
// particle open shells and hole symmetry, one after the other.
void lay_out_blocks(MrRecords& r) {
  r.offmrs.fill(0);
  r.blksize.fill(0);
  r.cfg_size.fill(0);
  for_each_group(r.noac, r.nelac, [&](int ndo, int isolc) {
    const int nelc = 2 * ndo + isolc - r.nelac;
    for (int iscas = 1; iscas <= (isolc == 0 ? 1 : r.nsym); ++iscas)
      for (int klass = 1; klass <= kMaxMrClass; ++klass) {
        const ClassRange c = class_range(klass);
        if (c.mint - c.minp != nelc) continue;
        long long running = 0;
        for (int nt = c.mint; nt <= c.maxt; ++nt) {
          const int np = nt + c.minp - c.mint;
          int holes[2], parts[2];
          const int nh = open_shell_choices(nt, holes), npc = open_shell_choices(np, parts);
          for (int a = 0; a < nh; ++a)
            for (int b = 0; b < npc; ++b)
              for (int ist = 1; ist <= (holes[a] == 0 ? 1 : r.nsym); ++ist) {
                const int isolt = holes[a], isolp = parts[b];
                const int isp = r.mult(r.is0, r.mult(iscas, ist));
                const int ip = r.niips(np, isolp, isp);
                if (ip == 0) continue;
                const int it = r.niits(isolt, ist);
                const long long size = r.ndett(nt, isolt, ist) * r.ndetp(np, isolp, isp) *
                                       patterns(r, isolc + isolt + isolp);
                r.offmrs(klass, ip, it, isolc) = running;
                r.blksize(klass, ip, it, isolc) = size;
                running += size;
              }
        }
        r.cfg_size(klass, isolc, iscas) = running;
      }
  });
}

ClassRange class_range(int klass) {
  static constexpr ClassRange kClasses[15] = {
      {0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {0, 1, 0}, {0, 1, 1}, {1, 1, 0}, {1, 1, 1}, {1, 1, 2},
      {0, 2, 0}, {1, 2, 0}, {1, 2, 1}, {2, 2, 0}, {2, 2, 1}, {2, 2, 2}, {2, 0, 2}};
  return kClasses[std::clamp(klass, 1, 15) - 1];
}

long long subset_rank(const MrRecords& r, int n, int k, const int* list) {
  if (k == 0) return 1;
  if (k == 1) return list[0];
  if (k == 2) return static_cast<long long>(list[1] - 1) * (list[1] - 2) / 2 + list[0];
  // Lexicographic: all k-subsets minus those that come after the list.
  long long rank = r.binom(n, k);
  for (int j = 1; j <= k; ++j) rank -= r.binom(n - list[j - 1], k - j + 1);
  return rank;
}

long long set_rank(const MrRecords& r, int n, int k, unsigned set) {
  if (k == 0) return 1;
  const int p1 = std::countr_zero(set) + 1;
  if (k == 1) return p1;
  if (k == 2) {
    const int p2 = std::countr_zero(set & (set - 1)) + 1;
    return static_cast<long long>(p2 - 1) * (p2 - 2) / 2 + p1;
  }
  long long rank = r.binom(n, k);
  int j = k;
  for (unsigned m = set; m != 0; m &= m - 1) rank -= r.binom(n - std::countr_zero(m) - 1, j--);
  return rank;
}

// Doubly occupied positions ranked among all positions, singly occupied ones
// among the positions left free by the doubles.
int configuration_number(const MrRecords& r, const int* iocc) {
  int doubles[16], singles[16], ndo = 0, nso = 0;
  for (int k = 1; k <= r.noac; ++k) {
    if (iocc[k - 1] == 2) doubles[ndo++] = k;
    if (iocc[k - 1] == 1) singles[nso++] = k - ndo;
  }
  const int ne = 2 * ndo + nso;
  if (ne < r.nelac - 2 || ne > r.nelac + 2) return 0;
  return r.cfg_offset(ndo, nso) +
         static_cast<int>(subset_rank(r, r.noac, ndo, doubles) +
                          (subset_rank(r, r.noac - ndo, nso, singles) - 1) * r.binom(r.noac, ndo));
}

void prepads(Run& run) {
  MrRecords& r = run.dets.mr;
  binomials(r);
  configuration_offsets(run, r);
  orbital_maps(run, r);
  pair_offsets(r, r.nts, r.th);
  pair_offsets(r, r.nps, r.tp);
  class_numbers(r);
  pair_counts(r, r.nts, r.ninac, r.ndett);
  pair_counts(r, r.nps, r.nvirt, r.ndetp);
  lay_out_blocks(r);
}

namespace {

// Holes (cls 1) or particles (cls 3) of a split determinant: spin-orbitals
// of that class, distinct, with the spin balance stated.
bool valid_pair(const MrRecords& r, int n, const int* so, int balance, int cls) {
  if (n < 0 || n > 2) return false;
  int sum = 0;
  for (int k = 0; k < n; ++k) {
    if (so[k] < 1 || so[k] > 2 * r.norb) return false;
    if (r.oclass(so[k] > r.norb ? so[k] - r.norb : so[k]) != cls) return false;
    sum += so[k] > r.norb ? -1 : 1;
  }
  return sum == balance && (n < 2 || so[0] != so[1]);
}

// An active string as CAS-position bits: active orbitals in increasing
// position.
bool active_bits(const MrRecords& r, int n, const int* orb, unsigned& bits) {
  if (n < 0 || n > r.noac) return false;
  bits = 0;
  int last = 0;
  for (int k = 0; k < n; ++k) {
    if (orb[k] < 1 || orb[k] > r.norb || r.oclass(orb[k]) != 2) return false;
    const int pos = r.opos(orb[k]);
    if (pos <= last) return false;
    last = pos;
    bits |= 1u << (pos - 1);
  }
  return true;
}

// A split determinant in compact form; false when it is malformed or its
// holes or particles lie outside the inactive or virtual orbitals.
bool compact(const MrRecords& r, const SplitDet& d, MrDet& m) {
  if (!valid_pair(r, d.nt, d.it, d.ispt, 1) || !valid_pair(r, d.np, d.ip, d.ispp, 3)) return false;
  if (!active_bits(r, d.nca, d.ia, m.occ[0]) || !active_bits(r, d.ncb, d.ib, m.occ[1])) return false;
  m.nt = d.nt;
  m.np = d.np;
  for (int k = 0; k < 2; ++k) {
    m.it[k] = d.it[k];
    m.ip[k] = d.ip[k];
  }
  return true;
}

}  // namespace

MrActive mr_active(const MrRecords& r, const unsigned occ[2]) {
  MrActive m;
  int iocc[16];
  for (int k = 1; k <= r.noac; ++k) {
    const bool a = (occ[0] >> (k - 1)) & 1u, b = (occ[1] >> (k - 1)) & 1u;
    iocc[k - 1] = a + b;
    m.ne += a + b;
    if (a != b) {
      m.alpha |= unsigned(a) << m.nso++;
      m.nalpha += a;
      m.iscas = r.mult(m.iscas, r.asym(k));
    }
  }
  m.iconf = configuration_number(r, iocc);
  return m;
}

int mr_address(const MrRecords& r, const MrDet& d) { return mr_address(r, d, mr_active(r, d.occ)); }

int mr_address(const MrRecords& r, const MrDet& d, const MrActive& a) {
  if (a.ne - r.nelac != d.nt - d.np) return 0;
  const MrPair h = mr_pair(r, d.nt, d.it, true), p = mr_pair(r, d.np, d.ip, false);

  // Open shells in the order holes, active positions, particles; the
  // pattern is the set of those carrying an alpha electron.
  const int isol = h.isol + a.nso + p.isol, nalpha = h.nalpha + a.nalpha + p.nalpha;
  const unsigned pattern = h.alpha | a.alpha << h.isol | p.alpha << (h.isol + a.nso);
  if (2 * nalpha - isol != r.ms2) return 0;
  if (p.sym != r.mult(r.is0, r.mult(a.iscas, h.sym))) return 0;

  const int iconf = a.iconf;
  if (iconf < 1 || iconf > r.ndimcs0) return 0;
  const int klass = r.klass(iconf);
  if (klass < 1 || klass > kMaxMrClass) return 0;
  const ClassRange c = class_range(klass);
  if (d.nt < c.mint || d.nt > c.maxt || d.np != d.nt + c.minp - c.mint) return 0;
  const int ip = r.niips(d.np, p.isol, p.sym), it = r.niits(h.isol, h.sym);
  const long long ndett = r.ndett(d.nt, h.isol, h.sym);
  if (ip == 0 || it == 0 || h.index > ndett || p.index > r.ndetp(d.np, p.isol, p.sym)) return 0;
  const int isolc = isol - h.isol - p.isol;
  const long long iadr = r.offmrs(klass, ip, it, isolc) + r.base(iconf) +
                         set_rank(r, isol, nalpha, pattern) +
                         ((p.index - 1) * ndett + h.index - 1) * r.binom(isol, nalpha);
  return iadr >= 1 && iadr <= r.ntotal ? static_cast<int>(iadr) : 0;
}

int MrAddressTables::size() const { return static_cast<int>(r_.ntotal); }

int MrAddressTables::address(const SplitDet& d) const {
  MrDet m;
  return compact(r_, d, m) ? mr_address(r_, m) : 0;
}

std::unique_ptr<ExcitationShortcut> MrAddressTables::excitation_shortcut() const {
  return std::make_unique<MrExcitations>(records(), r_);
}

namespace {

// The files' reference fills the inactive orbitals and leaves the virtual
// ones empty, and fills the active ones trad fills: a hole or particle of the
// lists is then one of the space's, and J is read alike by both.
bool files_fill_inactive(const Run& run) {
  for (int o = 1; o <= run.orb.norb; ++o) {
    const int c = run.cs.itype(o);
    if ((c == 1 && !run.prep.yref(o)) || (c == 3 && run.prep.yref(o))) return false;
  }
  return files_match_cas(run);
}

}  // namespace

// A class admits nt = mint..maxt holes with np = nt + minp - mint particles;
// the classes met are those of the configurations.
MrExcitations::MrExcitations(Run& run, const MrRecords& r)
    : run_(run), r_(r), usable_(files_fill_inactive(run)) {
  bool met[kMaxMrClass + 1] = {};
  for (int i = 1; i <= r_.ndimcs0; ++i)
    if (r_.klass(i) >= 1 && r_.klass(i) <= kMaxMrClass) met[r_.klass(i)] = true;
  for (int k = 1; k <= kMaxMrClass; ++k) {
    if (!met[k]) continue;
    const ClassRange c = class_range(k);
    for (int nt = c.mint; nt <= c.maxt; ++nt) {
      const int np = nt + c.minp - c.mint;
      if (nt >= 0 && nt <= 2 && np >= 0 && np <= 2) has_class_[nt][np] = true;
    }
  }
}

bool MrExcitations::set(int nh, const int* holes, const int* parts) {
  if (!usable_ || !well_formed(run_, nh, holes, parts)) return false;
  SplitDet d;
  int ierr = 0;
  trad(run_, nh, holes, parts, d, ierr);
  if (ierr != 0 || !compact(r_, d, j_)) return false;
  active_ = mr_active(r_, j_.occ);
  return true;
}

// The electron leaves i (an active orbital, a new hole or a particle of J)
// and enters j (an active orbital, a hole of J or a new particle).
bool MrExcitations::locate(int si, int sj, int& iadr) {
  const MrRecords& r = r_;
  const int s = si > r.norb ? 1 : 0;
  const int oi = si - s * r.norb, oj = sj - s * r.norb;
  MrDet d = j_;
  int t[3] = {d.it[0], d.it[1], 0}, p[3] = {d.ip[0], d.ip[1], 0};
  auto drop = [](int* list, int& n, int so) {
    int k = 0;
    while (k < n && list[k] != so) ++k;
    if (k == n) return false;
    list[k] = list[--n];
    return true;
  };
  switch (r.oclass(oi)) {
    case 1:
      t[d.nt++] = si;
      break;
    case 2:
      d.occ[s] &= ~(1u << (r.opos(oi) - 1));
      break;
    default:
      if (!drop(p, d.np, si)) return false;
  }
  switch (r.oclass(oj)) {
    case 1:
      if (!drop(t, d.nt, sj)) return false;
      break;
    case 2:
      d.occ[s] |= 1u << (r.opos(oj) - 1);
      break;
    default:
      p[d.np++] = sj;
  }
  if (d.nt > 2 || d.np > 2 || !has_class_[d.nt][d.np]) return false;
  for (int k = 0; k < 2; ++k) {
    d.it[k] = t[k];
    d.ip[k] = p[k];
  }
  // An electron moved between holes and particles leaves J's active
  // configuration as it is.
  const bool same_active = r.oclass(oi) != 2 && r.oclass(oj) != 2;
  iadr = same_active ? mr_address(r, d, active_) : mr_address(r, d);
  return iadr != 0;
}

}  // namespace ciprop
