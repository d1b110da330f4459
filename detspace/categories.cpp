// The CI space of a generation mode as the CI program lays it out.  A
// determinant is a class (active-electron change nelc, active symmetry isc,
// active spin index ispc1, hole category) and, inside its class block, an
// index made of its holes (slowest), its particles and its active strings
// (fastest).  prepad counts every part per symmetry and spin and gives every
// block its offset, so that adrdet can turn a determinant into its address.
#include "detspace/categories.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "detspace/address.hpp"
#include "core/print.hpp"
#include "detspace/mr_tables.hpp"
#include "detspace/reference_configurations.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

namespace {

constexpr int kMaxRows = 12870;  // C(16,8), the most strings of one count
constexpr int kLdim = 16;

// The generation modes built here.
enum class Mode { Cas, Pert, Ddci, DdciLow, Ddc2, Tous, Mono, Other };

Mode mode_of(std::string_view g) {
  auto is = [&](std::string_view m) { return g == m; };
  if (is("CAS ")) return Mode::Cas;
  if (is("PERT")) return Mode::Pert;
  if (is("DDCI")) return Mode::Ddci;
  if (is("DDci")) return Mode::DdciLow;
  if (is("DDC2")) return Mode::Ddc2;
  if (is("TOUS")) return Mode::Tous;
  if (is("MONO")) return Mode::Mono;
  return Mode::Other;
}

// The mode's name as text for a message; a mode never read holds zero bytes.
std::string gener_text(const Run& run) {
  std::string s(run.prep.gener.view());
  for (char& ch : s)
    if (ch == '\0') ch = ' ';
  return s;
}

// Highest spin imbalance (|dspin|) of an active part the mode admits.
int level(Mode m) {
  if (m == Mode::Ddci || m == Mode::Ddc2) return 3;
  if (m == Mode::Tous) return 4;
  return 2;
}

// Symmetry of an active string given by its CAS positions.
int string_symmetry(const Run& run, const int* pos, int k) {
  int s = 1;
  for (int j = 0; j < k; ++j) s = run.sym.mult(s, run.sym.isym(run.cs.numac(pos[j])));
  return s;
}

// The reference fills (nelac+1)/2 active orbitals of each spin and the
// tables hold at most 16 electrons of one spin: a run description with more
// active electrons than active spin-orbitals is refused here rather than
// read past an array.
void check_active_electrons(Run& run) {
  const int nelac = run.cs.nelac;
  if (nelac >= 0 && nelac <= 2 * run.cs.noac) return;
  run.io.list(kUnitReport,
              {"nombre d electrons actifs hors limites (0 a 2 noac) : nelac, noac=", nelac,
               run.cs.noac});
  fio::stop_error(run.io, "the run description " + run.io.name(kUnitVrt) + " gives NELAC=" +
                              std::to_string(nelac) + " active electrons for NOAC=" +
                              std::to_string(run.cs.noac) + " active orbitals (0 to " +
                              std::to_string(2 * run.cs.noac) + " fit)");
}

// Reference occupation, active flags and CAS indices of the spin-orbitals.
void reference_maps(Run& run) {
  Prep& p = run.prep;
  const int norb = run.orb.norb, noac = run.cs.noac;
  const int nref = (run.cs.nelac + 1) / 2;  // active orbitals filled in the reference
  for (int j = 1; j <= norb; ++j) {
    p.yref(j) = j <= run.orb.nocc;
    p.yref(j + norb) = j <= run.orb.nocc;
    p.ycas(j) = false;
    p.inumac(j) = 0;
    p.inumac(j + norb) = 0;
  }
  for (int k = 1; k <= nref; ++k) p.ic0(k) = run.cs.numac(k);
  for (int k = 1; k <= noac; ++k) {
    const int o = run.cs.numac(k);
    p.yac(k) = k <= nref;
    p.ycas(o) = true;
    p.inumac(o) = k;
    p.inumac(o + norb) = noac + k;
  }
}

// Holes live in the inactive orbitals (1..nocc, not active), particles in the
// virtual ones (above nocc, not active).  itorb numbers each orbital within
// its class and symmetry.  Membership of the active list is looked up, so an
// active list given out of order still classifies every orbital once.
void orbital_classes(Run& run) {
  Prep& p = run.prep;
  Sy2& s2 = run.sy2;
  auto& itorb = run.dets.prep2.itorb;
  const int norb = run.orb.norb, nocc = run.orb.nocc;
  s2.nts.fill(0);
  s2.ncs.fill(0);
  s2.nps.fill(0);
  auto rank = [&](int j, int count) {
    itorb(j) = count;
    itorb(j + norb) = count;
  };
  int nt = 0;
  for (int j = 1; j <= nocc; ++j) {
    if (p.ycas(j)) continue;
    p.numt(++nt) = j;
    rank(j, ++s2.nts(run.sym.isym(j)));
  }
  for (int k = 1; k <= run.cs.noac; ++k) {
    const int j = run.cs.numac(k);
    rank(j, ++s2.ncs(run.sym.isym(j)));
  }
  int np = 0;
  for (int j = nocc + 1; j <= norb; ++j) {
    if (p.ycas(j)) continue;
    p.nump(++np) = j;
    rank(j, ++s2.nps(run.sym.isym(j)));
  }
  if (run.pr.nprint > 1)
    run.io.write(kUnitReport, "(a6,10(20i4,/))", fio::Items{" itorb"}.all(itorb.data(), 2 * norb));
  p.nptot = 0;
  for (int s = 1; s <= 8; ++s) p.nptot += s2.nps(s);
}

// combin's callers size its list for 16 active orbitals; a larger request is
// a fault of the caller, never a reason to write past the list.
[[noreturn]] void run_list_full(int n, int k, int maxrows) {
  throw std::logic_error("combin: more than " + std::to_string(maxrows) + " subsets of " +
                         std::to_string(k) + " among " + std::to_string(n));
}

// Offsets of the sub-blocks by the symmetry of the first hole (particle).
void pair_offsets(Run& run) {
  DetRecords& dt = run.dets;
  const int nsym = run.sym.nsym;
  for (int n = 1; n <= 2; ++n)
    for (int spin = -1; spin <= 1; ++spin) {
      if (n == 1 && spin == 0) continue;
      for (int ist = 1; ist <= nsym; ++ist) {
        int st = 0, sp = 0;
        for (int is1 = 1; is1 <= nsym; ++is1) {
          dt.prep2.iat(n, ist, is1, spin) = st;
          dt.prep2.iap(n, ist, is1, spin) = sp;
          st += dt.maxdettrou(n, ist, is1, std::abs(spin));
          sp += dt.maxdetpart(n, ist, is1, std::abs(spin));
        }
      }
    }
}

// Offsets of the alpha-symmetry groups inside every active class.
void active_offsets(Run& run, Mode mode) {
  DetRecords& dt = run.dets;
  const int nsym = run.sym.nsym, noac = run.cs.noac;
  const int nca0 = run.prep.nca0, ncb0 = run.prep.ncb0, lev = level(mode);
  dt.prep2.iadc.fill(0);
  for (int isc = 1; isc <= nsym; ++isc)
    for (int nelc = -2; nelc <= 2; ++nelc)
      for (int nca = nca0 - lev; nca <= nca0 + lev; ++nca) {
        const int ncb = nelc + nca0 + ncb0 - nca;
        const int dspin = nca - ncb - dt.cas_spin;
        if (nca < 0 || nca > noac || ncb < 0 || ncb > noac || std::abs(dspin) > lev) continue;
        const int ispc1 = run.util(30 + dspin);
        int sum = 0;
        for (int isa = 1; isa <= nsym; ++isa) {
          dt.prep2.iadc(isc, isa, nca, ncb) = sum;
          sum += dt.mxdetc.maxca(nelc, isc, isa, ispc1);
        }
      }
}

// Rank of every active string among the strings of its symmetry and count.
void string_ranks(Run& run) {
  DetRecords& dt = run.dets;
  Adrsym& a = dt.adrsym;
  const int noac = run.cs.noac;
  a.irangs.fill(0);
  a.nbs.fill(0);
  for (int s = 1; s <= 8; ++s) a.nbs(s, 0) = 1;
  for (int ial = 0; ial <= noac && ial <= run.prep.ncb0 + 2; ++ial) {
    int count[9] = {};
    int nsub = 0;
    combin(dt.comb.data(), noac, ial, nsub, kLdim, kMaxRows);
    for (int r = 1; r <= nsub; ++r) {
      const int* pos = &dt.comb(1, r);
      const int s = string_symmetry(run, pos, ial);
      int irang = 0;
      subset_rank(run, ial, pos, irang);
      a.irangs(irang, ial) = ++count[s];
    }
    for (int s = 1; s <= 8; ++s)
      if (count[s] > 0) a.nbs(s, ial) = count[s];
  }
}

// Configurations of one or two holes (or particles) from per-symmetry
// orbital counts n: two of the same spin are counted once per unordered pair,
// under the smaller symmetry; two of opposite spins once per ordered pair.
void pair_counts(Run& run, Arr4<int, 1, 2, 1, 8, 1, 8, 0, 1>& t, const Arr1<int, 1, 8>& n) {
  const int nsym = run.sym.nsym;
  t.fill(0);
  for (int s = 1; s <= nsym; ++s) t(1, s, s, 1) = n(s);
  for (int ist = 1; ist <= nsym; ++ist)
    for (int is1 = 1; is1 <= nsym; ++is1) {
      const int is2 = run.sym.mult(ist, is1);
      if (is1 == is2)
        t(2, ist, is1, 1) = n(is1) * (n(is1) - 1) / 2;
      else if (is1 < is2)
        t(2, ist, is1, 1) = n(is1) * n(is2);
      t(2, ist, is1, 0) = n(is1) * n(is2);
    }
}

// Whether the mode keeps the hole/particle counts (nt, np) of a class;
// PERT keeps two holes with two particles only on an active part of the
// state's own symmetry.
bool keeps(const Run& run, Mode mode, int nt, int np, int dspin, int isc, int symmetry) {
  if (mode == Mode::Pert && nt == 2 && np == 2) return dspin == 0 && isc == symmetry;
  if (mode == Mode::Ddci || mode == Mode::DdciLow) return !(nt == 2 && np == 2);
  if (mode == Mode::Ddc2) return nt + np <= 2;
  if (!run.prep.ymono && run.prep.ycas1) return nt == 0 && np == 0;
  if (run.prep.ymono) return nt <= 1 && np <= 1;
  return true;
}

}  // namespace

