#include "density/absorption.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/print.hpp"
#include "core/threads.hpp"
#include "density/computed_density.hpp"
#include "density/density_file.hpp"
#include "density/moments.hpp"
#include "density/natural_orbitals.hpp"
#include "density/results_file.hpp"
#include "density/absorption_picture.hpp"
#include "density/transition_density.hpp"
#include "detspace/detlist.hpp"
#include "detspace/substitution_parity.hpp"
#include "fortio/format.hpp"
#include "input/input_checks.hpp"

namespace ciprop {

namespace {

// Root `root` of the vector file on `unit` into x, negated as read_negated
// reads the chosen root.
void read_root(Run& run, int unit, int root, int n, double* x) {
  run.io.rewind(unit);
  read_head(run, unit, root);
  for (int k = 1; k < root; ++k) run.io.skip_record(unit);
  read_negated(run, x, n, unit);
}

// Root `root` of the second vector file into `ket`, as the first listed root
// reaches its half of the work array: read (negated), gathered into address
// order through "IADRV", brought to the ascending-product phase with the
// phases that the check of its list took.
void load_ket(Run& run, int root, int n, double* staging, double* ket) {
  const std::vector<signed char>& phase = run.dets.list_phases;
  read_root(run, kUnitVecB, root, n, staging);
  permute_by_address(run, staging, ket, n);
  for (int i = 0; i < n; ++i) ket[i] *= phase[static_cast<size_t>(i)];
}

// The bytes the listed roots may take at once beside the work array: those
// the run was given, else half of what the machine has available now.
long long root_memory(Run& run) {
  return run.ket_memory > 0 ? run.ket_memory : available_memory() / 2;
}

// How many listed roots one pass holds beside the work array: as many as the
// memory allows, at least one.  Each costs its coefficients and what the
// kernel works on for it; a pass also needs a staging vector, the phases
// and the kernel's copies for the root already in the work array.
int kets_per_pass(Run& run, const AddressTables& tables, int n, int wanted) {
  const long long per_ket = 8LL * n + working_bytes_per_ket(tables, n);
  const long long fixed = 9LL * n + working_bytes_per_ket(tables, n);
  return static_cast<int>(std::clamp<long long>((root_memory(run) - fixed) / per_ket, 1, wanted));
}

// How many roots of the first file past root NUMERO(1) a batch holds in the
// memory the kets leave (`held` bytes of it taken): each costs its
// coefficients in the order of its list and in the address order of its
// space, and a flag per determinant while its list is checked.
int bras_per_batch(Run& run, int n, long long held, int wanted) {
  const long long per_bra = 16LL * n + n / 8 + 1;
  return static_cast<int>(std::clamp<long long>((root_memory(run) - held) / per_bra, 1, wanted));
}

// Storage for `count` vectors of n coefficients (and `extra` more); a
// machine that will not give it gets fewer per pass.
int size_store(Run& run, KetStore& store, int count, int extra, int n, const char* key) {
  for (;;) {
    try {
      store.resize(static_cast<size_t>(count + extra), static_cast<size_t>(n));
      return count;
    } catch (const std::bad_alloc&) {
      if (count == 1)
        refuse(run, {std::string("pas assez de memoire pour les racines de ") + key + " : mots",
                     2LL * n},
               std::string("not enough memory for one root of ") + key + " beside the run (" +
                   std::to_string((16LL * n + (1 << 20) - 1) >> 20) +
                   " MB); run on a machine with more memory");
      count = (count + 1) / 2;
    }
  }
}

// The moments of a pair from its density over the CI orbitals.  A pair
// reported the other way round (from the lower root of one CI run) has the
// transposed density, whose moments are the same for the symmetric dipole
// and quadrupole operators: only its energy difference, and so the sign of
// its oscillator strength, is the pair's own.  With ORBNAT=2 the pair's
// orbital files are written from the density over all orbitals at once, so
// that no pair's density outlives its moments.
Moments pair_moments(Run& run, const double* ro, int ld, PairResult& pair, bool turned,
                     std::vector<double>& full, std::vector<double>& sym_order) {
  expand_density(run, ro, ld, pair.state, full.data(), sym_order.data(), false);
  if (run.ronum.orbnat == 2)
    pair.orbitals = pair_orbital_files(run, full.data(), kMaxOrb, pair, turned);
  return moments_of(run, full.data(), pair.deltae);
}

// Whether both vector files hold the same bytes: one file under two names,
// or a copy of it.
bool same_vector_files(Run& run, const VectorHead& h1, const VectorHead& h2) {
  std::error_code ec;
  if (std::filesystem::equivalent(run.io.name(kUnitVecA), run.io.name(kUnitVecB), ec)) return true;
  if (h1.ndim != h2.ndim || h1.energies != h2.energies) return false;
  const size_t cap = 8 * static_cast<size_t>(std::max(h1.ndim, kMaxRoots));
  std::vector<unsigned char> r1(cap), r2(cap);
  run.io.rewind(kUnitVecA);
  run.io.rewind(kUnitVecB);
  bool same = true;
  for (;;) {
    size_t n1 = 0, n2 = 0;
    const auto got1 = run.io.read_record_or_end(kUnitVecA, r1.data(), cap, &n1);
    const auto got2 = run.io.read_record_or_end(kUnitVecB, r2.data(), cap, &n2);
    if (got1 != got2 || got1 == fio::Units::RecordRead::kTooLong || n1 != n2 ||
        std::memcmp(r1.data(), r2.data(), n1) != 0) {
      same = false;
      break;
    }
    if (got1 == fio::Units::RecordRead::kEnd) break;
  }
  run.io.rewind(kUnitVecA);
  run.io.rewind(kUnitVecB);
  return same;
}

// The pairs of a spectrum, each listed root of the first file (root
// NUMERO(1) alone without "RACINESA") against each listed root of the
// second, in the lists' order.  When both files are one CI run (one list
// and one vector file, or byte-identical copies) a pair of two roots is one
// transition whichever file each root is taken from: it is formed once,
// and reported from the lower root to the higher.  Its density is always
// formed as listed (a root of the first file against one of the second);
// `formed` receives those roots.
std::vector<PairResult> form_pairs(Run& run, const VectorHead& h1, const VectorHead& h2,
                                   std::vector<std::pair<int, int>>& formed) {
  const Ronum& r = run.ronum;
  const int bras = r.nracinesa > 0 ? r.nracinesa : 1;
  const bool one_run =
      r.nracinesa > 0 && run.dets.first_list_same && same_vector_files(run, h1, h2);
  run.dens.one_run = one_run;
  std::vector<char> met(one_run ? static_cast<size_t>(kMaxRoots + 1) * (kMaxRoots + 1) : 0);
  std::vector<PairResult> pairs;
  for (int ka = 1; ka <= bras; ++ka) {
    for (int kb = 1; kb <= r.nracines; ++kb) {
      const int a = r.nracinesa > 0 ? r.racinesa(ka) : r.numero(1), b = r.racines(kb);
      const double ea = h1.energies[size_t(a - 1)], eb = h2.energies[size_t(b - 1)];
      const bool turned = one_run && (eb < ea || (eb == ea && b < a));
      if (one_run) {
        char& seen = met[static_cast<size_t>(turned ? b : a) * (kMaxRoots + 1) + (turned ? a : b)];
        if (seen) continue;
        seen = 1;
      }
      PairResult p;
      p.root1 = turned ? b : a;
      p.energy1 = turned ? eb : ea;
      p.root = turned ? a : b;
      p.energy = turned ? ea : eb;
      p.deltae = p.energy - p.energy1;
      p.state = same_state(a, VectorHead{0, 0, ea, {}}, b, VectorHead{0, 0, eb, {}});
      pairs.push_back(p);
      formed.emplace_back(a, b);
    }
  }
  return pairs;
}

// The roots of the first file of a batch, past root NUMERO(1) (in x, in the
// order of the first list, as read), brought to the ascending-product phase
// and gathered into the address order of their space, as root NUMERO(1)
// was.  When the first list took the second one's check (vector 1 gathered
// through "IADRV"), its phases and places are the check's; otherwise the
// first list is read once for the whole batch, and checked again for each
// root as it was for root NUMERO(1).
std::vector<ZeroVector> phase_and_gather(Run& run, Vectors& v, bool via_iadrv,
                                         const std::vector<double*>& x,
                                         std::vector<signed char>& phases) {
  const int n = v.ndim1;
  std::vector<ZeroVector> ordered;
  if (x.empty()) return ordered;
  if (via_iadrv) {
    if (phases.empty()) phases = in_list_order(run, run.dets.list_phases);
    for (double* c : x) {
      in_shares(n, 1 << 16, [&](int lo, int hi) {
        for (int i = lo; i < hi; ++i) c[i] *= phases[size_t(i)];
      });
      ordered.emplace_back(static_cast<size_t>(n));
      permute_by_address(run, c, ordered.back().data(), n);
    }
    return ordered;
  }
  if (!v.space1) v.space1 = make_address_tables(run, v.isym1);
  const std::string list = run.io.name(kUnitDetA);
  std::vector<std::unique_ptr<FirstListGather>> gathers;
  for (double* c : x)
    gathers.push_back(std::make_unique<FirstListGather>(*v.space1, list, CiVector{c, n, v.isym1}));
  TwoSlots<int> at_in(ListBatch::kCapacity);
  TwoSlots<signed char> phase_in(ListBatch::kCapacity);  // 0 for a determinant that cannot be read
  std::vector<int> at(ListBatch::kCapacity);
  const FirstListGather& places = *gathers.front();
  restart_list(run, kUnitDetA);
  ListAhead reading(
      run, kUnitDetA, n, [&](int s, const ListBatch& batch, long long, int lo, int hi) {
        for (int j = lo; j < hi; ++j) {
          const int ne = batch.count(j);
          const int *p = batch.holes(j), *q = batch.parts(j);
          at_in[s][j] = places.place(ne, p, q);
          const bool readable = at_in[s][j] != 0 || list_readable(run, ne, p, q);
          phase_in[s][j] = static_cast<signed char>(readable ? list_phase(run, ne, p, q) : 0);
        }
      });
  for (int i0 = 0; i0 < n;) {
    const ListBatch& batch = reading.next();
    const int m = batch.size();
    const signed char* phase = phase_in[reading.slot()];
    for (int j = 0; j < m; ++j)
      if (phase[j] == 0)
        refuse_listed(run, list, i0 + j + 1,
                      list_defect(run, batch.count(j), batch.holes(j), batch.parts(j)));
    for (size_t k = 0; k < x.size(); ++k) {
      double* c = x[k] + i0;
      for (int j = 0; j < m; ++j) c[j] *= phase[j];
      // The gather completes the places it is given.
      std::copy_n(at_in[reading.slot()], m, at.begin());
      gathers[k]->add_batch(i0 + 1, m, at.data(), batch, c);
    }
    batch.raise_fault(run, kUnitDetA);
    i0 += m;
    if (batch.ended() && i0 < n)
      refuse_list(run, list,
                  "it ends after " + std::to_string(i0) + " determinants, its vector has " +
                      std::to_string(n));
  }
  for (auto& g : gathers) ordered.push_back(g->finish());
  return ordered;
}

// The computed densities of a spectrum: every root of the first file with a
// computed pair is a bra, every root of the second a ket.  The kets are
// held as many per pass as the memory allows (root NUMERO(2) stays in B);
// the bras past root NUMERO(1) (in A) are taken in batches in the memory
// the kets leave.  Each bra of a batch meets the kets of each pass in one
// pass of the density kernel.
class PairDensities {
 public:
  PairDensities(Run& run, const AddressTables& tables, Vectors& v, const ZeroVector& ordered1,
                bool via_iadrv, const std::vector<std::pair<int, int>>& formed,
                const std::vector<bool>& computed)
      : run_(run),
        tables_(tables),
        v_(v),
        ordered1_(ordered1),
        via_iadrv_(via_iadrv),
        full_(static_cast<size_t>(kMaxOrb) * kMaxOrb),
        sym_order_(full_.size()) {
    const int bra0 = run.ronum.numero(1), ket0 = run.ronum.numero(2);
    for (size_t k = 0; k < formed.size(); ++k) {
      if (!computed[k]) continue;
      const auto [a, b] = formed[k];
      pairs_of_[formed[k]].push_back(k);
      if (a != bra0 && std::find(bras_.begin(), bras_.end(), a) == bras_.end()) bras_.push_back(a);
      if (b != ket0 && std::find(kets_.begin(), kets_.end(), b) == kets_.end()) kets_.push_back(b);
    }
  }

