#include "density/first_vector.hpp"

#include <utility>

#include "core/print.hpp"
#include "core/threads.hpp"
#include "detspace/address.hpp"
#include "detspace/detlist.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

void refuse_list(Run& run, const std::string& list, const std::string& what) {
  const std::string line = "determinant list " + list + ": " + what;
  run.io.list(kUnitReport, {line});
  // The reference and the space come from the Info file and the run
  // description: a list that does not fit them may be the one at fault.
  fio::stop_error(run.io, line + "; the list, the run description and the Info file (NOC) must "
                                 "be of one CI run");
}

void refuse_listed(Run& run, const std::string& list, long long k, const std::string& what) {
  refuse_list(run, list, "determinant " + std::to_string(k) + ": " + what);
}

FirstListGather::FirstListGather(const AddressTables& space1, std::string list,
                                 const CiVector& psi1)
    : space1_(space1), list_(std::move(list)), n_(psi1.n), symmetry_(psi1.symmetry),
      sized_(psi1.n == space1.size()) {
  if (!sized_) return;
  ordered_ = ZeroVector(static_cast<size_t>(n_));
  seen_.assign((static_cast<size_t>(n_) + 63) / 64, 0);
}

int FirstListGather::resolve(long long k, int iadr, int ne, const int* p, const int* q) {
  // Any determinant that the tables do not place straight from its lists
  // is looked at piece by piece.
  if (iadr == 0) {
    SplitDet d;
    int ierr = 0;
    trad(space1_.records(), ne, p, q, d, ierr);
    if (ierr != 0) {
      found_at_ = k;
      found_ = "has more than two holes or particles outside the active orbitals";
      return 0;
    }
    iadr = space1_.address(d);
  }
  if (iadr == 0) {
    found_at_ = k;
    found_ = "lies outside the space of its vector (symmetry " + std::to_string(symmetry_) + ")";
  }
  return iadr;
}

bool FirstListGather::meet(long long k, int iadr) {
  const size_t at = static_cast<size_t>(iadr - 1);
  const unsigned long long bit = 1ull << (at % 64);
  if (seen_[at / 64] & bit) {
    found_at_ = k;
    found_ = "appears twice";
    return false;
  }
  seen_[at / 64] |= bit;
  return true;
}

void FirstListGather::add(int k, int iadr, int ne, const int* p, const int* q, double c) {
  if (!sized_ || found_at_ != 0) return;
  iadr = resolve(k, iadr, ne, p, q);
  if (iadr != 0 && meet(k, iadr)) ordered_[static_cast<size_t>(iadr - 1)] = c;
}

void FirstListGather::add_batch(long long k0, int m, int* at, const ListBatch& batch,
                                const double* c) {
  if (!sized_ || found_at_ != 0) return;
  for (int j = 0; j < m; ++j) {
    // The flags of the places are met at random: those of a few
    // determinants further on are fetched ahead.
    if (j + 16 < m && at[j + 16] > 0 && at[j + 16] <= n_)
      __builtin_prefetch(&seen_[static_cast<size_t>(at[j + 16] - 1) / 64]);
    at[j] = resolve(k0 + j, at[j], batch.count(j), batch.holes(j), batch.parts(j));
    if (at[j] == 0 || !meet(k0 + j, at[j])) return;
  }
  // Every place of the batch is new and met once: the threads write apart.
  in_shares(m, 4096, [&](int lo, int hi) {
    for (int j = lo; j < hi; ++j) ordered_[static_cast<size_t>(at[j] - 1)] = c[j];
  });
}

void FirstListGather::refuse_if_found() {
  Run& run = space1_.records();
  if (!sized_)
    refuse_list(run, list_,
                "its vector has " + std::to_string(n_) + " coefficients, the space of symmetry " +
                    std::to_string(symmetry_) + " holds " + std::to_string(space1_.size()) +
                    " determinants");
  if (found_at_ != 0) refuse_listed(run, list_, found_at_, found_);
}

ZeroVector FirstListGather::finish() {
  refuse_if_found();
  seen_ = {};
  return std::move(ordered_);
}

ZeroVector first_vector_in_address_order(const AddressTables& space1,
                                         DeterminantSource& list1, const CiVector& psi1) {
  Run& run = space1.records();
  const std::string name = list1.name();
  FirstListGather gather(space1, name, psi1);
  gather.refuse_if_found();
  int ne = 0, p[kMaxSubst], q[kMaxSubst];
  for (int k = 1; k <= psi1.n; ++k) {
    if (!list1.next(ne, p, q))
      refuse_list(run, name, "it ends after " + std::to_string(k - 1) +
                                 " determinants, its vector has " + std::to_string(psi1.n));
    const int iadr = gather.place(ne, p, q);
    if (iadr == 0) {
      const std::string defect = list_defect(run, ne, p, q);
      if (!defect.empty()) refuse_listed(run, name, k, defect);
    }
    gather.add(k, iadr, ne, p, q, psi1.c[k - 1]);
    gather.refuse_if_found();
  }
  if (list1.next(ne, p, q))
    refuse_list(run, name,
                "it holds more determinants than its vector (" + std::to_string(psi1.n) + ")");
  return gather.finish();
}

}  // namespace ciprop