void combin(int* list, int n, int k, int& count, int ldim, int maxrows) {
  count = 0;
  if (k == 0) {
    count = 1;
    return;
  }
  if (k < 0 || k > n) return;
  int cur[kMaxActive];
  for (int j = 0; j < k; ++j) cur[j] = j + 1;
  for (;;) {
    if (count == maxrows || k > ldim) {
      run_list_full(n, k, maxrows);
    }
    int* row = list + static_cast<long>(count) * ldim;
    for (int j = 0; j < k; ++j) row[j] = cur[j];
    ++count;
    int j = k - 1;
    while (j >= 0 && cur[j] == n - k + j + 1) --j;
    if (j < 0) return;
    ++cur[j];
    for (int m = j + 1; m < k; ++m) cur[m] = cur[m - 1] + 1;
  }
}

// Lexicographic rank of an ascending k-subset x(1..k) of {1..n}:
//   rank = C(n,k) - sum_j C(n - x(j), k - j + 1),
// one term per position, so the weights are a table of (position, value).
void rang0(Run& run, int n, int k) {
  if (k < 1) return;
  const auto& c = run.combs.c;
  auto& z = run.dets.z;
  for (int j = 1; j <= k; ++j)
    for (int x = 1; x <= kMaxActive; ++x) {
      const bool possible = x >= j && x <= n - k + j;
      z(j, x, k) = possible ? (j == 1 ? c(n, k) - 1 : 0) - c(n - x, k - j + 1) : 0;
    }
}

