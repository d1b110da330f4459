#include "tools/mkcase/space.hpp"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>

#include "tools/mkcase/multireference.hpp"

namespace mkcase {

namespace {

// Changes of the active alpha and beta electron counts against the reference
// occupation that a mode allows.
std::vector<std::pair<int, int>> active_offsets(const std::string& g) {
  std::vector<std::pair<int, int>> o = {{0, 0},  {-1, 0}, {0, -1}, {1, 0}, {0, 1},
                                        {-1, 1}, {1, -1}, {-2, 0}, {0, -2}, {2, 0},
                                        {0, 2},  {1, 1},  {-1, -1}};
  if (g == "DDCI" || g == "TOUS" || g == "DDC2")
    o.insert(o.end(), {{-2, 1}, {2, -1}, {-1, 2}, {1, -2}});
  if (g == "TOUS") o.insert(o.end(), {{-2, 2}, {2, -2}});
  return o;
}

// The spin change dspin of the active part, folded to -2..2.
int spin_class(int dspin) {
  int m = (std::abs(dspin) + 1) / 2;
  return dspin < 0 ? -m : m;
}

// Whether a mode keeps the active spin class for a given change nelc of the
// active electron count.
bool keeps_spin_class(const std::string& g, int nelc, int ispc1) {
  if (g == "CAS ") return ispc1 == 0;
  if (nelc == 2 || nelc == -2) return ispc1 >= -1 && ispc1 <= 1;
  if (nelc == 0) return g == "TOUS" || (ispc1 >= -1 && ispc1 <= 1);
  // nelc = +-1: the modes that reach three unpaired active spins take +-2
  if (g == "PERT" || g == "DDci") return ispc1 == -1 || ispc1 == 1;
  return ispc1 != 0;
}

// Whether a mode keeps nt holes with np particles.  PERT keeps the double
// excitations out of the inactive into the virtual orbitals only where the
// active part keeps the spin and the symmetry of the state.
bool keeps_excitation(const std::string& g, int nt, int np, int dspin, int isc,
                      int is0) {
  if (g == "PERT") return nt < 2 || np < 2 || (dspin == 0 && isc == is0);
  if (g == "DDCI" || g == "DDci") return nt < 2 || np < 2;
  if (g == "DDC2") return nt + np <= 2;
  if (g == "CAS ") return nt == 0 && np == 0;
  if (g == "MONO") return nt <= 1 && np <= 1;
  return true;  // TOUS
}

// Sets of at most two spin-orbitals of one orbital class, grouped by size n,
// spin balance (alpha minus beta, -2..2) and symmetry product.
struct SpinOrbitalSets {
  std::vector<std::array<int16_t, 2>> g[3][5][8];
  const std::vector<std::array<int16_t, 2>>& at(int n, int spin, int sym) const {
    static const std::vector<std::array<int16_t, 2>> none;
    if (spin < -2 || spin > 2) return none;
    return g[n][spin + 2][sym - 1];
  }
};

SpinOrbitalSets spin_orbital_sets(const std::vector<int>& orbs, const Description& d,
                                  const OrbitalLayout& l) {
  SpinOrbitalSets s;
  auto sym = [&](int o) { return l.isym[o - 1]; };
  auto prod = [&](int a, int b) { return d.mult[a - 1][b - 1]; };
  const int16_t n = static_cast<int16_t>(l.norb);
  s.g[0][2][0].push_back({0, 0});
  for (int o : orbs) {
    s.g[1][3][sym(o) - 1].push_back({static_cast<int16_t>(o), 0});
    s.g[1][1][sym(o) - 1].push_back({static_cast<int16_t>(n + o), 0});
  }
  for (std::size_t a = 0; a < orbs.size(); ++a)
    for (std::size_t b = 0; b < orbs.size(); ++b) {
      int16_t oa = static_cast<int16_t>(orbs[a]), ob = static_cast<int16_t>(orbs[b]);
      int st = prod(sym(oa), sym(ob)) - 1;
      if (a < b) {
        s.g[2][4][st].push_back({oa, ob});
        s.g[2][0][st].push_back({static_cast<int16_t>(n + oa), static_cast<int16_t>(n + ob)});
      }
      s.g[2][2][st].push_back({oa, static_cast<int16_t>(n + ob)});
    }
  return s;
}

// Orbital classes of the layout: the inactive orbitals are 1..ninac, the
// active ones follow, the virtual ones come last.
std::vector<int> class_orbitals(const OrbitalLayout& l, bool inactive) {
  std::vector<int> out;
  int first = inactive ? 1 : l.ninac + l.noac + 1;
  int last = inactive ? l.ninac : l.norb;
  for (int o = first; o <= last; ++o) out.push_back(o);
  return out;
}

// Active strings by electron count and symmetry.
struct Strings {
  std::vector<uint16_t> by[17][8];
};

Strings active_strings(const Description& d, const OrbitalLayout& l) {
  Strings s;
  for (uint32_t mask = 0; mask < (1u << l.noac); ++mask) {
    int sym = 1, n = 0;
    for (int k = 0; k < l.noac; ++k)
      if (mask >> k & 1) {
        sym = d.mult[sym - 1][l.isym[l.numac[k] - 1] - 1];
        ++n;
      }
    s.by[n][sym - 1].push_back(static_cast<uint16_t>(mask));
  }
  return s;
}

// What every determinant of a space is made of.
struct Pieces {
  OrbitalLayout l;
  SpinOrbitalSets holes, parts;
  Strings strings;
};

Pieces space_pieces(const Description& d) {
  check(d);
  Pieces p;
  p.l = layout(d);
  p.holes = spin_orbital_sets(class_orbitals(p.l, true), d, p.l);
  p.parts = spin_orbital_sets(class_orbitals(p.l, false), d, p.l);
  p.strings = active_strings(d, p.l);
  return p;
}

// Calls f(holes, parts, alpha strings, beta strings, nt, np) for every block
// of the space: a product of hole sets, particle sets and string sets of the
// right sizes, spins and symmetries.
template <class F>
void for_each_block(const Description& d, int is0, const Pieces& pieces, F f) {
  const auto& [l, holes, parts, strings] = pieces;
  auto prod = [&](int a, int b) { return d.mult[a - 1][b - 1]; };
  const int nca0 = d.nca0(), ncb0 = d.ncb0();
  for (auto [da, db] : active_offsets(d.gener)) {
    int na = nca0 + da, nb = ncb0 + db;
    if (na < 0 || nb < 0 || na > l.noac || nb > l.noac) continue;
    int nelc = da + db, dspin = da - db;
    if (!keeps_spin_class(d.gener, nelc, spin_class(dspin))) continue;
    if (nelc == -2 && d.nelac == 2 && nca0 + dspin != ncb0) continue;
    for (int nt = std::max(nelc, 0); nt <= std::min(nelc + 2, 2); ++nt) {
      int np = nt - nelc;
      for (int ispt = -nt; ispt <= nt; ispt += 2) {
        // Spin balance: what the active part gains over the reference the
        // holes and particles give back.
        int ispp = ispt - dspin;
        for (int ist = 1; ist <= d.nsym; ++ist) {
          const auto& h = holes.at(nt, ispt, ist);
          if (h.empty()) continue;
          for (int isp = 1; isp <= d.nsym; ++isp) {
            const auto& p = parts.at(np, ispp, isp);
            if (p.empty()) continue;
            for (int isc = 1; isc <= d.nsym; ++isc) {
              if (prod(prod(isc, ist), isp) != is0) continue;
              if (!keeps_excitation(d.gener, nt, np, dspin, isc, is0)) continue;
              for (int isa = 1; isa <= d.nsym; ++isa)
                for (int isb = 1; isb <= d.nsym; ++isb)
                  if (prod(isa, isb) == isc)
                    f(h, p, strings.by[na][isa - 1], strings.by[nb][isb - 1], nt, np);
            }
          }
        }
      }
    }
  }
}

// The multireference space on explicit determinants: every choice of at most
// two holes and two particles of given spins, every pair of active strings
// that completes the alpha and beta electron counts of the state, and the
// determinant kept when the class of its active occupation (its electron
// count and its distance to the references) admits its number of holes, and
// when its symmetry is that of the state.  Calls f like for_each_block, with
// one alpha and one beta string at a time.
template <class F>
void for_each_multireference_group(const Description& d, int is0, const Pieces& pieces, F f) {
  const auto& [l, holes, parts, strings] = pieces;
  const std::vector<Occupation> refs = references(d);
  auto prod = [&](int a, int b) { return d.mult[a - 1][b - 1]; };
  // Classes by occupation: doubly occupied orbitals in the high half of the
  // key, singly occupied ones in the low half.
  std::unordered_map<uint32_t, HoleCounts> classes;
  auto class_of = [&](uint16_t a, uint16_t b) {
    const uint32_t key = uint32_t(a & b) << 16 | uint32_t(a ^ b);
    if (auto it = classes.find(key); it != classes.end()) return it->second;
    Occupation occ(l.noac);
    int n = 0;
    for (int k = 0; k < l.noac; ++k) n += occ[k] = (a >> k & 1) + (b >> k & 1);
    HoleCounts c = admitted_holes(d.gener, n - d.nelac, distance_to_references(occ, refs));
    classes.emplace(key, c);
    return c;
  };
  for (int nt = 0; nt <= 2; ++nt)
    for (int ispt = -nt; ispt <= nt; ispt += 2)
      for (int np = 0; np <= 2; ++np)
        for (int ispp = -np; ispp <= np; ispp += 2) {
          // Active electrons of each spin: the reference's, plus what the
          // holes took out of the inactive shell, minus what the particles
          // put into the virtual orbitals.
          const int alpha_holes = (nt + ispt) / 2, alpha_parts = (np + ispp) / 2;
          const int na = d.nca0() + alpha_holes - alpha_parts;
          const int nb = d.ncb0() + (nt - alpha_holes) - (np - alpha_parts);
          if (na < 0 || nb < 0 || na > l.noac || nb > l.noac) continue;
          for (int isa = 1; isa <= d.nsym; ++isa)
            for (int isb = 1; isb <= d.nsym; ++isb)
              for (const uint16_t& a : strings.by[na][isa - 1])
                for (const uint16_t& b : strings.by[nb][isb - 1]) {
                  if (!class_of(a, b).admits(nt)) continue;
                  const int isc = prod(isa, isb);
                  for (int ist = 1; ist <= d.nsym; ++ist)
                    for (int isp = 1; isp <= d.nsym; ++isp) {
                      if (prod(prod(isc, ist), isp) != is0) continue;
                      const auto& h = holes.at(nt, ispt, ist);
                      const auto& p = parts.at(np, ispp, isp);
                      if (!h.empty() && !p.empty())
                        f(h, p, std::span<const uint16_t>(&a, 1),
                          std::span<const uint16_t>(&b, 1), nt, np);
                    }
                }
        }
}

template <class F>
void for_each_group(const Description& d, int is0, F f) {
  const Pieces pieces = space_pieces(d);
  if (multireference(d.gener))
    for_each_multireference_group(d, is0, pieces, f);
  else
    for_each_block(d, is0, pieces, f);
}

}  // namespace

long long space_size(const Description& d, int is0) {
  long long n = 0;
  for_each_group(d, is0, [&](const auto& h, const auto& p, const auto& a,
                             const auto& b, int, int) {
    n += static_cast<long long>(h.size()) * p.size() * a.size() * b.size();
  });
  return n;
}

std::vector<Determinant> enumerate_space(const Description& d, int is0) {
  std::vector<Determinant> out;
  out.reserve(static_cast<std::size_t>(space_size(d, is0)));
  for_each_group(d, is0, [&](const auto& h, const auto& p, const auto& a,
                             const auto& b, int nt, int np) {
    Determinant det;
    det.nt = static_cast<int8_t>(nt);
    det.np = static_cast<int8_t>(np);
    for (const auto& hs : h)
      for (const auto& ps : p)
        for (uint16_t bs : b)
          for (uint16_t as : a) {
            det.holes = hs;
            det.parts = ps;
            det.alpha = as;
            det.beta = bs;
            out.push_back(det);
          }
  });
  return out;
}

std::vector<int> spin_orbitals(const Determinant& det, const OrbitalLayout& l,
                               int spin) {
  const int shift = spin == 0 ? 0 : l.norb;
  const uint16_t mask = spin == 0 ? det.alpha : det.beta;
  std::vector<int> out;
  for (int o = 1; o <= l.ninac; ++o)
    if (det.holes[0] != o + shift && det.holes[1] != o + shift) out.push_back(o);
  for (int k = 0; k < l.noac; ++k)
    if (mask >> k & 1) out.push_back(l.numac[k]);
  for (int i = 0; i < det.np; ++i) {
    int o = det.parts[i] - shift;
    if (o >= 1 && o <= l.norb) out.push_back(o);
  }
  return out;
}

std::vector<int> occupied(const Determinant& det, const OrbitalLayout& l) {
  std::vector<int> out = spin_orbitals(det, l, 0);
  for (int o : spin_orbitals(det, l, 1)) out.push_back(l.norb + o);
  return out;
}

Excitation excitation(const Determinant& det, const OrbitalLayout& l) {
  Excitation e;
  excitation(det, l, e);
  return e;
}

void excitation(const Determinant& det, const OrbitalLayout& l, Excitation& e) {
  e.holes.clear();
  e.parts.clear();
  // The reference fills both spins of orbitals 1..nocc: the inactive ones
  // and the first active ones.
  for (int spin = 0; spin < 2; ++spin) {
    const int shift = spin == 0 ? 0 : l.norb;
    const uint16_t mask = spin == 0 ? det.alpha : det.beta;
    for (int i = 0; i < det.nt; ++i)
      if ((det.holes[i] > l.norb) == (spin == 1)) e.holes.push_back(det.holes[i]);
    for (int k = 0; k < l.noac; ++k) {
      bool in_ref = l.numac[k] <= l.nocc, in_det = mask >> k & 1;
      if (in_ref && !in_det) e.holes.push_back(shift + l.numac[k]);
      if (!in_ref && in_det) e.parts.push_back(shift + l.numac[k]);
    }
    for (int i = 0; i < det.np; ++i)
      if ((det.parts[i] > l.norb) == (spin == 1)) e.parts.push_back(det.parts[i]);
  }
  if (e.holes.size() == e.parts.size() + 1) e.parts.push_back(2 * l.norb + 1);
  if (e.holes.size() != e.parts.size())
    throw std::logic_error("mkcase: determinant with the wrong electron count");
}

}  // namespace mkcase
