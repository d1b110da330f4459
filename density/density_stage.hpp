// The density of the run: computed from the two CI vectors, or read from the
// CI program's density file when both files name the same root with the same
// energy and the run does not ask for the computation.
#pragma once
#include "detspace/address_tables.hpp"

namespace ciprop {

// tables: those of the second vector's space, through which a computed
// density finds the excited determinants.
void density_stage(Run& run, const AddressTables& tables);

}  // namespace ciprop
