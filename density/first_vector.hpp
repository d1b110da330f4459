// The first state's coefficients in the address order of its own space.  The
// CI program writes each vector in the order of its determinant list; the
// first list ("deta") belongs to the first vector's space, which may be of
// another symmetry than the run's, and is checked here as thoroughly as the
// second list is before it is reordered.
#pragma once
#include <string>
#include <vector>

#include "density/transition_density.hpp"

namespace ciprop {

// Reads list1 from where it stands and checks it against the tables of
// psi1's space: every determinant readable (list_defect), with at most two
// holes and two particles outside the active orbitals, inside the space,
// each once, and as many as the space holds and psi1 has coefficients.  The
// first fault stops the run naming the list and the determinant.  Returns
// psi1's coefficients (in the order of list1) moved to their addresses.
std::vector<double> first_vector_in_address_order(const AddressTables& space1,
                                                  DeterminantSource& list1,
                                                  const CiVector& psi1);

// The refusal of a determinant list that does not pass: one line in the
// report and on standard error, "determinant list <name>: <what>".
[[noreturn]] void refuse_list(Run& run, const std::string& list, const std::string& what);
// The same for its k-th determinant (from 1).
[[noreturn]] void refuse_listed(Run& run, const std::string& list, long long k,
                                const std::string& what);

}  // namespace ciprop
