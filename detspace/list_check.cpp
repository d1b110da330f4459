// The check of the stored determinant list: every determinant of the second
// list gets the address that this program's addressing gives it, and the
// addresses must be exactly 1 to ndet, each once.  The inverse table, address
// to position in the CI program's order, goes to "IADRV"; the vectors follow
// the file order, so the density stage finds a coefficient through it.
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "detspace/address_tables.hpp"
#include "detspace/detlist.hpp"
#include "detspace/reference_configurations.hpp"
#include "detspace/reorder.hpp"
#include "detspace/substitution_parity.hpp"
#include "core/print.hpp"
#include "core/threads.hpp"
#include "fortio/progress.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

namespace {

// No hole and no particle outside the active orbitals (the marker of a
// missing electron aside).
bool within_active(const Run& run, int n, const int* a, const int* b) {
  const int norb = run.orb.norb;
  auto active = [&](int so) { return so > 2 * norb || run.cs.itype(so > norb ? so - norb : so) == 2; };
  for (int k = 0; k < n; ++k)
    if (!active(a[k]) || !active(b[k])) return false;
  return true;
}

// A list that does not fit the space this run built from the run
// description and, in the multireference modes, from the references of
// "OCCMRS": the report's line, then what is wrong on standard error.
[[noreturn]] void refuse_space(Run& run, const fio::Items& line, int q) {
  run.io.list(kUnitReport, line);
  const std::string mode(run.prep.gener.trimmed());
  std::string why = "determinant list " + run.io.name(kUnitDetB) + ": determinant " +
                    std::to_string(q) + " lies outside the " + mode +
                    " space of the run description";
  if (multireference(run.prep.gener))
    why += " and the " + std::to_string(run.dets.mr.nref) +
           " references of \"OCCMRS\": the list and these references come from different CI "
           "runs; give the OCCMRS of the run that wrote the list";
  else
    why += ": the list and the run description come from different CI runs";
  fio::stop_error(run.io, why);
}

// "determinant 12 of the list detb", for the messages.
std::string list_entry(Run& run, int q) {
  return "determinant " + std::to_string(q) + " of the list " + run.io.name(kUnitDetB);
}

// What a list that does not fit its run description comes from.
constexpr std::string_view kOtherRun =
    "the list and the run description (vrt) are not of the same CI run";

}  // namespace