  void run() {
    const int n1 = v_.ndim1, n2 = v_.ndim2;
    const int wanted = static_cast<int>(kets_.size());
    const int per_pass = wanted == 0
                             ? 0
                             : size_store(run_, run_.kets, kets_per_pass(run_, tables_, n2, wanted),
                                          1, n2, "RACINES");
    const int groups = per_pass == 0 ? 1 : (wanted + per_pass - 1) / per_pass;
    const long long held =
        static_cast<long long>(per_pass + 1) * (8LL * n2 + working_bytes_per_ket(tables_, n2));
    KetStore bra_store;
    const int per_batch =
        bras_.empty() ? 0
                      : size_store(run_, bra_store,
                                   bras_per_batch(run_, n1, held, static_cast<int>(bras_.size())),
                                   0, n1, "RACINESA");
    std::vector<signed char> phases;
    int loaded = -1;
    size_t next = 0;
    for (bool first = true; first || next < bras_.size(); first = false) {
      // The batch: root NUMERO(1) in the first one, then the next bras.
      std::vector<int> roots;
      std::vector<double*> read;
      if (first) roots.push_back(run_.ronum.numero(1));
      for (int s = 0; s < per_batch && next < bras_.size(); ++s, ++next) {
        roots.push_back(bras_[next]);
        read.push_back(bra_store.slot(static_cast<size_t>(s)));
        read_root(run_, kUnitVecA, bras_[next], n1, read.back());
      }
      const std::vector<ZeroVector> gathered = phase_and_gather(run_, v_, via_iadrv_, read, phases);
      std::vector<CiVector> bras;
      if (first) bras.push_back({run_.espa.a(), n1, v_.isym1, ordered1_.data()});
      for (size_t s = 0; s < read.size(); ++s)
        bras.push_back({read[s], n1, v_.isym1, gathered[s].data()});
      for (int g = 0; g < groups; ++g) {
        if (loaded != g) load_group(g, per_pass);
        loaded = g;
        bool formed_any = false;
        for (size_t j = 0; j < bras.size(); ++j)
          formed_any |= bra_pass(roots[j], bras[j], g, per_pass);
        if (formed_any) ++run_.dens.passes;
      }
    }
    run_.kets.resize(0, 0);
  }

