// The entries of a determinant list (n holes and n particles relative to the
// reference of the files) read as words, for the address tables that place
// a determinant straight from its lists.  A hole leaves an active
// spin-orbital of the reference or is a hole in an inactive orbital, a
// particle enters an active spin-orbital or is a particle in a virtual
// orbital; what the determinant's active occupation is, and which of its
// holes and particles lie outside the active orbitals, follows from a sum
// and a union of words, without a branch on the kind of each entry (a list's
// kinds follow no pattern a predictor learns).
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/run_state.hpp"

namespace ciprop {

class ListEntries {
 public:
  // An entry as one word: bits 0-15 (16-31) the alpha (beta) CAS positions,
  // bit 32 a spin-orbital no list may give there, bit 33 the empty slot of
  // an odd electron count, bit 40 a hole (particle) outside the active
  // orbitals.  Bits 0-33 of the words of one list are distinct exactly when
  // their sum equals their union below bit 40, which at most kMostEntries
  // words never carry into; from bit 40 the sum counts the holes
  // (particles) outside.
  static constexpr std::uint64_t kStrings = 0xffffffffu, kRefused = 1ull << 32,
                                 kMarker = 1ull << 33, kOutside = 1ull << 40,
                                 kEntries = kOutside - 1;
  // Holes (particles) of a list that can be placed: two outside the active
  // orbitals and each active spin-orbital once.
  static constexpr int kMostEntries = 2 * kMaxActive + 2;

  // The holes (particles) of a list outside the active orbitals: their
  // count, and from slot 0 the entries of the list they come from (a slot
  // beyond the count holds the neutral entry).
  struct Outside {
    int n = 0;
    unsigned slot[kMostEntries + 1];
  };

  // The words of the run's orbitals; cas_reference holds the CAS positions
  // (bit k-1 for position k) that the files' reference fills.
  ListEntries(const Run& run, unsigned cas_reference);

  // The entry of spin-orbital s (1..2 norb, the marker 2 norb + 1): s - 1;
  // 0 and any other number share the refused one.
  unsigned entry(int s) const { return std::min(unsigned(s) - 1, nso_ + 1); }
  // An entry that stands for nothing: symmetry 1, no spin.
  unsigned neutral() const { return nso_ + 2; }

  // Reads n holes a and n particles b.  True when they may be a
  // determinant the tables place: holes only in spin-orbitals the reference
  // fills and particles only in ones it leaves empty, none of the active
  // ones twice, one marker at most, at most two holes and two particles
  // outside the active orbitals (the words count these but do not tell them
  // apart: the caller compares the two slots).  occ is then the active
  // occupation (the CAS bits of both spins) and t, p the holes and
  // particles outside.
  bool read(int n, const int* a, const int* b, Outside& t, Outside& p,
            std::uint64_t& occ) const {
    if (n > kMostEntries) return false;
    std::uint64_t hole_sum = 0, hole_union = 0, part_sum = 0, part_union = 0;
    t.slot[0] = t.slot[1] = p.slot[0] = p.slot[1] = neutral();
    for (int k = 0; k < n; ++k) {
      const unsigned h = entry(a[k]), q = entry(b[k]);
      const Word &eh = words_[h], &eq = words_[q];
      t.slot[hole_sum >> 40] = h;
      hole_sum += eh.hole;
      hole_union |= eh.hole;
      p.slot[part_sum >> 40] = q;
      part_sum += eq.part;
      part_union |= eq.part;
    }
    t.n = int(hole_sum >> 40);
    p.n = int(part_sum >> 40);
    const std::uint64_t repeated = ((hole_sum ^ hole_union) | (part_sum ^ part_union)) & kEntries;
    const std::uint64_t misplaced =
        (hole_union & ~reference_ & kEntries) | (part_union & (reference_ | kRefused));
    if ((repeated | misplaced) != 0 || t.n > 2 || p.n > 2) return false;
    occ = (reference_ ^ (hole_union & kStrings)) | (part_union & kStrings);
    return true;
  }

 private:
  struct Word {
    std::uint64_t hole = kRefused;  // its CAS bit, kOutside (inactive) or kRefused
    std::uint64_t part = kRefused;  // its CAS bit, kOutside (virtual), kMarker or kRefused
  };
  std::uint64_t reference_ = 0;  // the reference's CAS bits of both spins
  unsigned nso_ = 0;             // spin-orbitals, 2 norb
  // By entry: the spin-orbitals, the marker (nso), a refused entry (nso + 1)
  // and the neutral one (nso + 2).
  std::vector<Word> words_;
};

}  // namespace ciprop
