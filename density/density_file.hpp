// The state density stored by the CI program, used instead of computing it
// when both vector files name the same root with the same energy.
#pragma once
#include "core/run_state.hpp"
#include "core/unit_numbers.hpp"

namespace ciprop {

// leero: reads the vectors (for their report) and the stored density of root
// numero(1), then puts the frozen and deleted orbitals back.
void leero(Run& run, double* a, double* b);
// The stored density of `root` (of the first vector file) over the CI
// orbitals into ro (leading dimension ld), RO(i,j) the transpose of the
// stored matrix.
void stored_density(Run& run, double* ro, int ld, int root);

}  // namespace ciprop
