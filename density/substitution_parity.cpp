#include "density/substitution_parity.hpp"

#include <algorithm>

#include "detspace/detlist.hpp"

namespace ciprop {

int substitution_parity(int norb, int nocc, int nel, int ne, const int* p, const int* q) {
  const int marker = 2 * norb + 1;
  // Slots that do not hold their reference spin-orbital: substituted ones
  // (with the value they hold) and removed ones (the marker, and those cut
  // from the end of the list).
  int slot[2 * kMaxSubst + 2], value[2 * kMaxSubst + 2];
  bool removed[2 * kMaxSubst + 2];
  int n = 0;
  for (int k = 0; k < ne; ++k) {
    const int s = p[k] <= norb ? p[k] - 1 : nocc + p[k] - norb - 1;
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
  // Reference spin-orbitals below v, and whether v is one of them.
  auto below = [&](int v) {
    return std::clamp(v - 1, 0, nocc) + (v > norb ? std::clamp(v - norb - 1, 0, nocc) : 0);
  };
  auto in_reference = [&](int v) { return (v >= 1 && v <= nocc) || (v > norb && v <= norb + nocc); };
  int inversions = 0;
  for (int k = 0; k < n; ++k) {
    if (removed[k]) continue;
    const int v = value[k], s = slot[k];
    const int lb = below(v), ub = lb + in_reference(v);
    inversions += plain(ub, s);      // larger reference values before the slot
    inversions += plain(s + 1, lb);  // smaller ones after it
    for (int l = 0; l < n; ++l)
      if (!removed[l] && slot[l] > s && value[l] < v) ++inversions;
  }
  return inversions & 1 ? -1 : 1;
}

}  // namespace ciprop
