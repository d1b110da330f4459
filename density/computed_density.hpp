// The one-particle density between two CI states, and what the density
// stages share: reading the two vectors and putting the frozen and deleted
// orbitals back.
#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "core/run_state.hpp"
#include "density/first_vector.hpp"

namespace ciprop {

// Both vectors, read, printed and in one phase convention: vector 1 in a in
// the order of its determinant list (unit 60), vector 2 in b in address
// order.  after_sgn is the line printed once the phases are corrected.  With
// gather_first the pass that takes vector 1's phases also checks its list
// against the space of its own symmetry and gathers it (first).  Vector 2
// takes the phases that the check of its list left (run.dets.list_phases).
struct Vectors {
  int ndim1 = 0, ndim2 = 0;
  int isym1 = 0, isym2 = 0;
  std::unique_ptr<AddressTables> space1;
  std::unique_ptr<FirstListGather> first;
  // Vector 1 in address order, gathered through "IADRV" when its list is
  // the second one (run.dets.first_list_same) and its space the same.
  std::optional<ZeroVector> ordered1;
};
struct VectorReading {
  bool gather_first = false;
};
Vectors read_vectors(Run& run, double* a, double* b, const char* after_sgn,
                     VectorReading how = {});

// Vector 1 (in a, in the order of its list) checked against the space of its
// own symmetry and gathered into that space's address order: the run stops
// here on the first finding.  Read with gather_first, the work is done;
// otherwise the list on unit 60 is read from its start.
ZeroVector first_vector_gathered(Run& run, const double* a, Vectors& v);

// RO over the CI orbitals in `mat` -> ordered by symmetry, expanded to the
// full orbital set with the frozen (doubly occupied, so present on the
// diagonal of a state density only) and deleted orbitals; sets nbtot.
void reintroduce(Run& run, bool state);
// The same from `ro` (leading dimension ld) into `full`, through `sym_order`
// (RO in symmetry order), both of leading dimension 500; `full` may be `ro`.
// print shows both matrices as the print level asks for them.
void expand_density(Run& run, const double* ro, int ld, bool state, double* full,
                    double* sym_order, bool print);

// calro: the density computed from the vectors, between root numero(1) of
// the first vector file and root numero(2) of the second; state tells that
// they are the same state.
void calro(Run& run, const AddressTables& tables, bool state, double* a, double* b);

}  // namespace ciprop
