// The MOLCAS side of a generated run folder: the one-electron integral file
// "OneInt", the transformed-integral file "TraOne", the run-information file
// "ComFile" (version 54) and the orbital file "INPORB", written at the byte
// positions the property program reads, together with what a correct run
// must find in them: the operator matrices over the molecular orbitals and
// the moments of a given density.
//
// Everything here is computed independently of the program: full dense
// matrices and plain loops, no packed storage.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "tools/mkcase/case.hpp"

namespace mkcase {

// The nine operator components, in the order of the nuclear contributions:
// x, y, z, xx, xy, xz, yy, yz, zz.
inline constexpr int kComponents = 9;
extern const std::array<const char*, kComponents> kComponentNames;

// A dense square matrix over the full basis, column-major: (i,j) is at
// i-1 + (j-1)*n, 1-based like the program's matrices.
struct Square {
  int n = 0;
  std::vector<double> v;
  explicit Square(int n_ = 0) : n(n_), v(static_cast<size_t>(n_) * n_, 0.0) {}
  double& operator()(int i, int j) { return v[(i - 1) + static_cast<size_t>(j - 1) * n]; }
  double operator()(int i, int j) const { return v[(i - 1) + static_cast<size_t>(j - 1) * n]; }
};

struct MolcasCase {
  int version = 5;                 // 4, 5, 54 or 22
  int nsym = 1;
  std::array<int, 8> nb{};         // basis functions per symmetry
  int nbtot = 0;                   // all basis functions (= all orbitals)
  std::array<int, kComponents> symmetry{};  // symmetry of each component
  // Basis functions and orbitals are both ordered symmetry by symmetry; the
  // coefficients below are the ones AS WRITTEN to INPORB (read back from
  // their 12-decimal text), block-diagonal over the symmetries.
  Square coef;
  // The overlap of the basis functions, block-diagonal over the symmetries,
  // in which the orbitals are orthonormal: C^T S C = 1 for the coefficients
  // before they are rounded to their text.
  Square overlap;
  std::array<Square, kComponents> ao;   // AO integrals, full and symmetric
  std::array<Square, kComponents> mo;   // C^T P C, full and symmetric
  std::array<double, kComponents> nuclear{};
  std::string title;               // 143-character SEWARD title
  std::string orbital_title;       // 40-character title of INPORB
};

// Writes OneInt, TraOne, INPORB and, for version 54, ComFile (for 22,
// RunFile) into dir for
// the description (basis count of symmetry s: ngel + ninac + nact + nvirt +
// ndel; version, operator symmetries and seed from the description), and
// returns what it wrote.
MolcasCase write_molcas(const Description& d, const std::string& dir);

// The operator matrices as dense matrices, without writing any file (the
// same numbers write_molcas would write for d).
MolcasCase make_molcas(const Description& d);

// The full-basis density from RO over the CI orbitals (norb x norb,
// column-major, RO(i,j) at i-1 + (j-1)*norb, i annihilated and j created, CI
// orbital numbering).  Every CI orbital goes to its place in the orbital
// file's order: per symmetry the frozen orbitals, then the correlated ones in
// increasing CI number, then the deleted ones.  A state density gets 2.0 on
// the frozen diagonal; a transition density gets nothing there.
Square expand_density(const Description& d, const std::vector<double>& ro, bool state_density);

// The property report's numbers, all in atomic units.
struct Moments {
  // Components in the order x, y, z, xx, xy, xz, yy, yz, zz.
  std::array<double, kComponents> el{}, nuc{}, tot{};
  // Traceless (Buckingham) moments in the order xx, xy, xz, yy, yz, zz.
  std::array<double, 6> theta_el{}, theta_nuc{}, theta_tot{};
  double theta_eff = 0.0;
  double mu_el = 0.0, mu_tot = 0.0;      // |mu| electronic and total
  double mu_el2 = 0.0, mu_tot2 = 0.0;    // their squares
  double fosc = 0.0;                     // oscillator strength
};

// The moments of the full-basis density with the case's MO integrals, for an
// energy difference deltae = E2 - E1.
Moments moments(const MolcasCase& m, const Square& density, double deltae);

// Appends the moments that a run with property selector ioper prints to the
// text file at path, one quantity per line: a name and up to three values
// (electronic, nuclear, total) in round-trip precision, e.g.
//   mux -0.12345678901234567 0.5 0.37654321098765433
//   theta_eff 1.25
// Names: mux muy muz, muxx muxy muxz muyy muyz muzz, theta_xx ... theta_zz,
// theta_eff, amu_el, amu_tot, amu_el2, amu_tot2, fosc.
void append_expected(const Moments& mo, int ioper, const std::string& path);

}  // namespace mkcase
