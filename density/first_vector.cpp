#include "density/first_vector.hpp"

#include "core/print.hpp"
#include "detspace/address.hpp"
#include "detspace/detlist.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

void refuse_list(Run& run, const std::string& list, const std::string& what) {
  const std::string line = "determinant list " + list + ": " + what;
  run.io.list(kUnitReport, {line});
  throw fio::StopRun{fio::kStatusError, "ciprop: " + line};
}

void refuse_listed(Run& run, const std::string& list, long long k, const std::string& what) {
  refuse_list(run, list, "determinant " + std::to_string(k) + ": " + what);
}

std::vector<double> first_vector_in_address_order(const AddressTables& space1,
                                                  DeterminantSource& list1,
                                                  const CiVector& psi1) {
  Run& run = space1.records();
  const std::string name = list1.name();
  if (psi1.n != space1.size())
    refuse_list(run, name,
                "its vector has " + std::to_string(psi1.n) + " coefficients, the space of symmetry " +
                    std::to_string(psi1.symmetry) + " holds " + std::to_string(space1.size()) +
                    " determinants");
  std::vector<double> ordered(static_cast<size_t>(psi1.n), 0.0);
  std::vector<char> seen(static_cast<size_t>(psi1.n), 0);
  int ne = 0, p[kMaxSubst], q[kMaxSubst], ierr = 0;
  SplitDet d;
  for (int k = 1; k <= psi1.n; ++k) {
    if (!list1.next(ne, p, q))
      refuse_list(run, name, "it ends after " + std::to_string(k - 1) +
                                 " determinants, its vector has " + std::to_string(psi1.n));
    // A determinant that the tables place straight from its lists is
    // readable and of the space; any other is looked at piece by piece.
    int iadr = space1.list_address(ne, p, q);
    if (iadr == 0) {
      const std::string defect = list_defect(run, ne, p, q);
      if (!defect.empty()) refuse_listed(run, name, k, defect);
      trad(run, ne, p, q, d, ierr);
      if (ierr != 0)
        refuse_listed(run, name, k,
                      "has more than two holes or particles outside the active orbitals");
      iadr = space1.address(d);
    }
    if (iadr == 0)
      refuse_listed(run, name, k,
                    "lies outside the space of its vector (symmetry " +
                        std::to_string(psi1.symmetry) + ")");
    if (seen[static_cast<size_t>(iadr - 1)]) refuse_listed(run, name, k, "appears twice");
    seen[static_cast<size_t>(iadr - 1)] = 1;
    ordered[static_cast<size_t>(iadr - 1)] = psi1.c[k - 1];
  }
  if (list1.next(ne, p, q))
    refuse_list(run, name,
                "it holds more determinants than its vector (" + std::to_string(psi1.n) + ")");
  return ordered;
}

}  // namespace ciprop
