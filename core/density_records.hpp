// Records of the density stage.
#pragma once
#include <string>
#include <vector>

#include "core/farray.hpp"

namespace ciprop {

// The moments of the report, kept for the results file: electronic and
// nuclear parts of the dipole (x y z) and of the quadrupole and traceless
// quadrupole (xx xy xz yy yz zz), in atomic units.
struct Moments {
  bool dipoles = false, quadrupoles = false;  // what the property selector chose
  double dip_el[3] = {}, dip_nuc[3] = {};
  double quad_el[6] = {}, quad_nuc[6] = {};
  double theta_el[6] = {}, theta_nuc[6] = {};
  double theta_eff = 0.0;
  double amu_el = 0.0, amu_tot = 0.0;  // |mu| electronic and total
  double fosc = 0.0;                   // oscillator strength
};

// The natural orbitals of a state density, or the natural transition
// orbitals of a transition density, as written to orbital files.
struct OrbitalAnalysis {
  std::vector<std::string> files;  // the natural orbital file, or the hole and particle files
  // Per symmetry (of the holes), in file order: occupations, or weights.
  std::vector<std::vector<double>> values;
  std::vector<int> particle_symmetry;  // of each hole symmetry
  double occupation_sum = 0.0;         // a state: the electrons
  double participation_ratio = 0.0;    // a transition: (sum w^2)^2 / sum w^4
};

// One pair of a spectrum: from a root of the first vector file (numero(1)
// unless "RACINESA" lists several) to a listed root of the second.  When
// both files are one CI run, a pair may be reported the other way round,
// from the lower root to the higher, each root then one of the other file.
struct PairResult {
  int root = 0;          // the root the pair reaches (of the second vector file)
  double energy = 0.0;   // its energy
  double deltae = 0.0;   // its energy minus that of root1
  bool state = false;    // the same state as root1: a state density
  Moments moments;
  int root1 = 0;         // the root the pair starts from (of the first file)
  double energy1 = 0.0;  // its energy
  OrbitalAnalysis orbitals = {};  // its orbital files, when ORBNAT=2 asks for them
};

struct DensityRecords {
  ZeroPaged<Arr2<double, 1, 500, 1, 500>> mat;    // RO(i,j): i annihilated, j created
  ZeroPaged<Arr2<double, 1, 500, 1, 500>> roij1;  // RO in symmetry order
  Arr1<FChar<2>, 1, 1000> wvc;          // spin labels "+ " and "- "
  ZeroPaged<Arr1<double, 1, 250000>> val;        // one record of the density file
  long long connected = 0;              // excited determinants addressed
  int passes = 0;                       // passes of the kernel over the first vectors
  bool state = false;                   // `mat` is a state density, not a transition one
  int isym1 = 0, isym2 = 0;             // symmetries of the two vectors
  Moments moments;                      // the report's numbers
  OrbitalAnalysis orbitals;             // the orbital files of `mat`
  std::vector<PairResult> pairs;        // the pairs of a spectrum, in the lists' order
  bool one_run = false;                 // both vector files one CI run: each pair once
};

}  // namespace ciprop
