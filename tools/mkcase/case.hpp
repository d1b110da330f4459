// The description of a generated run folder, shared by the writers of the CI
// program's files (run description, determinant lists, vectors, densities)
// and of the MOLCAS files (integrals, orbitals), and the expected results.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mkcase {

struct Description {
  int nsym = 1;
  // Symmetry product table, mult[a-1][b-1] = symmetry of a x b.  The default
  // is the abelian table of D2h and its subgroups: (a-1) xor (b-1), plus 1.
  std::array<std::array<int, 8>, 8> mult{};
  // CI orbitals per symmetry, by class.
  std::array<int, 8> ninac{}, nact{}, nvirt{};
  // Frozen and deleted orbitals per symmetry (outside the CI, in the orbital
  // file only).
  std::array<int, 8> ngel{}, ndel{};
  int nelac = 0;            // active electrons
  int ms2 = 0;              // twice the spin projection, 0 or negative
  // The run description states MS2 as the positive -ms2, as a CI run asked
  // for a positive spin projection may leave it; ciprop takes its negative.
  bool vrt_ms2_positive = false;
  // Symmetry of the space of the second vector file and its determinant list
  // (the IS0 of the run description, by which the program builds its address
  // tables), and of the first (0: the same).
  int is0 = 1;
  int is0a = 0;
  std::string gener = "CAS ";
  // Reference configurations of the multireference modes ("MR  ", "MRDD",
  // ...), written to "OCCMRS": one string of noac digits 0..2 each, the
  // occupation of the active orbitals in CAS order.  When none is given,
  // nref references are drawn from the seed; with neither, the one
  // reference is the occupation of the reference determinant.
  std::vector<std::string> refs;
  int nref = 0;
  int nroots = 2;           // roots per vector file
  int root1 = 1, root2 = 1; // the roots the run asks for (NUMERO)
  int molcas = 5;           // MOLCAS file version: 4, 5, 54 or 22 (current OpenMolcas)
  // Layout of the orbital file: "" for the version's own (headerless for 4,
  // 5 and 54, "#INPORB 2.2" for 22) or an #INPORB version "1.0" ... "2.2";
  // an #INPORB file may leave out the deleted orbitals (NORB < NBAS).
  std::string inporb;
  bool inporb_without_deleted = false;
  // Packed determinant layout; the program reads only this one in a run
  // (its plain-layout reader is there for other CI programs' files).
  bool packed = true;
  bool shuffle = true;      // determinants in a seeded random order
  uint64_t seed = 1;
  int ioper = 0;            // property selector the run asks for (IPROP)
  std::array<int, 3> symxyz{1, 1, 1};  // symmetries of x, y, z
  double enuc = 0.0;        // nuclear repulsion, written to the Info file
  // Explicit file orders of the two determinant lists: entry k is the index,
  // in the generator's own enumeration order, of the k-th determinant of the
  // file.  Empty: seeded shuffle or enumeration order, by `shuffle`.
  std::vector<int> order_a, order_b;
  // Both vectors from one CI run: "deta" and "daveca" are written as "detb"
  // and "davecb", byte for byte (the two states must share a symmetry).
  bool one_list = false;
  // The brute-force densities cost about ndet x electrons x norb look-ups;
  // above this many they are skipped (no "dens", no expected RO).
  long long density_limit = 200000000;
  // Extra non-correlated basis functions per symmetry are the frozen and
  // deleted orbitals; the basis count of a symmetry is
  // ngel + ninac + nact + nvirt + ndel.

  Description();
  int norb() const;   // CI orbitals
  int ninac_total() const;
  int noac() const;
  int nbas(int s) const;  // basis functions of symmetry s (1-based)
  int nocc() const;       // ninac + (nelac+1)/2
  // Active electrons of each spin in the reference occupation of the space
  // (C integer division, ms2 <= 0): nca0 = nelac/2 + ms2/2,
  // ncb0 = (nelac+1)/2 - ms2/2.
  int nca0() const;
  int ncb0() const;
  int is0_a() const { return is0a != 0 ? is0a : is0; }
};

// The orbital spaces, electrons and mode of a description; everything else
// at its defaults.
Description describe(const std::string& gener, int nsym, const std::array<int, 8>& ninac,
                     const std::array<int, 8>& nact, const std::array<int, 8>& nvirt, int nelac,
                     int ms2 = 0, int is0 = 1);

// Refuses a description that the CI program could not have run or whose
// files the readers cannot represent: throws std::invalid_argument with a
// message naming the offending value.
void check(const Description& d);

// The CI orbital numbering of a description, as the CI program lays it out:
// inactive orbitals 1..ninac in symmetry order, then the active orbitals,
// then the virtual orbitals in symmetry order; nocc = ninac + (nelac+1)/2.
struct OrbitalLayout {
  int norb = 0, nocc = 0, ninac = 0, noac = 0;
  std::vector<int> isym;    // symmetry of CI orbital k (index k-1)
  std::vector<int> numac;   // active orbitals in CAS order
  // Position of CI orbital k among the orbitals of the orbital file: its
  // symmetry s and its index within symmetry s counting from 1 (after the
  // frozen ones of s); the file order within a symmetry is increasing CI
  // orbital number.
  std::vector<int> file_index;  // 1-based index within its symmetry block
};
OrbitalLayout layout(const Description& d);

}  // namespace mkcase
