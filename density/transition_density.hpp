// The one-particle density between two CI states, from the states alone:
// the address tables of the second state's space, the determinant list of the
// first state and the two vectors in memory.  Nothing is read from a file
// here and no orbital outside the CI is added.
#pragma once
#include <span>
#include <string>
#include <vector>

#include "detspace/address_tables.hpp"

namespace ciprop {

// The determinants of the first state, one excitation list at a time: ne
// substitutions relative to the reference of the determinant files (alpha
// and beta orbitals 1..nocc occupied), p the emptied and q the filled
// spin-orbitals, at most kMaxSubst (20) each, in any order.
class DeterminantSource {
 public:
  virtual ~DeterminantSource() = default;
  // The next determinant; false past the last one.
  virtual bool next(int& ne, int* p, int* q) = 0;
  // The list as messages name it.
  virtual std::string name() const = 0;
};

// A CI vector in memory, each coefficient that of its determinant written as
// the ascending product of its occupied spin-orbitals.
struct CiVector {
  const double* c = nullptr;
  int n = 0;         // coefficients
  int symmetry = 1;  // irreducible representation of the state
  // The coefficients in the address order of the space of that symmetry,
  // once its determinant list has been checked against the space; null when
  // they were not gathered.
  const double* in_address_order = nullptr;
};

// An n x n matrix over the CI orbitals, 1-based, column-major.
struct OrbitalMatrix {
  int n = 0;
  std::vector<double> v;
  explicit OrbitalMatrix(int size) : n(size), v(static_cast<size_t>(size) * size, 0.0) {}
  double& operator()(int i, int j) { return v[(i - 1) + static_cast<size_t>(j - 1) * n]; }
  double operator()(int i, int j) const { return v[(i - 1) + static_cast<size_t>(j - 1) * n]; }
};

struct TransitionDensity {
  OrbitalMatrix ro;
  long long connected = 0;  // excited determinants found in the second space
};

// RO(i,j) = sum over spin of <Psi2| a+(j) a(i) |Psi1>, i and j orbitals 1 to
// norb of the CI.  psi1 runs over the determinants of list1 in their order;
// psi2 is in the address order of tables, and the excited determinants that
// the tables do not hold, or whose address lies beyond psi2, add nothing.
// With psi1 and psi2 the same state it is the state density.  A list shorter
// than psi1 stops the run.
TransitionDensity transition_density(const AddressTables& tables, DeterminantSource& list1,
                                     const CiVector& psi1, const CiVector& psi2);

// The densities from psi1 to each of the kets, in their order, in one pass
// over list1: every ket is a vector of the same space, in the address order
// of tables (the roots of one vector file).  Each density is the one that
// transition_density gives for its ket alone, to the bit.
std::vector<TransitionDensity> transition_densities(const AddressTables& tables,
                                                    DeterminantSource& list1,
                                                    const CiVector& psi1,
                                                    std::span<const CiVector> kets);

// Bytes that one more ket costs the kernels of these tables beside its
// coefficients: the working copies they make of it and its density.
long long working_bytes_per_ket(const AddressTables& tables, long long n);

}  // namespace ciprop