 private:
  void load_group(int g, int per_pass) {
    double* staging = run_.kets.slot(static_cast<size_t>(per_pass));
    for (int s = 0; s < per_pass && size_t(g * per_pass + s) < kets_.size(); ++s)
      load_ket(run_, kets_[size_t(g * per_pass + s)], v_.ndim2, staging,
               run_.kets.slot(static_cast<size_t>(s)));
  }

  // The densities of one bra against the kets of pass g that it is paired
  // with (and root NUMERO(2), in the first pass); false when there are none.
  bool bra_pass(int root, const CiVector& bra, int g, int per_pass) {
    std::vector<CiVector> kets;
    std::vector<int> which;
    auto take = [&](int ket, double* c) {
      if (!pairs_of_.contains({root, ket})) return;
      kets.push_back({c, v_.ndim2, v_.isym2});
      which.push_back(ket);
    };
    if (g == 0) take(run_.ronum.numero(2), run_.espa.b());
    for (int s = 0; s < per_pass && size_t(g * per_pass + s) < kets_.size(); ++s)
      take(kets_[size_t(g * per_pass + s)], run_.kets.slot(static_cast<size_t>(s)));
    if (kets.empty()) return false;
    ListOnUnit list1(run_, kUnitDetA);
    const std::vector<TransitionDensity> t = transition_densities(tables_, list1, bra, kets);
    std::vector<PairResult>& pairs = run_.dens.pairs;
    for (size_t j = 0; j < t.size(); ++j) {
      for (size_t k : pairs_of_.at({root, which[j]})) {
        if (k != 0) {
          pairs[k].moments = pair_moments(run_, t[j].ro.v.data(), t[j].ro.n, pairs[k],
                                          pairs[k].root1 != root, full_, sym_order_);
          continue;
        }
        // The first pair's density is the report's.
        for (int c = 1; c <= t[j].ro.n; ++c)
          for (int r = 1; r <= t[j].ro.n; ++r) run_.dens.mat(r, c) = t[j].ro(r, c);
        run_.dens.connected = t[j].connected;
        reintroduce(run_, pairs[0].state);
      }
    }
    return true;
  }

