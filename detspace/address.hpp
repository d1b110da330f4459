// The address of a determinant: its 1-based position in a CI vector of the
// current generation mode.  A determinant arrives as an excitation list
// relative to the reference (alpha and beta orbitals 1 to nocc occupied;
// spin-orbital k alpha, norb + k beta, 2 norb + 1 the empty-slot marker) and is
// split by trad into its active part, its holes and its particles.
#pragma once
#include "driver/runstate.hpp"

namespace ciprop {

// A determinant in split form, as adrdet takes it.
struct SplitDet {
  int nca = 0;       // alpha electrons in the active orbitals
  int ia[16] = {};   // their orbitals, in numac order
  int ncb = 0;       // beta electrons in the active orbitals
  int ib[16] = {};   // their (spatial) orbitals, in numac order
  int nt = 0;        // holes in inactive orbitals, 0..2
  int it[2] = {};    // hole spin-orbitals, in increasing spin-orbital number
  int ispt = 0;      // alpha holes - beta holes
  int np = 0;        // particles in virtual orbitals, 0..2
  int ip[2] = {};    // particle spin-orbitals
  int ispp = 0;      // alpha particles - beta particles
};

// Translates nh holes and nh particles into split form; ierr = 1 when more
// than two holes or more than two particles are found.  A hole in an empty
// active spin-orbital or a particle in a filled one stops the run.
void trad(Run& run, int nh, const int* holes, const int* parts, SplitDet& d, int& ierr);
// The address of a determinant of the mode's space.
void adrdet(Run& run, const SplitDet& d, int& iadr);
// True when the determinant belongs to a block of the mode's space (its class
// exists for the mode and its active, hole and particle parts have a place
// there); adrdet is only meaningful for such determinants.
bool in_space(Run& run, const SplitDet& d);

void adrt(Run& run, int nt, const int* it, int ispt, int& iadrt);
void adrp(Run& run, int np, const int* ip, int ispp, int& iadrp);
void adrc(Run& run, int flag, int nca, const int* ia, int ncb, const int* ib, int& iadrc);
void rang2(Run& run, int k, const int* list, int& irang);
[[noreturn]] void erreur(Run& run, int& code);

}  // namespace ciprop
