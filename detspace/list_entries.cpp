#include "detspace/list_entries.hpp"

namespace ciprop {

ListEntries::ListEntries(const Run& run, unsigned cas_reference)
    : reference_(cas_reference | std::uint64_t{cas_reference} << 16),
      nso_(unsigned(2 * run.orb.norb)),
      words_(nso_ + 3) {
  const int norb = run.orb.norb, noac = run.cs.noac;
  words_[nso_].part = kMarker;
  words_[neutral()] = {0, 0};
  for (int so = 1; so <= 2 * norb; ++so) {
    Word& w = words_[so - 1];
    const int spin = so > norb, o = so - spin * norb, c = run.cs.itype(o);
    if (c == 2) {
      // An active orbital outside the CAS numbering has no string to join.
      const int pos = run.prep.inumac(o);
      if (pos >= 1 && pos <= noac) w.hole = w.part = 1ull << (pos - 1 + 16 * spin);
    } else if (c == 1) {
      w.hole = kOutside;
    } else if (c == 3) {
      w.part = kOutside;
    }
  }
}

}  // namespace ciprop
