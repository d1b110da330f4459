#include "detspace/substitution_parity.hpp"

#include <algorithm>

#include "detspace/detlist.hpp"

namespace ciprop {

namespace {

// Reference spin-orbitals below v, and whether v is one of them: the rank of
// v in the reference list (a reference spin-orbital's rank is its slot).
// Written without branches: alpha and beta come in no predictable order.
int below(int norb, int nocc, int v) {
  return std::min(std::max(v - 1, 0), nocc) + std::min(std::max(v - norb - 1, 0), nocc);
}
int in_reference(int norb, int nocc, int v) {
  const unsigned n = static_cast<unsigned>(nocc);
  return (static_cast<unsigned>(v - 1) < n) | (static_cast<unsigned>(v - norb - 1) < n);
}
// The slot of reference spin-orbital h: alpha k at k - 1, beta norb + k at
// nocc + k - 1.
int slot_of(int norb, int nocc, int h) { return h - 1 + (-(h > norb) & (nocc - norb)); }

// Any determinant: substitutions that name a slot twice (the later wins) and
// lists cut below their length.
int general_parity(int norb, int nocc, int nel, int ne, const int* p, const int* q) {
  const int marker = 2 * norb + 1;
  // Slots that do not hold their reference spin-orbital: substituted ones
  // (with the value they hold) and removed ones (the marker, and those cut
  // from the end of the list).
  int slot[2 * kMaxSubst + 2], value[2 * kMaxSubst + 2];
  bool removed[2 * kMaxSubst + 2];
  int n = 0;
  for (int k = 0; k < ne; ++k) {
    const int s = slot_of(norb, nocc, p[k]);
    int at = 0;
    while (at < n && slot[at] != s) ++at;
    if (at == n) slot[n++] = s;
    value[at] = q[k];
    removed[at] = q[k] == marker;
  }
  auto special = [&](int s) {
    for (int k = 0; k < n; ++k)
      if (slot[k] == s) return k;
    return -1;
  };
  int length = 2 * nocc;
  for (int k = 0; k < n; ++k) length -= removed[k];
  // Slots past the sorted length leave the sort too, from the end.
  for (int s = 2 * nocc - 1, cut = length - std::min(nel, length); cut > 0; --s) {
    int k = special(s);
    if (k >= 0 && removed[k]) continue;
    if (k < 0) {
      k = n++;
      slot[k] = s;
    }
    removed[k] = true;
    --cut;
  }
  // Reference slots in [lo, hi) that still hold their reference value.
  auto plain = [&](int lo, int hi) {
    if (hi <= lo) return 0;
    int c = hi - lo;
    for (int k = 0; k < n; ++k) c -= slot[k] >= lo && slot[k] < hi;
    return c;
  };
  int inversions = 0;
  for (int k = 0; k < n; ++k) {
    if (removed[k]) continue;
    const int v = value[k], s = slot[k];
    const int lb = below(norb, nocc, v), ub = lb + in_reference(norb, nocc, v);
    inversions += plain(ub, s);      // larger reference values before the slot
    inversions += plain(s + 1, lb);  // smaller ones after it
    for (int l = 0; l < n; ++l)
      if (!removed[l] && slot[l] > s && value[l] < v) ++inversions;
  }
  return inversions & 1 ? -1 : 1;
}

// The common determinant: each slot named once, the marker at most in the
// last one (an odd electron count; removed says so) and no electron cut from
// the sort.  Every slot out of place is then a hole, so nothing needs to be
// searched, and with K fixed the count is straight-line code: the general
// case spends its time in loops whose length the processor cannot guess.
// K holes keep an electron.  Returns 0 for a determinant that needs the
// general case.
template <int K, bool removed>
int pairwise_parity(int norb, int nocc, int nel, const int* p, const int* q) {
  const int marker = 2 * norb + 1;
  int slot[K + removed];
  int other = 0;  // a marker elsewhere, or a slot named twice
  for (int k = 0; k < K + removed; ++k) {
    slot[k] = slot_of(norb, nocc, p[k]);
    for (int l = 0; l < k; ++l) other |= slot[l] == slot[k];
  }
  for (int k = 0; k < K; ++k) other |= q[k] == marker;
  if (other || nel < 2 * nocc - removed) return 0;
  int inversions = 0;
  for (int k = 0; k < K; ++k) {
    // The value v in slot s passes the reference values above v in the
    // slots before s ([ub, s)) or those below v after it ([s + 1, lb)): one
    // interval [lo, lo + width), counted whole, less the holes in it, which
    // no longer hold their reference value (when the interval reaches s,
    // the hole s cancels its own count).  Then the values below v in later
    // slots.
    const int s = slot[k], v = q[k];
    const int lb = below(norb, nocc, v), ub = lb + in_reference(norb, nocc, v);
    const int lo = std::min(ub, s + 1);
    const unsigned width = static_cast<unsigned>(std::max(lb, s + 1) - lo);
    inversions += static_cast<int>(width);
    for (int l = 0; l < K + removed; ++l)
      inversions -= static_cast<unsigned>(slot[l] - lo) < width;
    for (int l = 0; l < K; ++l) inversions += (slot[l] > s) & (q[l] < v);
  }
  return inversions & 1 ? -1 : 1;
}

// N substitutions, the last of which may put the marker in its slot.
template <int N>
int common_parity(int norb, int nocc, int nel, const int* p, const int* q) {
  return q[N - 1] == 2 * norb + 1 ? pairwise_parity<N - 1, true>(norb, nocc, nel, p, q)
                                  : pairwise_parity<N, false>(norb, nocc, nel, p, q);
}

}  // namespace

int substitution_parity(int norb, int nocc, int nel, int ne, const int* p, const int* q) {
  int sign = 0;
  switch (ne) {
    case 0: return 1;  // the reference, or a cut of it: already in order
    case 1: sign = common_parity<1>(norb, nocc, nel, p, q); break;
    case 2: sign = common_parity<2>(norb, nocc, nel, p, q); break;
    case 3: sign = common_parity<3>(norb, nocc, nel, p, q); break;
    case 4: sign = common_parity<4>(norb, nocc, nel, p, q); break;
    case 5: sign = common_parity<5>(norb, nocc, nel, p, q); break;
    case 6: sign = common_parity<6>(norb, nocc, nel, p, q); break;
    case 7: sign = common_parity<7>(norb, nocc, nel, p, q); break;
    case 8: sign = common_parity<8>(norb, nocc, nel, p, q); break;
  }
  return sign != 0 ? sign : general_parity(norb, nocc, nel, ne, p, q);
}

int list_phase(const Run& run, int ne, const int* p, const int* q) {
  return substitution_parity(run.orb.norb, run.orb.nocc, run.orb.noca + run.orb.nocb, ne, p, q);
}

}  // namespace ciprop