  Run& run_;
  const AddressTables& tables_;
  Vectors& v_;
  const ZeroVector& ordered1_;
  bool via_iadrv_;
  std::map<std::pair<int, int>, std::vector<size_t>> pairs_of_;  // (bra, ket) -> pairs
  std::vector<int> bras_;  // roots of the first file past NUMERO(1), in order
  std::vector<int> kets_;  // roots of the second file past NUMERO(2), in order
  std::vector<double> full_, sym_order_;
};

// The heading of a spectrum's table: the root of the first file and its
// energy, or the count of its listed roots.
void table_heading(Run& run) {
  std::string title(" spectre : ");
  if (run.ronum.nracinesa == 0) {
    run.io.rewind(kUnitVecA);
    const double e1 = read_head(run, kUnitVecA, run.ronum.numero(1)).energy;
    run.io.rewind(kUnitVecA);
    std::string energy = fio::format_text("(F20.12)", {e1});
    energy.erase(0, energy.find_first_not_of(' '));
    title.append("racine ").append(std::to_string(run.ronum.numero(1)));
    title.append(" de ").append(run.io.name(kUnitVecA));
    title.append(", energie ").append(energy).append(" hartree");
  } else {
    title.append(std::to_string(run.ronum.nracinesa)).append(" racine(s) de ");
    title.append(run.io.name(kUnitVecA)).append(" contre ");
    title.append(std::to_string(run.ronum.nracines)).append(" racine(s) de ");
    title.append(run.io.name(kUnitVecB));
  }
  run.io.write_line(kUnitReport, title);
}

// The table of the pairs.  Columns: with "RACINESA" the two roots of the
// pair (I7 each) and their energies (F22.12 each), else the root of the
// second file and its energy (I7, F22.12); then dE in hartree (F15.10) and
// in eV (F14.8), the wavelength (F14.3), |mu|**2 and f (E22.14 each); a
// state shows "etat" for the wavelength and its total dipole (3F14.8)
// instead.
void pairs_table(Run& run) {
  const std::vector<PairResult>& pairs = run.dens.pairs;
  const bool dipoles = pairs.front().moments.dipoles;
  const bool both = run.ronum.nracinesa > 0;
  run.io.list(kUnitReport, {" "});
  table_heading(run);
  std::string count(" ");
  if (both) {
    if (run.dens.one_run)
      run.io.write_line(kUnitReport, " " + run.io.name(kUnitVecA) + " et " +
                                         run.io.name(kUnitVecB) +
                                         " : un meme calcul, chaque paire une fois, de la racine "
                                         "la plus basse a la plus haute");
    count.append(std::to_string(pairs.size())).append(" paire(s)");
  } else {
    count.append(std::to_string(pairs.size())).append(" racine(s) de ");
    count.append(run.io.name(kUnitVecB));
  }
  count.append(", densites calculees en ");
  count.append(std::to_string(run.dens.passes)).append(" passage(s)");
  run.io.write_line(kUnitReport, count);
  const std::string roots = both ? "(1X,2A7,2A22," : "(1X,A7,A22,";
  const std::string rows = both ? "(1X,2I7,2F22.12," : "(1X,I7,F22.12,";
  fio::Items head;
  if (both)
    head << "depuis"
         << "vers"
         << "E depuis (hartree)"
         << "E vers (hartree)";
  else
    head << "racine"
         << "energie (hartree)";
  head << "dE (hartree)"
       << "dE (eV)"
       << "lambda (nm)";
  if (dipoles)
    head << "|mu|**2 (u.a.)"
         << "force d'oscil.";
  run.io.write(kUnitReport, roots + (dipoles ? "A15,A14,A14,2A22)" : "A15,A14,A14)"), head);
  for (const PairResult& p : pairs) {
    const Moments& m = p.moments;
    fio::Items row;
    if (both)
      row << p.root1 << p.root << p.energy1 << p.energy;
    else
      row << p.root << p.energy;
    row << p.deltae << p.deltae * kEvPerHartree;
    if (p.state) {
      row << "etat";
      if (dipoles)
        for (int k = 0; k < 3; ++k) row << m.dip_nuc[k] + m.dip_el[k];
      run.io.write(kUnitReport, rows + (dipoles ? "F15.10,F14.8,A14,3F14.8)" : "F15.10,F14.8,A14)"),
                   row);
      continue;
    }
    // A wavelength for emission too (a root below the first); none for two
    // roots of one energy.
    const std::string nm =
        p.deltae == 0.0 ? "-" : fio::format_text("(F14.3)", {kNmHartree / std::abs(p.deltae)});
    row << nm;
    if (dipoles) row << m.amu_el * m.amu_el << m.fosc;
    run.io.write(kUnitReport, rows + (dipoles ? "F15.10,F14.8,A14,2E22.14)" : "F15.10,F14.8,A14)"),
                 row);
  }
  run.io.list(kUnitReport, {std::string(45, '*')});
}

}  // namespace

void check_listed_roots(Run& run) {
  const struct {
    int unit;
    const char* key;
    int count;
    const Arr1<int, 1, kMaxListedRoots>& roots;
  } lists[] = {{kUnitVecB, "RACINES", run.ronum.nracines, run.ronum.racines},
               {kUnitVecA, "RACINESA", run.ronum.nracinesa, run.ronum.racinesa}};
  for (const auto& l : lists) {
    if (l.count == 0) continue;
    run.io.rewind(l.unit);
    const VectorHead h = read_head(run, l.unit, 1);
    run.io.rewind(l.unit);
    for (int k = 1; k <= l.count; ++k)
      if (l.roots(k) > h.nvec)
        refuse_input(run, "&RHO: " + std::string(l.key) + "(" + std::to_string(k) + ") = " +
                              std::to_string(l.roots(k)) + ", but the vector file " +
                              run.io.name(l.unit) + " holds " + std::to_string(h.nvec) +
                              " roots");
  }
}

void spectrum_densities(Run& run, const AddressTables& tables, const VectorHead& h1,
                        const VectorHead& h2) {
  std::vector<std::pair<int, int>> formed;
  run.dens.pairs = form_pairs(run, h1, h2, formed);
  std::vector<PairResult>& pairs = run.dens.pairs;
  // A state density is the CI program's stored one unless CALCRO asks for
  // the computation, as in a run of that pair alone.
  std::vector<bool> computed(pairs.size());
  for (size_t k = 0; k < pairs.size(); ++k) computed[k] = !pairs[k].state || run.rocal.calcro != 0;
  const bool any = std::find(computed.begin(), computed.end(), true) != computed.end();

  const std::string dashes(54, '-');
  run.io.list(kUnitReport,
              {computed[0] ? "La matriz de densidad se calcula"
                           : "La matriz de densidad se lee del fichero dens de VORTA"});
  run.io.list(kUnitReport, {dashes});
  Vectors v = read_vectors(run, run.espa.a(), run.espa.b(), computed[0] ? "APRES SGN" : "apres sgn",
                           {.gather_first = any});
  if (!computed[0]) {
    restart_list(run, kUnitDetA);
    stored_density(run, run.dens.mat.data(), kMaxOrb, run.ronum.numero(1));
    reintroduce(run, true);
  }
  if (any) {
    // Vector 1 took the second list's check, and so will the other roots
    // of its file.
    const bool via_iadrv = v.ordered1.has_value();
    const ZeroVector ordered1 = first_vector_gathered(run, run.espa.a(), v);
    PairDensities(run, tables, v, ordered1, via_iadrv, formed, computed).run();
  }

  // The stored density of its root for every other pair that is a state.
  std::vector<double> full(static_cast<size_t>(kMaxOrb) * kMaxOrb), sym_order(full.size()), ro;
  int ro_root = 0;
  for (size_t k = 1; k < pairs.size(); ++k) {
    if (computed[k]) continue;
    if (ro_root != pairs[k].root1) {
      ro.assign(full.size(), 0.0);
      stored_density(run, ro.data(), kMaxOrb, pairs[k].root1);
      ro_root = pairs[k].root1;
    }
    pairs[k].moments = pair_moments(run, ro.data(), kMaxOrb, pairs[k], false, full, sym_order);
  }
}

void spectrum_table(Run& run) {
  if (run.ronum.nracines == 0) return;
  std::vector<PairResult>& pairs = run.dens.pairs;
  PairResult& first = pairs.front();
  first.moments = run.dens.moments;
  // The first pair reported the other way round: the oscillator strength of
  // the opposite energy difference.
  if (first.root1 != run.ronum.numero(1)) first.moments.fosc = -first.moments.fosc;
  pairs_table(run);
  if (pairs.size() > 1) write_spectrum_picture(run);
}

}  // namespace ciprop