void maxdetca(Run& run) {
  static constexpr int kAll[13][2] = {{0, 0},  {-1, 0}, {0, -1}, {1, 0},  {0, 1},
                                      {-1, 1}, {1, -1}, {-2, 0}, {0, -2}, {2, 0},
                                      {0, 2},  {1, 1},  {-1, -1}};
  static constexpr int kTriple[4][2] = {{-2, 1}, {2, -1}, {-1, 2}, {1, -2}};
  static constexpr int kQuad[2][2] = {{-2, 2}, {2, -2}};
  const Mode mode = mode_of(run.prep.gener.view());
  run.dets.mxdetc.maxc.fill(0);
  run.dets.mxdetc.maxca.fill(0);
  auto visit = [&](const int (*off)[2], int n) {
    for (int k = 0; k < n; ++k) {
      const int na = run.prep.nca0 + off[k][0], nb = run.prep.ncb0 + off[k][1];
      if (na >= 0 && na <= run.cs.noac && nb >= 0 && nb <= run.cs.noac) sub_mdc(run, na, nb);
    }
  };
  visit(kAll, 13);
  if (mode == Mode::Ddci || mode == Mode::Tous || mode == Mode::Ddc2) visit(kTriple, 4);
  if (mode == Mode::Tous) visit(kQuad, 2);
}

