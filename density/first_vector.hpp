// The first state's coefficients in the address order of its own space.  The
// CI program writes each vector in the order of its determinant list; the
// first list ("deta") belongs to the first vector's space, which may be of
// another symmetry than the run's, and is checked here as thoroughly as the
// second list is before it is reordered.
#pragma once
#include <string>
#include <vector>

#include "density/transition_density.hpp"
#include "detspace/detlist.hpp"

namespace ciprop {

// Reads list1 from where it stands and checks it against the tables of
// psi1's space: every determinant readable (list_defect), with at most two
// holes and two particles outside the active orbitals, inside the space,
// each once, and as many as the space holds and psi1 has coefficients.  The
// first fault stops the run naming the list and the determinant.  Returns
// psi1's coefficients (in the order of list1) moved to their addresses.
ZeroVector first_vector_in_address_order(const AddressTables& space1,
                                         DeterminantSource& list1, const CiVector& psi1);

// The same check and gather one determinant at a time, for a pass over the
// first list that reads it for another purpose as well (its phases and its
// printed lines): a finding is kept and only stops the run in finish(), so
// that the run stops where, and with the words with which, the check of the
// whole list would stop it.
class FirstListGather {
 public:
  FirstListGather(const AddressTables& space1, std::string list, const CiVector& psi1);
  // The address of a determinant straight from its lists, 0 when the
  // tables do not place it so; a placed determinant is readable.
  int place(int ne, const int* p, const int* q) const {
    return space1_.list_address(ne, p, q);
  }
  // Determinant k (from 1), readable, at iadr from place(), with its
  // coefficient.
  void add(int k, int iadr, int ne, const int* p, const int* q, double c);
  // The determinants k0 .. k0 + m - 1 of a batch of the list, each
  // readable, at at[j] from place() (completed here), with coefficients
  // c[j]: checked in list order, and the coefficients of a batch without a
  // finding moved to their places on the run's threads.
  void add_batch(long long k0, int m, int* at, const ListBatch& batch, const double* c);
  // Stops the run on the first finding so far, if there is one.
  void refuse_if_found();
  // Stops the run on the first finding, else gives the coefficients in
  // address order.
  ZeroVector finish();

 private:
  const AddressTables& space1_;
  std::string list_;
  int n_ = 0, symmetry_ = 1;
  bool sized_ = false;  // the vector has as many coefficients as the space determinants
  // The place of determinant k, 0 when it has none (the finding noted).
  int resolve(long long k, int iadr, int ne, const int* p, const int* q);
  // Notes the place as met, false (the finding noted) when it was met before.
  bool meet(long long k, int iadr);

  long long found_at_ = 0;  // the determinant of the first finding, 0 for none
  std::string found_;
  ZeroVector ordered_;
  std::vector<unsigned long long> seen_;  // the addresses met, a bit each
};

// The refusal of a determinant list that does not pass: one line in the
// report and on standard error, "determinant list <name>: <what>".
[[noreturn]] void refuse_list(Run& run, const std::string& list, const std::string& what);
// The same for its k-th determinant (from 1).
[[noreturn]] void refuse_listed(Run& run, const std::string& list, long long k,
                                const std::string& what);

}  // namespace ciprop
