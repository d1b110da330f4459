#include "tools/mkcase/case.hpp"

#include <stdexcept>
#include <string>

#include "tools/mkcase/multireference.hpp"

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

int Description::nocc() const { return ninac_total() + (nelac + 1) / 2; }
int Description::nca0() const { return nelac / 2 + ms2 / 2; }
int Description::ncb0() const { return (nelac + 1) / 2 - ms2 / 2; }

namespace {

void require(bool ok, const std::string& what) {
  if (!ok) throw std::invalid_argument("mkcase: " + what);
}

bool known_mode(const std::string& g) {
  for (const char* m : {"CAS ", "PERT", "DDCI", "DDci", "DDC2", "TOUS", "MONO", "MR  ",
                        "MRS ", "MRD2", "MRDD", "MRT2", "MRTD", "MRT ", "MRM ", "MRTM", "MRC "})
    if (g == m) return true;
  return false;
}

}  // namespace

void check(const Description& d) {
  require(d.nsym >= 1 && d.nsym <= 8, "nsym must be 1 to 8");
  int nbtot = 0;
  for (int s = 0; s < 8; ++s) {
    require(d.ninac[s] >= 0 && d.nact[s] >= 0 && d.nvirt[s] >= 0 &&
                d.ngel[s] >= 0 && d.ndel[s] >= 0,
            "orbital counts must not be negative");
    if (s >= d.nsym)
      require(d.ninac[s] + d.nact[s] + d.nvirt[s] + d.ngel[s] + d.ndel[s] == 0,
              "orbitals given for a symmetry above nsym");
    else
      nbtot += d.nbas(s + 1);
    for (int t = 0; t < 8; ++t)
      require(d.mult[s][t] >= 1 && d.mult[s][t] <= 8,
              "symmetry table entries must be 1 to 8");
  }
  require(d.norb() >= 1 && d.norb() <= 500, "norb must be 1 to 500");
  require(nbtot <= 500, "more than 500 basis functions in all");
  require(d.noac() <= 16, "at most 16 active orbitals");
  require(d.nelac >= 0 && d.nelac <= 2 * d.noac(),
          "nelac must be 0 to twice the active orbitals");
  require(d.ms2 <= 0, "ms2 must be 0 or negative");
  // The CI program's files count one electron fewer of alpha spin than the
  // reference for an odd electron count; its readers derive that from ms2,
  // so ms2 and nelac have the same parity.
  require((d.nelac - d.ms2) % 2 == 0, "ms2 must have the parity of nelac");
  require(d.nca0() >= 0 && d.ncb0() <= d.noac(),
          "ms2 too large in magnitude for the active space");
  require(d.is0 >= 1 && d.is0 <= d.nsym, "is0 must be 1 to nsym");
  require(d.is0a >= 0 && d.is0a <= d.nsym, "is0a must be 0 to nsym");
  require(!d.one_list || d.is0_a() == d.is0, "one list serves two states of one symmetry only");
  require(known_mode(d.gener),
          "gener must be one of 'CAS ', PERT, DDCI, DDci, DDC2, TOUS, MONO, 'MR  ', 'MRS ', "
          "MRD2, MRDD, MRT2, MRTD, 'MRT ', 'MRM ', MRTM, 'MRC '");
  if (multireference(d.gener)) {
    require(d.refs.empty() || d.nref == 0, "give the references or their number, not both");
    // The CI program holds at most 1000 references.
    require(d.nref >= 0 && d.nref <= 1000 && d.refs.size() <= 1000,
            "at most 1000 references");
    parse_references(d.refs, d.noac());
  } else {
    require(d.refs.empty() && d.nref == 0, "references belong to the MR modes only");
  }
  require(d.nroots >= 1, "nroots must be at least 1");
  require(d.root1 >= 1 && d.root1 <= d.nroots && d.root2 >= 1 &&
              d.root2 <= d.nroots,
          "the roots asked for must be 1 to nroots");
  require(d.molcas == 4 || d.molcas == 5 || d.molcas == 54 || d.molcas == 22,
          "molcas must be 4, 5, 54 or 22");
  require(d.inporb.empty() || d.inporb == "1.0" || d.inporb == "1.1" || d.inporb == "2.0" ||
              d.inporb == "2.1" || d.inporb == "2.2",
          "inporb must be 1.0, 1.1, 2.0, 2.1 or 2.2");
  require(!d.inporb_without_deleted || d.molcas == 22 || !d.inporb.empty(),
          "only an #INPORB orbital file can leave out the deleted orbitals");
  for (int s : d.symxyz)
    require(s >= 1 && s <= d.nsym, "symmetries of x, y, z must be 1 to nsym");
  // The packed layout stores holes as single bytes (0 meaning 256) with no
  // high-bit stream, so no reference orbital may lie above 256.
  require(!d.packed || d.nocc() <= 256,
          "the packed layout cannot hold holes above orbital 256");
  // Up to 256 orbitals it has no high-bit stream either, so the empty-slot
  // marker (orbital norb + 1) must stay within 256.
  require(!d.packed || d.norb() != 256 || d.nelac % 2 == 0,
          "the packed layout cannot hold the empty-slot marker with 256 orbitals");
}

Description describe(const std::string& gener, int nsym, const std::array<int, 8>& ninac,
                     const std::array<int, 8>& nact, const std::array<int, 8>& nvirt, int nelac,
                     int ms2, int is0) {
  Description d;
  d.gener = gener;
  d.nsym = nsym;
  d.ninac = ninac;
  d.nact = nact;
  d.nvirt = nvirt;
  d.nelac = nelac;
  d.ms2 = ms2;
  d.is0 = is0;
  return d;
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
