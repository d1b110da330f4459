#include "density/absorption.hpp"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "core/print.hpp"
#include "density/computed_density.hpp"
#include "density/density_file.hpp"
#include "density/moments.hpp"
#include "density/results_file.hpp"
#include "density/transition_density.hpp"
#include "detspace/detlist.hpp"
#include "fortio/format.hpp"

namespace ciprop {

namespace {

// Root `root` of the second vector file into `ket`, as the first listed root
// reaches its half of the work array: read (negated), gathered into address
// order through "IADRV", brought to the ascending-product phase with the
// phases that the check of its list took.
void load_ket(Run& run, int root, int n, double* staging, double* ket) {
  const std::vector<signed char>& phase = run.dets.list_phases;
  run.io.rewind(kUnitVecB);
  read_head(run, kUnitVecB, root);
  for (int k = 1; k < root; ++k) run.io.skip_record(kUnitVecB);
  read_negated(run, staging, n, kUnitVecB);
  permute_by_address(run, staging, ket, n);
  for (int i = 0; i < n; ++i) ket[i] *= phase[static_cast<size_t>(i)];
}

// How many listed roots one pass holds beside the work array: as many as the
// memory allows (the bytes the run was given, else half of what the machine
// has available now), at least one.  Each costs its coefficients and what
// the kernel works on for it; a pass also needs a staging vector, the phases
// and the kernel's copies for the root already in the work array.
int kets_per_pass(Run& run, const AddressTables& tables, int n, int wanted) {
  const long long per_ket = 8LL * n + working_bytes_per_ket(tables, n);
  const long long fixed = 9LL * n + working_bytes_per_ket(tables, n);
  const long long budget = run.ket_memory > 0 ? run.ket_memory : available_memory() / 2;
  return static_cast<int>(std::clamp<long long>((budget - fixed) / per_ket, 1, wanted));
}

// Storage for `per_pass` kets and the staging vector; a machine that will
// not give it gets fewer kets per pass.
int size_ket_store(Run& run, int per_pass, int n) {
  for (;;) {
    try {
      run.kets.resize(static_cast<size_t>(per_pass) + 1, static_cast<size_t>(n));
      return per_pass;
    } catch (const std::bad_alloc&) {
      if (per_pass == 1)
        refuse(run, {"pas assez de memoire pour les racines de RACINES : mots", 2LL * n});
      per_pass = (per_pass + 1) / 2;
    }
  }
}

// The moments of a pair from its density over the CI orbitals.
Moments pair_moments(Run& run, const double* ro, int ld, const PairResult& pair,
                     std::vector<double>& full, std::vector<double>& sym_order) {
  expand_density(run, ro, ld, pair.state, full.data(), sym_order.data(), false);
  return moments_of(run, full.data(), pair.deltae);
}

}  // namespace

void check_listed_roots(Run& run) {
  if (run.ronum.nracines == 0) return;
  run.io.rewind(kUnitVecB);
  const VectorHead h = read_head(run, kUnitVecB, 1);
  run.io.rewind(kUnitVecB);
  for (int k = 1; k <= run.ronum.nracines; ++k)
    if (run.ronum.racines(k) > h.nvec)
      refuse(run, {"&RHO: RACINES(" + std::to_string(k) + ") = " +
                      std::to_string(run.ronum.racines(k)) + ", but the vector file " +
                      run.io.name(kUnitVecB) + " holds " + std::to_string(h.nvec) + " roots"});
}

void spectrum_densities(Run& run, const AddressTables& tables, const VectorHead& h1,
                        const VectorHead& h2) {
  const int listed = run.ronum.nracines;
  std::vector<PairResult>& pairs = run.dens.pairs;
  pairs.assign(static_cast<size_t>(listed), PairResult{});
  for (int k = 0; k < listed; ++k) {
    VectorHead hr = h2;
    const int root = run.ronum.racines(k + 1);
    hr.energy = h2.energies[static_cast<size_t>(root - 1)];
    pairs[size_t(k)] = {root, hr.energy, hr.energy - h1.energy,
                        same_state(run.ronum.numero(1), h1, root, hr), {}};
  }
  // A state density is the CI program's stored one unless CALCRO asks for
  // the computation, as in a run of that pair alone.
  auto stored = [&](int k) { return pairs[size_t(k)].state && run.rocal.calcro == 0; };

  const std::string dashes(54, '-');
  run.io.list(kUnitReport, {stored(0) ? "La matriz de densidad se lee del fichero dens de VORTA"
                                      : "La matriz de densidad se calcula"});
  run.io.list(kUnitReport, {dashes});
  double* a = run.espa.a();
  double* b = run.espa.b();
  // The listed roots past the first whose density is computed; the first
  // one is in the work array already.
  std::vector<int> loaded;
  for (int k = 1; k < listed; ++k)
    if (!stored(k)) loaded.push_back(k);
  const bool first = !stored(0);
  Vectors v = read_vectors(run, a, b, stored(0) ? "apres sgn" : "APRES SGN",
                           {.gather_first = first || !loaded.empty()});
  if (stored(0)) {
    restart_list(run, kUnitDetA);
    stored_density(run, run.dens.mat.data(), kMaxOrb);
    reintroduce(run, true);
  }

  std::vector<double> full(static_cast<size_t>(kMaxOrb) * kMaxOrb);
  std::vector<double> sym_order(full.size());
  if (first || !loaded.empty()) {
    const int n2 = v.ndim2;
    const ZeroVector ordered1 = first_vector_gathered(run, a, v);
    int per_pass = 0;
    if (!loaded.empty())
      per_pass = size_ket_store(
          run, kets_per_pass(run, tables, n2, static_cast<int>(loaded.size())), n2);
    double* staging = per_pass > 0 ? run.kets.slot(static_cast<size_t>(per_pass)) : nullptr;
    size_t next = 0;
    for (bool first_pass = true; first_pass || next < loaded.size(); first_pass = false) {
      std::vector<CiVector> kets;
      std::vector<int> which;
      if (first_pass && first) {
        kets.push_back({b, n2, v.isym2});
        which.push_back(0);
      }
      for (int s = 0; s < per_pass && next < loaded.size(); ++s, ++next) {
        double* ket = run.kets.slot(static_cast<size_t>(s));
        load_ket(run, pairs[size_t(loaded[next])].root, n2, staging, ket);
        kets.push_back({ket, n2, v.isym2});
        which.push_back(loaded[next]);
      }
      ListOnUnit list1(run, kUnitDetA);
      const std::vector<TransitionDensity> t =
          transition_densities(tables, list1, {a, v.ndim1, v.isym1, ordered1.data()}, kets);
      for (size_t j = 0; j < t.size(); ++j) {
        PairResult& pair = pairs[size_t(which[j])];
        if (which[j] == 0) {
          for (int c = 1; c <= t[j].ro.n; ++c)
            for (int r = 1; r <= t[j].ro.n; ++r) run.dens.mat(r, c) = t[j].ro(r, c);
          run.dens.connected = t[j].connected;
          reintroduce(run, pair.state);
        } else {
          pair.moments = pair_moments(run, t[j].ro.v.data(), t[j].ro.n, pair, full, sym_order);
        }
      }
      ++run.dens.passes;
    }
    run.kets.resize(0, 0);
  }

  // The stored density of root numero(1) for every other listed root that
  // is that same state.
  std::vector<double> ro;
  for (int k = 1; k < listed; ++k) {
    if (!stored(k)) continue;
    if (ro.empty()) {
      ro.assign(full.size(), 0.0);
      stored_density(run, ro.data(), kMaxOrb);
    }
    pairs[size_t(k)].moments =
        pair_moments(run, ro.data(), kMaxOrb, pairs[size_t(k)], full, sym_order);
  }
}

void spectrum_table(Run& run) {
  if (run.ronum.nracines == 0) return;
  std::vector<PairResult>& pairs = run.dens.pairs;
  pairs.front().moments = run.dens.moments;
  const bool dipoles = run.dens.moments.dipoles;
  run.io.rewind(kUnitVecA);
  const double e1 = read_head(run, kUnitVecA, run.ronum.numero(1)).energy;
  run.io.rewind(kUnitVecA);
  std::string energy = fio::format_text("(F20.12)", {e1});
  energy.erase(0, energy.find_first_not_of(' '));
  run.io.list(kUnitReport, {" "});
  std::string title(" spectre : racine ");
  title.append(std::to_string(run.ronum.numero(1))).append(" de ").append(run.io.name(kUnitVecA));
  title.append(", energie ").append(energy).append(" hartree");
  run.io.write_line(kUnitReport, title);
  std::string count(" ");
  count.append(std::to_string(pairs.size())).append(" racine(s) de ");
  count.append(run.io.name(kUnitVecB)).append(", densites calculees en ");
  count.append(std::to_string(run.dens.passes)).append(" passage(s)");
  run.io.write_line(kUnitReport, count);
  // Columns: root (I7), energy (F22.12), dE in hartree (F15.10) and in eV
  // (F14.8), wavelength (F14.3), |mu|**2 and f (E22.14 each); a state shows
  // "etat" for the wavelength and its total dipole (3F14.8) instead.
  fio::Items head;
  head << "racine" << "energie (hartree)" << "dE (hartree)" << "dE (eV)" << "lambda (nm)";
  if (dipoles) head << "|mu|**2 (u.a.)" << "force d'oscil.";
  run.io.write(kUnitReport, dipoles ? "(1X,A7,A22,A15,A14,A14,2A22)" : "(1X,A7,A22,A15,A14,A14)",
               head);
  for (const PairResult& p : pairs) {
    const Moments& m = p.moments;
    fio::Items row;
    row << p.root << p.energy << p.deltae << p.deltae * kEvPerHartree;
    if (p.state) {
      row << "etat";
      if (dipoles)
        for (int k = 0; k < 3; ++k) row << m.dip_nuc[k] + m.dip_el[k];
      run.io.write(kUnitReport, dipoles ? "(1X,I7,F22.12,F15.10,F14.8,A14,3F14.8)"
                                        : "(1X,I7,F22.12,F15.10,F14.8,A14)",
                   row);
      continue;
    }
    // A wavelength for emission too (the root below root NUMERO(1)); none
    // for two roots of one energy.
    const std::string nm =
        p.deltae == 0.0 ? "-" : fio::format_text("(F14.3)", {kNmHartree / std::abs(p.deltae)});
    row << nm;
    if (dipoles) row << m.amu_el * m.amu_el << m.fosc;
    run.io.write(kUnitReport, dipoles ? "(1X,I7,F22.12,F15.10,F14.8,A14,2E22.14)"
                                      : "(1X,I7,F22.12,F15.10,F14.8,A14)",
                 row);
  }
  run.io.list(kUnitReport, {std::string(45, '*')});
}

}  // namespace ciprop
