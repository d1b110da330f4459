#include "density/vectors.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "detspace/substitution_parity.hpp"
#include "fortio/bytes.hpp"
#include "detspace/detlist.hpp"
#include "fortio/format.hpp"
#include "core/print.hpp"
#include "core/threads.hpp"
#include "fortio/stop.hpp"
#include "input/input_checks.hpp"

namespace ciprop {

namespace {

// The record structure of the whole vector file of head h, before any
// coefficient is used: 2 + nvec records, the head of 8 bytes, the energies
// of 8 x nvec, each root of 8 x ndim.  A record missing, repeated or out of
// place would give a coefficient as an energy, or another root's vector.
// Leaves the unit rewound.
void check_vector_records(Run& run, int unit, const VectorHead& h) {
  const std::string use = "; use the vector file that the CI run wrote with its determinant list";
  if (h.ndim < 1)
    run.io.io_error(unit, "record 1: dimension " + std::to_string(h.ndim) + use);
  run.io.rewind(unit);
  const long long records = 2LL + h.nvec;
  std::size_t len = 0;
  long long k = 0;
  using Read = fio::Units::RecordRead;
  for (Read got; (got = run.io.skip_record_or_end(unit, &len)) != Read::kEnd;) {
    if (got == Read::kDamaged)
      run.io.io_error(unit, "record " + std::to_string(k + 1) +
                                " is cut short or its trailing length differs from its leading "
                                "one: a damaged file" + use);
    if (++k > records)
      run.io.io_error(unit, "more than the " + std::to_string(records) + " records of 2 + " +
                                std::to_string(h.nvec) +
                                " roots (record 1): a record repeated or added" + use);
    const long long want = k == 1 ? 8 : k == 2 ? 8LL * h.nvec : 8LL * h.ndim;
    if (static_cast<long long>(len) == want) continue;
    const std::string what = k == 1   ? "the dimension and the number of roots"
                             : k == 2 ? "the energies of the " + std::to_string(h.nvec) + " roots"
                                      : "root " + std::to_string(k - 2) + ", " +
                                            std::to_string(h.ndim) + " coefficients";
    run.io.io_error(unit, "record " + std::to_string(k) + " (" + what + ") holds " +
                              std::to_string(len) + " bytes, " + std::to_string(want) +
                              " expected: a record missing, repeated or out of place" + use);
  }
  if (k < records)
    run.io.io_error(unit, std::to_string(k) + " records where 2 + " + std::to_string(h.nvec) +
                              " roots (record 1) need " + std::to_string(records) +
                              ": a record missing" + use);
  run.io.rewind(unit);
}

}  // namespace

VectorHead read_head(Run& run, int unit, int root, bool whole_file) {
  VectorHead h;
  int head[2];
  run.io.read_record(unit, head, sizeof head);
  h.ndim = head[0];
  h.nvec = head[1];
  if (h.nvec < 1 || h.nvec > kMaxRoots)
    refuse_input(run, "vector file " + run.io.name(unit) + ", record 1: " +
                          std::to_string(h.nvec) + " roots declared, this program takes 1 to " +
                          std::to_string(kMaxRoots));
  if (whole_file) {
    check_vector_records(run, unit, h);
    run.io.skip_record(unit);
  }
  if (root < 1 || root > h.nvec)
    refuse_input(run, "vector file " + run.io.name(unit) + ": root " + std::to_string(root) +
                    " asked for, the file holds " + std::to_string(h.nvec));
  double energies[kMaxRoots];
  run.io.read_record(unit, energies, sizeof(double) * static_cast<size_t>(h.nvec));
  const size_t bad = fio::first_non_finite(energies, static_cast<size_t>(h.nvec));
  if (bad < static_cast<size_t>(h.nvec))
    run.io.io_error(unit, "record 2 (the energies): the energy of root " + std::to_string(bad + 1) +
                              " is not a finite number");
  h.energy = energies[root - 1];
  h.energies.assign(energies, energies + h.nvec);
  return h;
}

void venond1(Run& run, int unit, int& ne, int* p, int* q, int& eof) {
  venond_unit(run, unit, ne, p, q, eof);
}

ListOnUnit::ListOnUnit(Run& run, int unit) : run_(run), unit_(unit) { restart_list(run, unit); }

bool ListOnUnit::next(int& ne, int* p, int* q) {
  int eof = 0;
  venond1(run_, unit_, ne, p, q, eof);
  return eof == 0;
}

std::string ListOnUnit::name() const { return run_.io.name(unit_); }

void reor(int n, int* list, int& isgn) {
  isgn = 1;
  for (int i = 0; i < n - 1; ++i)
    for (int j = i + 1; j < n; ++j)
      if (list[j] < list[i]) {
        std::swap(list[i], list[j]);
        isgn = -isgn;
      }
}

// The CI program stores the coefficient of the determinant whose spin-orbital
// list is the reference list (alpha 1..nocc, then beta) with each hole
// replaced in place by its particle; the density code works with the
// determinant as the product of its spin-orbitals in ascending order.  The
// parity of the sort between the two is the phase.
double sgn(Run& run, int unit, int ne, const int* p, const int* q) {
  const int norb = run.orb.norb, nocc = run.orb.nocc;
  for (int k = 0; k < ne; ++k) {
    int slot = p[k] <= norb ? p[k] - 1 : nocc + p[k] - norb - 1;
    if (slot < 0 || slot >= 2 * nocc)
      refuse_input(run, "determinant list " + run.io.name(unit) + ": hole " + std::to_string(p[k]) +
                      " is not occupied in the reference");
  }
  // A missing electron (odd electron count) stands as the empty-slot marker
  // and leaves the list; the sort runs over the electrons actually present:
  // with an odd active electron count and MS2=0 the counts of the run
  // description promise one electron more than the list holds.
  return list_phase(run, ne, p, q);
}

void wv(Run& run, int ne, const int* p, const int* q, double c) {
  const int marker = 2 * run.orb.norb + 1;
  int nq = ne;
  if (nq > 0 && q[nq - 1] == marker) --nq;
  auto pair = [&](fio::Items& items, int s) {
    items << run.orb.iorb(s) << run.dens.wvc(s).view();
  };
  fio::Items head;
  for (int k = 0; k < ne; ++k) pair(head, p[k]);
  head << 0 << "=>";
  fio::Items parts;
  for (int k = 0; k < nq; ++k) pair(parts, q[k]);
  if (10 * ne + 5 < 51) {
    for (const fio::Item& it : parts.view()) head << it;
    std::string text = fio::format_text("(1X,10(I3,A2))", head);
    text.resize(50, ' ');
    run.io.write(kUnitReport, "(a50,3X,F11.7,i8)", {text, c});
    return;
  }
  run.io.write(kUnitReport, "(1X,10(I3,A2))", head);
  // The particles go through one 50-character record of which 35 are shown,
  // so that the coefficient stands in the same column as in the short form.
  std::string text = std::string(35, ' ');
  if (parts.size() > 0) {
    std::vector<std::string> records;
    fio::format_records("(1X,10(I3,A2))", parts, records);
    text = records.front();
  }
  text.resize(35, ' ');
  run.io.write(kUnitReport, "(a35,15x,3X,F11.7,i8)", {text, c});
}

void read_negated(Run& run, double* x, int n, int unit) {
  run.io.read_record(unit, x, sizeof(double) * static_cast<size_t>(n));
  const size_t bad = fio::first_non_finite(x, static_cast<size_t>(n));
  if (bad < static_cast<size_t>(n))
    run.io.io_error(unit, "the coefficients of the chosen root: coefficient " +
                              std::to_string(bad + 1) + " is not a finite number");
  for (int i = 0; i < n; ++i) x[i] = -x[i];
}

namespace {

// Hands out "IADRV" (the file position of each address) a chunk at a time,
// each position checked: work(i0, m, pos) for the addresses i0 + 1 .. i0 + m.
template <class Work>
void for_address_chunks(Run& run, int n, Work work) {
  run.io.rewind(kUnitIadrv);
  constexpr int kChunk = 64 * kBlock;
  std::vector<int> pos(kChunk);
  for (int i0 = 0; i0 < n; i0 += kChunk) {
    const int m = std::min(kChunk, n - i0);
    for (int r = 0; r < m; r += kBlock) liri(run, pos.data() + r, kBlock, kUnitIadrv);
    for (int j = 0; j < m; ++j)
      if (pos[j] < 1 || pos[j] > n)
        refuse_input(run, "IADRV: position " + std::to_string(pos[j]) + " outside 1.." +
                              std::to_string(n));
    work(i0, m, pos.data());
  }
}

}  // namespace

void permute_by_address(Run& run, const double* x, double* y, int n) {
  for_address_chunks(run, n, [&](int i0, int m, const int* pos) {
    in_shares(m, 16384, [&](int lo, int hi) {
      for (int j = lo; j < hi; ++j) {
        // The coefficients are taken from random places of a long vector:
        // the one of a few determinants further on is fetched ahead.
        if (j + 16 < hi) __builtin_prefetch(x + pos[j + 16] - 1);
        y[i0 + j] = x[pos[j] - 1];
      }
    });
  });
}

std::vector<signed char> in_list_order(Run& run, const std::vector<signed char>& by_address) {
  const int n = static_cast<int>(by_address.size());
  std::vector<signed char> out(by_address.size());
  // The positions of a chunk are distinct: the threads write apart.
  for_address_chunks(run, n, [&](int i0, int m, const int* pos) {
    in_shares(m, 16384, [&](int lo, int hi) {
      for (int j = lo; j < hi; ++j) out[size_t(pos[j] - 1)] = by_address[size_t(i0 + j)];
    });
  });
  return out;
}

bool same_state(int root1, const VectorHead& h1, int root2, const VectorHead& h2) {
  return root1 == root2 &&
         std::fabs(h1.energy - h2.energy) <= 1e-12 * std::max(std::fabs(h1.energy), std::fabs(h2.energy));
}

}  // namespace ciprop