void vermat(Run& run, const AddressTables& tables, int* iadrv,
            int* /*spin: no spin table is kept*/, unsigned char* seen, int& nmax) {
  const int ndet = run.det.ndet;
  run.det.ndetcas = 0;
  const bool diag = run.pr.nprint > 2;
  if (ndet < 0)
    refuse(run, {"nombre de determinants negatif : ndet", ndet},
           "the run description gives NDET=" + std::to_string(ndet) + " determinants");
  if (!(run.opt.calcul == "MD ")) run.io.open_scratch(kUnitMattemp, "Mattemp", fio::Form::Unformatted);
  run.io.open_scratch(kUnitIadrv, "IADRV", fio::Form::Unformatted);
  run.io.open_scratch(kUnitBid84, "BID84", fio::Form::Unformatted);

  // One bit per address: the flags of millions of determinants stay in the
  // caches, where a byte each would make nearly every look a miss.
  std::fill(seen, seen + (ndet + 7) / 8, 0);
  auto met = [&](int i) { return (seen[(i - 1) / 8] >> ((i - 1) % 8)) & 1; };
  // iadrv is not cleared: a list that passes the check is a permutation of
  // 1..ndet and writes every entry, and any other stops the run before
  // "IADRV" is written.  Its pages are first touched where the batches'
  // entries land, beside the reading of the next batch, not on one thread
  // ahead of the check.
  nmax = 0;
  int c = 0, q = 0, maxadr = 0;
  bool beyond = false;
  rew61(run);

  // The list is read in batches, one ahead (ListAhead): the addresses that
  // the tables give straight from the lists (a pure look at the tables) are
  // found by the run's workers as each batch is decoded, while the batch
  // before it is checked in list order, so that every message and every
  // refusal comes where a one-by-one reading would bring it.
  // The phases of the list are taken here, where each determinant is met
  // anyway: the density stage then reads only the determinants it prints.
  run.dets.list_phases.assign(size_t(ndet), 0);
  // Per buffer of the reading: each determinant's address, whether it stays
  // in the active orbitals, and its phase.
  TwoSlots<int> placed_in(ListBatch::kCapacity);
  TwoSlots<char> active_in(ListBatch::kCapacity);
  TwoSlots<signed char> phase_in(ListBatch::kCapacity);
  const bool listed = diag || run.pr.mprint(2) == 1;
  ListAhead reading(run, kUnitDetB, LLONG_MAX, [&](int s, const ListBatch& batch, long long, int lo, int hi) {
    for (int j = lo; j < hi; ++j) {
      const int n = batch.count(j);
      const int *h = batch.holes(j), *p = batch.parts(j);
      bool inside = false;
      const int iadr = listed ? 0 : tables.list_address(n, h, p, &inside);
      placed_in[s][j] = iadr;
      active_in[s][j] = iadr != 0 ? inside : within_active(run, n, h, p);
      // A determinant the tables place straight from its lists is readable.
      const bool readable = iadr != 0 || list_readable(run, n, h, p);
      phase_in[s][j] = static_cast<signed char>(readable ? list_phase(run, n, h, p) : 0);
    }
  });
  fio::Progress progress(run.io, "list check", ndet);
  int ierr = 0;
  SplitDet d;
  for (;;) {
    const ListBatch& batch = reading.next();
    const int m = batch.size();
    int* placed = placed_in[reading.slot()];
    const char* active = active_in[reading.slot()];
    const signed char* phase = phase_in[reading.slot()];
    const int q0 = q;  // determinants before the batch
    for (int j = 0; j < m; ++j) {
      // The flags of the addresses are met at random: those of a few
      // determinants further on are fetched ahead.
      if (j + 16 < m && placed[j + 16] > 0 && placed[j + 16] <= ndet)
        __builtin_prefetch(&seen[(placed[j + 16] - 1) / 8]);
      const int n = batch.count(j);
      const int* a = batch.holes(j);
      const int* b = batch.parts(j);
      progress.tick(q);
      nmax = std::max(nmax, n);
      ++c;
      ++q;
      if (c > kBlock) {
        ecri(run, run.dets.ijd.data(), kBlock, kUnitBid84);
        c = 1;
      }
      // The split form, for the determinants the tables do not place
      // straight from their lists, for the messages and for the listing:
      // trad and the tables word every refusal.
      bool split = false;
      auto split_form = [&]() -> const SplitDet& {
        if (!split) trad(run, n, a, b, d, ierr);
        split = true;
        return d;
      };
      int iadr = placed[j];
      if (iadr == 0) {
        split_form();
        if (ierr != 0) {
          // More than two holes or particles outside the active orbitals:
          // shown as the file gives it, since it has no split form.
          fio::Items line{"determinant hors de l'espace de la generation"};
          line << " trous";
          line.all(a, n);
          line << " particules";
          line.all(b, n);
          refuse_space(run, line << " numero" << q, q);
        }
        iadr = tables.address(d);
        if (iadr == 0) {
          // An address computed for such a determinant would be some other
          // determinant's, and the permutation could still look complete.
          fio::Items line{"determinant hors de l'espace de la generation"};
          describe(run, d, line);
          refuse_space(run, line << " numero" << q, q);
        }
      }
      if (split ? d.nt == 0 && d.np == 0 : active[j] != 0) ++run.det.ndetcas;
      maxadr = std::max(maxadr, iadr);
      run.dets.ijd(c) = iadr;

      if (listed) {
        fio::Items line{"numero", q, " iadr", iadr};
        describe(run, split_form(), line);
        run.io.list(kUnitReport, line);
        if (iadr != q && run.switches.mark_misplaced) run.io.list(kUnitReport, {"erreur"});
      }
      if (iadr >= 1 && iadr <= ndet && met(iadr)) {
        fio::Items line{"determinant deja vu"};
        describe(run, split_form(), line);
        refuse(run, line << " ndet" << q << " iadr1" << iadr,
               list_entry(run, q) + " is met a second time (address " + std::to_string(iadr) +
                   "): the list is damaged");
      }
      if (iadr < 1) {
        fio::Items line{"adresse nulle ou negative"};
        describe(run, split_form(), line);
        refuse(run, line << " numero,ndet" << q << ndet << " iadr1" << iadr,
               list_entry(run, q) + " gets the address " + std::to_string(iadr) + "; " +
                   std::string(kOtherRun));
      }
      if (iadr > ndet) {
        fio::Items line{"adresse plus grande que le nombre de determinants"};
        describe(run, split_form(), line);
        line << " numero,ndet" << q << ndet << " iadr1" << iadr;
        if (!diag)
          refuse(run, line,
                 list_entry(run, q) + " gets the address " + std::to_string(iadr) +
                     ", beyond the NDET=" + std::to_string(ndet) +
                     " determinants of the run description; " + std::string(kOtherRun));
        run.io.list(kUnitReport, line);
        beyond = true;
        placed[j] = 0;
        continue;
      }
      seen[(iadr - 1) / 8] |= static_cast<unsigned char>(1u << ((iadr - 1) % 8));
      placed[j] = iadr;
    }
    // The addresses of the batch are distinct: the threads write apart.
    in_shares(m, 4096, [&](int lo, int hi) {
      for (int j = lo; j < hi; ++j) {
        if (placed[j] == 0) continue;
        iadrv[placed[j] - 1] = q0 + j + 1;
        run.dets.list_phases[size_t(placed[j] - 1)] = phase[j];
      }
    });
    batch.raise_fault(run, kUnitDetB);
    if (batch.ended()) break;
  }

  if (beyond) {
    for (int i = 1; i <= ndet; ++i)
      run.io.write(kUnitReport, "(a20,i8,l2)", {"adresses vides", i, met(i) != 0});
    fio::stop_error(run.io, "determinants of the list " + run.io.name(kUnitDetB) +
                                " get addresses beyond the NDET=" + std::to_string(ndet) +
                                " determinants of the run description (see the report); " +
                                std::string(kOtherRun));
  }
  // Every address was met at most once and none lies beyond ndet, so a list
  // of ndet determinants is a permutation; a shorter one (or one cut short by
  // a read error) leaves addresses without a determinant.
  if (q != ndet)
    refuse(run, {"liste de determinants incomplete : determinants lus", q, " ndet", ndet},
           "the list " + run.io.name(kUnitDetB) + " holds " + std::to_string(q) +
               " determinants, the run description NDET=" + std::to_string(ndet) + "; " +
               std::string(kOtherRun) + ", or the list is cut short");

  run.io.rewind(kUnitDetB);
  ecri(run, run.dets.ijd.data(), kBlock, kUnitBid84);
  if (diag) {
    run.io.list(kUnitReport, {"maxadr", maxadr});
    run.io.list(kUnitReport, {"iadrv dans vermat"});
  }

  if (diag) run.io.write(kUnitReport, "('iadrv avant ecribl',10i8)", fio::Items().all(iadrv, ndet));
  run.io.rewind(kUnitIadrv);
  ecribl(run, iadrv, ndet, kUnitIadrv);
}

}  // namespace ciprop