// Every alpha string of na electrons pairs with every beta string of nb: the
// class counts are products of the strings counted per symmetry.
void sub_mdc(Run& run, int na, int nb) {
  DetRecords& dt = run.dets;
  auto per_symmetry = [&](int ne, long long* count) {
    int nsub = 0;
    combin(dt.comb.data(), run.cs.noac, ne, nsub, kLdim, kMaxRows);
    for (int r = 1; r <= nsub; ++r) ++count[string_symmetry(run, &dt.comb(1, r), ne)];
  };
  long long ca[9] = {}, cb[9] = {};
  per_symmetry(na, ca);
  per_symmetry(nb, cb);
  const int nelc = na + nb - run.prep.nca0 - run.prep.ncb0;
  if (nelc < -2 || nelc > 2)
    fio::stop_text(run.io, "22",
                   "the active space of the run description " + run.io.name(kUnitVrt) +
                       " asks for strings of " + std::to_string(na) + " and " +
                       std::to_string(nb) + " electrons, more than 2 away from NELAC=" +
                       std::to_string(run.cs.nelac));
  const int ispc1 = run.util(30 + na - nb - dt.cas_spin);
  for (int isa = 1; isa <= 8; ++isa)
    for (int isb = 1; isb <= 8; ++isb) {
      if (ca[isa] == 0 || cb[isb] == 0) continue;
      const int isc = run.sym.mult(isa, isb);
      const int n = static_cast<int>(ca[isa] * cb[isb]);
      dt.mxdetc.maxca(nelc, isc, isa, ispc1) += n;
      dt.mxdetc.maxc(nelc, isc, ispc1) += n;
    }
}

void maxdett(Run& run) { pair_counts(run, run.dets.maxdettrou, run.sy2.nts); }

void maxdetp(Run& run) { pair_counts(run, run.dets.maxdetpart, run.sy2.nps); }

void categ(Run& run) {
  DetRecords& dt = run.dets;
  Prep& p = run.prep;
  const int nsym = run.sym.nsym;
  p.nptot = 0;
  for (int s = 1; s <= 8; ++s) p.nptot += run.sy2.nps(s);

  CoMax& cm = dt.co_max;
  cm.maxtt.fill(0);
  cm.maxpp.fill(0);
  for (int s = 1; s <= nsym; ++s) cm.maxpp(0, s, 0) = cm.maxpp(0, s, 1) = 1;

  // Hole categories: none, then one hole by symmetry and spin, then two.
  dt.icatt.fill(-10);
  dt.icatt(0, 1, 0) = 1;
  int cat = 1;
  for (int spin : {-1, 1})
    for (int ist = 1; ist <= nsym; ++ist) dt.icatt(1, ist, spin) = ++cat;
  for (int spin : {-1, 0, 1})
    for (int ist = 1; ist <= nsym; ++ist) dt.icatt(2, ist, spin) = ++cat;

  for (int n = 1; n <= 2; ++n)
    for (int j = 0; j <= 1; ++j)
      for (int s = 1; s <= nsym; ++s)
        for (int is1 = 1; is1 <= nsym; ++is1) {
          cm.maxtt(n, s, j) += dt.maxdettrou(n, s, is1, j);
          cm.maxpp(n, s, j) += dt.maxdetpart(n, s, is1, j);
        }

  block_offsets(run, run.cs.is0, dt.blocks);
}

