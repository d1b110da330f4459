// The address of a determinant: its 1-based position in a CI vector of the
// current generation mode.  A determinant arrives as an excitation list
// relative to the reference (alpha and beta orbitals 1 to nocc occupied;
// spin-orbital k alpha, norb + k beta, 2 norb + 1 the empty-slot marker) and is
// split by trad into its active part, its holes and its particles.
#pragma once
#include "core/run_state.hpp"
#include "fortio/items.hpp"

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

// Appends the determinant as the messages show it: " trou" and the holes,
// " CAS" and the active occupation, " part" and the particles, each list with
// its alpha entries first as spatial orbitals and its beta entries negated.
void describe(const Run& run, const SplitDet& d, fio::Items& items);

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
// The same two in the space of the blocks t (a state of another symmetry).
void adrdet(Run& run, const BlockTable& t, const SplitDet& d, int& iadr);
bool in_space(Run& run, const BlockTable& t, const SplitDet& d);

// adrt, adrp: the index of nt holes (np particles) with spin balance ispt
// (ispp) within their class, from 1; a same-spin pair out of order stops the
// run with the routine's name in the message.
void adrt(Run& run, int nt, const int* it, int ispt, int& iadrt);
void adrp(Run& run, int np, const int* ip, int ispp, int& iadrp);
// adrc: the index of the active part (alpha orbitals ia, beta ib) within its
// class, from 1; flag is not used.
void adrc(Run& run, int flag, int nca, const int* ia, int ncb, const int* ib, int& iadrc);
// The rank, from 1, of k increasing CAS positions among all subsets of k
// positions, through the weights z.
void subset_rank(Run& run, int k, const int* list, int& irang);

// erreur: prints "erreur" and the code, then stops the run with an error.
[[noreturn]] void erreur(Run& run, int& code);

// The pieces of in_space and adrdet, for callers that hold a determinant's
// parts in another form (the density stage's excitations); inline, for they
// are taken once per excitation.

// Category of the block of a determinant of nca alpha and ncb beta active
// electrons, active symmetry isc, nt holes of symmetry ist and spin balance
// ispt, np particles (isp, ispp); 0 when the mode keeps no such block.
inline int block_category(const Run& run, const BlockTable& t, int nca, int ncb, int isc, int nt,
                          int ist, int ispt, int np, int isp, int ispp) {
  const DetRecords& dt = run.dets;
  const int nelc = nca + ncb - run.cs.nelac;
  if (nelc < -2 || nelc > 2 || nelc != nt - np) return 0;
  const int dspin = nca - ncb - dt.cas_spin;
  if (dspin < -4 || dspin > 4 || ispp != ispt - dspin) return 0;
  if (isp != run.sym.mult(t.symmetry, run.sym.mult(ist, isc))) return 0;
  const int icateg = dt.icatt(nt, ist, nt == 2 ? ispt / 2 : ispt);
  if (icateg < 1) return 0;
  return t.nblk(nelc, isc, run.util(30 + dspin), icateg) > 0 ? icateg : 0;
}

// Particle configurations of a particle class (1 without particles).
inline int particle_count(const Run& run, int np, int isp, int ispp) {
  return np > 0 ? run.dets.co_max.maxpp(np, isp, ispp == 0 ? 0 : 1) : 1;
}

// Address of a determinant from its block (nelc active electrons beyond the
// CAS count, isc, ispc1 the spin class, icateg) and the indices of its holes,
// particles and active part: within the block, hole index major, then the
// particle index, the active index running fastest.
inline int block_address(const Run& run, const BlockTable& t, int nelc, int isc, int ispc1,
                         int icateg, int np, int isp, int ispp, int iadrt, int iadrp, int iadrc) {
  const int max_p = particle_count(run, np, isp, ispp);
  const int maxc = run.dets.mxdetc.maxc(nelc, isc, ispc1);
  return t.ioff(nelc, isc, ispc1, icateg) + ((iadrt - 1) * max_p + (iadrp - 1)) * maxc + iadrc;
}

// Index of the active part from the symmetries and the ranks of its strings:
// groups by the symmetry of the alpha string, the alpha rank fastest.
inline int active_index(const Run& run, int isc, int isa, int nca, int ncb, int ra, int rb) {
  return run.dets.prep2.iadc(isc, isa, nca, ncb) + (rb - 1) * run.dets.adrsym.nbs(isa, nca) + ra;
}

// Symmetry of one or two holes or particles given as spin-orbitals.
int pair_sym(const Run& run, int n, const int* so);
// Rank of an active string among the strings of its count and symmetry; pos
// holds its CAS positions in increasing order.
int string_rank(Run& run, int n, const int* pos);

}  // namespace ciprop
