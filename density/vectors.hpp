// CI vectors and their determinants as the density stages meet them: the
// vector files, the excitation lists of the determinant files, the phase
// convention of the coefficients, the gather into address order and the
// printed form of a determinant.
#pragma once
#include <vector>

#include "density/transition_density.hpp"
#include "core/run_state.hpp"
#include "input/open_files.hpp"  // units of the vector and determinant files

namespace ciprop {

inline constexpr int kMaxRoots = 1000;  // roots a vector file may declare

// The head of a vector file: record 1 (dimension, number of roots) and
// record 2 (the root energies).  Leaves the unit before the first vector.
// Refuses a root count outside 1..kMaxRoots and a root outside 1..nvec;
// with whole_file, first the record structure of the whole file (2 + nvec
// records of 8, 8 x nvec and 8 x ndim bytes), naming the file and the
// record that breaks it.
struct VectorHead {
  int ndim = 0;
  int nvec = 0;
  double energy = 0.0;  // energy of the chosen root
  std::vector<double> energies;  // of every root, root 1 first
};
VectorHead read_head(Run& run, int unit, int root, bool whole_file = false);
// Whether the two chosen roots are one state: the same root number with
// energies equal to 1e-12 relative (the two files may come from runs that
// round the last bits differently).  Two degenerate roots of one file stay
// two states.
bool same_state(int root1, const VectorHead& h1, int root2, const VectorHead& h2);

// The next determinant of the list on `unit`.
void venond1(Run& run, int unit, int& ne, int* p, int* q, int& eof);
// A determinant list on its unit, read from its start.
class ListOnUnit final : public DeterminantSource {
 public:
  ListOnUnit(Run& run, int unit);
  bool next(int& ne, int* p, int* q) override;
  std::string name() const override;

 private:
  Run& run_;
  int unit_;
};

// The phase that brings the coefficient of a determinant of the list on
// `unit` from the CI program's slot order to ascending spin-orbital order.
double sgn(Run& run, int unit, int ne, const int* p, const int* q);
// Sorts list(1..n) ascending; isgn is the parity of the permutation.
void reor(int n, int* list, int& isgn);
// Prints a determinant and its coefficient.
void wv(Run& run, int ne, const int* p, const int* q, double c);
// Reads the next record of `unit` as n doubles and negates them.
void read_negated(Run& run, double* x, int n, int unit);
// Gathers n doubles into address order through "IADRV": y(i) = x(idx(i)),
// idx(i) the list position of address i.
void permute_by_address(Run& run, const double* x, double* y, int n);
// Values kept by address (one per determinant of the second list) put in
// the order of the list's file, through "IADRV".
std::vector<signed char> in_list_order(Run& run, const std::vector<signed char>& by_address);

}  // namespace ciprop