void block_offsets(Run& run, int symmetry, BlockTable& t) {
  const DetRecords& dt = run.dets;
  const CoMax& cm = dt.co_max;
  const int nsym = run.sym.nsym;
  const Prep& p = run.prep;
  const Mode mode = mode_of(p.gener.view());
  t.symmetry = symmetry;
  // Blocks in address order: nelc, then the mode's spin indices, the active
  // symmetry, the hole count, the hole symmetry and the hole spin.  Particle
  // spin and symmetry follow from spin and symmetry conservation.
  t.ioff.fill(0);
  t.nblk.fill(0);
  long long total = 0;
  for (int nelc = -2; nelc <= 2; ++nelc) {
    int nl = 0, list[5];
    vispc(run, nelc, nl, list, p.gener.view());
    for (int l = 0; l < nl; ++l) {
      const int ispc1 = list[l];
      const int dspin = run.util(13 + 5 * nelc + ispc1);
      for (int isc = 1; isc <= nsym; ++isc) {
        const long long maxc = dt.mxdetc.maxc(nelc, isc, ispc1);
        if (maxc == 0) continue;
        if (nelc == -2 && run.cs.nelac == 2 && p.nca0 + dspin != p.ncb0) continue;
        for (int nt = std::max(nelc, 0); nt <= std::min(nelc + 2, 2); ++nt) {
          const int np = nt - nelc;
          if (!keeps(run, mode, nt, np, dspin, isc, symmetry)) continue;
          for (int ist = 1; ist <= (nt == 0 ? 1 : nsym); ++ist)
            for (int s = (nt == 0 ? 0 : -1); s <= (nt == 0 ? 0 : 1); ++s) {
              if (nt == 1 && s == 0) continue;
              const long long holes = nt == 0 ? 1 : cm.maxtt(nt, ist, std::abs(s));
              const int ps = nt * s - dspin;
              const int isp = run.sym.mult(symmetry, run.sym.mult(ist, isc));
              if (std::abs(ps) > 2) continue;
              long long parts = 1;
              if (np == 0) {
                if (ps != 0 || isp != 1) continue;
              } else {
                parts = cm.maxpp(np, isp, std::abs(ps / np));
              }
              const int icateg = dt.icatt(nt, ist, s);
              const long long size = parts * holes * maxc;
              t.ioff(nelc, isc, ispc1, icateg) = static_cast<int>(total);
              t.nblk(nelc, isc, ispc1, icateg) = static_cast<int>(size);
              total += size;
              // Addresses are 4-byte integers.
              verdim(run, "prepad  espace CI trop grand :  ntotal=", total, INT_MAX,
                     "the size of the CI space of " + gener_text(run),
                     "addresses are 4-byte integers");
            }
        }
      }
    }
  }
  t.ntotal = total;
}

void vispc(Run&, int nelc, int& n, int* list, std::string_view gener) {
  // Spin indices per |nelc| = 0, 1, 2; a list ends at the first 9.
  using Lists = int[3][6];
  static constexpr Lists kCas{{0, 9}, {0, 9}, {0, 9}};
  static constexpr Lists kNarrow{{-1, 0, 1, 9}, {-1, 1, 9}, {-1, 0, 1, 9}};           // PERT, DDci
  static constexpr Lists kWide{{-1, 0, 1, 9}, {-2, -1, 1, 2, 9}, {-1, 0, 1, 9}};      // DDCI, DDC2, MONO
  static constexpr Lists kTous{{-2, -1, 0, 1, 2, 9}, {-2, -1, 1, 2, 9}, {-1, 0, 1, 9}};
  const Lists* l = nullptr;
  switch (mode_of(gener)) {
    case Mode::Cas: l = &kCas; break;
    case Mode::Pert:
    case Mode::DdciLow: l = &kNarrow; break;
    case Mode::Ddci:
    case Mode::Ddc2:
    case Mode::Mono: l = &kWide; break;
    case Mode::Tous: l = &kTous; break;
    case Mode::Other: break;
  }
  n = 0;
  if (l == nullptr || nelc < -2 || nelc > 2) return;
  const int* row = (*l)[std::abs(nelc)];
  while (row[n] != 9) {
    list[n] = row[n];
    ++n;
  }
}

void prepad(Run& run) {
  check_active_electrons(run);
  run.dets.cas_spin = run.prep.nca0 - run.prep.ncb0;
  reference_maps(run);
  run.io.list(kUnitReport, {std::string(53, '-')});
  orbital_classes(run);
  if (multireference(run.prep.gener)) {
    prepads(run);
    return;
  }
  const std::string g = "gener='" + gener_text(run) + "'";
  const Mode mode = mode_of(run.prep.gener.view());
  if (mode == Mode::Other) {
    run.io.list(kUnitReport, {"mode de generation inconnu : ", g});
    refuse(run, {"modes connus : CAS , PERT, DDCI, DDci, DDC2, TOUS, MONO, MR..."},
           "the run description " + run.io.name(kUnitVrt) + " gives GENER='" + gener_text(run) +
               "', no generation mode this program knows (CAS, PERT, DDCI, DDci, DDC2, TOUS, "
               "MONO, or one beginning with MR)");
  }
  for (int k = 1; k <= run.cs.noac; ++k) rang0(run, run.cs.noac, k);
  maxdetca(run);
  maxdett(run);
  maxdetp(run);
  pair_offsets(run);
  active_offsets(run, mode);
  string_ranks(run);
  categ(run);
}

}  // namespace ciprop
