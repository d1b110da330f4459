#include "tools/mkcase/case.hpp"

namespace mkcase {

Description::Description() {
  for (int a = 0; a < 8; ++a)
    for (int b = 0; b < 8; ++b) mult[a][b] = (a ^ b) + 1;
}

int Description::norb() const {
  int n = 0;
  for (int s = 0; s < nsym; ++s) n += ninac[s] + nact[s] + nvirt[s];
  return n;
}

int Description::ninac_total() const {
  int n = 0;
  for (int s = 0; s < nsym; ++s) n += ninac[s];
  return n;
}

int Description::noac() const {
  int n = 0;
  for (int s = 0; s < nsym; ++s) n += nact[s];
  return n;
}

int Description::nbas(int s) const {
  return ngel[s - 1] + ninac[s - 1] + nact[s - 1] + nvirt[s - 1] + ndel[s - 1];
}

OrbitalLayout layout(const Description& d) {
  OrbitalLayout l;
  l.ninac = d.ninac_total();
  l.noac = d.noac();
  l.norb = d.norb();
  l.nocc = l.ninac + (d.nelac + 1) / 2;
  // Inactive, then active, then virtual orbitals, each class in symmetry
  // order: the hole and particle addressing of the CI program counts on
  // orbital numbers that increase with symmetry inside a class.
  auto add_class = [&](const std::array<int, 8>& count, bool active) {
    for (int s = 1; s <= d.nsym; ++s)
      for (int k = 0; k < count[s - 1]; ++k) {
        l.isym.push_back(s);
        if (active) l.numac.push_back(static_cast<int>(l.isym.size()));
      }
  };
  add_class(d.ninac, false);
  add_class(d.nact, true);
  add_class(d.nvirt, false);
  // Within a symmetry the orbital file lists the correlated orbitals in
  // increasing CI number.
  std::array<int, 8> seen{};
  for (int k = 0; k < l.norb; ++k) l.file_index.push_back(++seen[l.isym[k] - 1]);
  return l;
}

}  // namespace mkcase
