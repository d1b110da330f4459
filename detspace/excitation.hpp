// Addresses of the one-electron excitations a+(j) a(i) J of one determinant
// J, as the density stage asks for them: tens of excitations per determinant,
// each changing one active string, one hole or one particle of J.  J is split
// once; an excitation then costs the rank of at most one string and a few
// table look-ups, and is answered exactly as trad, in_space and adrdet answer
// for the lists of the excited determinant.
#pragma once
#include "core/run_state.hpp"

namespace ciprop {

// Adds x to the increasing list(0..n-1), which grows by one.
inline void insert_sorted(int* list, int& n, int x) {
  int k = n++;
  for (; k > 0 && list[k - 1] > x; --k) list[k] = list[k - 1];
  list[k] = x;
}
// Takes x out of list(0..n-1), which shrinks by one; x must be there.
inline void remove_value(int* list, int& n, int x) {
  int k = 0;
  while (list[k] != x) ++k;
  for (--n; k < n; ++k) list[k] = list[k + 1];
}

// The shortcut of one generation-mode family: J split once, its excitations
// answered from that split form.
class ExcitationShortcut {
 public:
  virtual ~ExcitationShortcut() = default;
  // Takes J from its holes and particles relative to the reference of the
  // determinant files, each list in increasing order; false when J is not
  // one the shortcut serves, and the caller then goes through trad and the
  // address tables.
  virtual bool set(int nh, const int* holes, const int* parts) = 0;
  // The address of a+(sj) a(si) J, si occupied in J and sj empty, both of
  // the same spin; false when the excited determinant is not in the space.
  virtual bool locate(int si, int sj, int& iadr) = 0;
  // False when the space holds no determinant with nt holes and np
  // particles (0..2 each): no excitation to such a class needs to be formed.
  virtual bool has_class(int nt, int np) const = 0;
};

// The files' reference fills orbitals 1..nocc, trad's the first CAS positions
// (yac); when an active orbital is filled in one and empty in the other, the
// same list means different determinants to the two, and only trad's reading
// is the program's.  True when they agree.
bool files_match_cas(const Run& run);
// Holes distinct and occupied in the reference, particles distinct and empty
// there (or the empty-slot marker): trad then neither stops on J nor on any
// excitation of it, and the active occupation it builds is the files' one.
bool well_formed(const Run& run, int nh, const int* holes, const int* parts);
// True when the symmetry products of the run are those of an abelian point
// group (1 the identity, commutative and associative, each element its own
// inverse): a product may then be formed in any order, one factor at a time.
bool symmetry_group(const Run& run);

// The single-reference modes' shortcut.
class Excitations final : public ExcitationShortcut {
 public:
  // In the space of the run's symmetry, or in that of the blocks t, which
  // must outlive the shortcut.
  explicit Excitations(Run& run);
  Excitations(Run& run, const BlockTable& t);

  // Takes J from its holes and particles relative to the reference of the
  // determinant files (spin-orbitals 1..nocc of both spins occupied), each
  // list in increasing order.  False when J is not one this shortcut serves:
  // lists that trad would refuse or report, more than two holes or particles
  // outside the active orbitals, active orbitals whose reference occupation
  // differs between the files and the CAS reference, or a product table that
  // is not a group of self-inverse elements (products are then updated one
  // factor at a time).  The caller then goes through trad, in_space and
  // adrdet.
  bool set(int nh, const int* holes, const int* parts) override;

  // The address of a+(sj) a(si) J, si occupied in J and sj empty, both of the
  // same spin; false when the excited determinant is not in the mode's space.
  bool locate(int si, int sj, int& iadr) override;

  // False when the mode keeps no block of determinants with nt holes and np
  // particles (0..2 each): no excitation to such a class needs to be formed.
  bool has_class(int nt, int np) const override { return has_class_[nt][np]; }

 private:
  void find_classes();

  Run& run_;
  const BlockTable& blocks_;
  const bool usable_;
  bool has_class_[3][3] = {};
  // J split: per spin (0 alpha, 1 beta) the CAS positions of its active
  // string as bits (position k is bit k-1), their count, symmetry and rank;
  // its holes and particles outside the active orbitals and their symmetries.
  unsigned mask_[2] = {};
  int n_[2] = {}, sym_[2] = {}, rank_[2] = {};
  int nt_ = 0, it_[2] = {}, ispt_ = 0, ist_ = 0;
  int np_ = 0, ip_[2] = {}, ispp_ = 0, isp_ = 0;
};

}  // namespace ciprop
