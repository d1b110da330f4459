#include "tools/mkcase/multireference.hpp"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <span>
#include <stdexcept>

#include "tools/mkcase/rng.hpp"

namespace mkcase {

bool multireference(const std::string& gener) { return gener.rfind("MR", 0) == 0; }

std::vector<Occupation> parse_references(const std::vector<std::string>& refs, int noac) {
  std::vector<Occupation> out;
  for (const std::string& r : refs) {
    bool ok = static_cast<int>(r.size()) == noac;
    Occupation o;
    for (char c : r) {
      ok = ok && c >= '0' && c <= '2';
      o.push_back(c - '0');
    }
    if (!ok)
      throw std::invalid_argument("mkcase: reference '" + r + "' is not " +
                                  std::to_string(noac) + " digits 0..2");
    out.push_back(o);
  }
  return out;
}

namespace {

// nref occupations of nelac electrons, each electron put on an active orbital
// drawn at random among those not yet full; a draw that repeats an earlier
// reference is made again a few times (small spaces have few occupations).
std::vector<Occupation> drawn_references(int nref, int noac, int nelac, uint64_t seed) {
  // A stream of its own beside those of the file orders and the vectors.
  Rng rng(Rng(seed * 0x100000001B3ull + 101).next());
  std::set<Occupation> seen;
  std::vector<Occupation> out;
  for (int r = 0; r < nref; ++r) {
    Occupation o;
    for (int attempt = 0; attempt < 64; ++attempt) {
      o.assign(noac, 0);
      for (int e = 0; e < nelac; ++e) {
        std::size_t k;
        do k = rng.below(noac);
        while (o[k] == 2);
        ++o[k];
      }
      if (!seen.count(o)) break;
    }
    seen.insert(o);
    out.push_back(o);
  }
  return out;
}

}  // namespace

std::vector<Occupation> references(const Description& d) {
  const int noac = d.noac();
  if (!d.refs.empty()) return parse_references(d.refs, noac);
  if (d.nref > 0) return drawn_references(d.nref, noac, d.nelac, d.seed);
  Occupation o(noac);
  for (int k = 0; k < noac; ++k) o[k] = (k < d.nca0()) + (k < d.ncb0());
  return {o};
}

void write_occmrs(const std::string& path, const std::vector<Occupation>& refs) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) throw std::runtime_error("mkcase: cannot write " + path);
  // gfortran's list-directed integer: a blank and the value in 11 columns.
  std::fprintf(f, "%12zu\n", refs.size());
  for (const Occupation& o : refs) {
    for (int n : o) std::fputc('0' + n, f);
    std::fputc('\n', f);
  }
  if (std::fclose(f) != 0) throw std::runtime_error("mkcase: cannot write " + path);
}

int distance_to_references(const Occupation& occ, const std::vector<Occupation>& refs) {
  int best = 5;
  for (const Occupation& r : refs) {
    int s = 0;
    for (std::size_t k = 0; k < occ.size() && s < best; ++k) s += std::abs(occ[k] - r[k]);
    if (s < best) best = s;
  }
  return best;
}

HoleCounts admitted_holes(const std::string& g, int nelc, int difref) {
  const bool mono = g == "MRM " || g == "MRTM";
  // How far the active electron count may move from the references'.
  const int iplus = g == "MRC " ? 0 : mono ? 1 : 2;
  // The "MRT" modes take every occupation as if a reference lay as near as
  // its electron count allows: their spaces are those of the single-reference
  // modes over the whole active space.
  if (g.rfind("MRT", 0) == 0) difref = std::abs(nelc);
  HoleCounts c;
  if (std::abs(nelc) > iplus) return c;

  // Moving away from the references spends the excitations a determinant
  // may make: an occupation at distance 0 takes up to two holes, each with
  // a particle; one at distance 2 (one electron moved inside the active
  // orbitals) up to one; one at distance 4 none.  An electron more or fewer
  // in the active orbitals fixes one hole or one particle, and goes with an
  // odd distance.
  struct Row {
    int nelc, difref, mint, maxt;
  };
  static const Row full[] = {{0, 0, 0, 2},  {0, 2, 0, 1},  {0, 4, 0, 0},
                             {1, 1, 1, 2},  {1, 3, 1, 1},  {2, 2, 2, 2},
                             {-1, 1, 0, 1}, {-1, 3, 0, 0}, {-2, 2, 0, 0}};
  // Single excitations only: one hole and one particle at most.
  static const Row single[] = {{0, 0, 0, 1}, {0, 2, 0, 0}, {1, 1, 1, 1}, {-1, 1, 0, 0}};
  for (const Row& r : mono ? std::span<const Row>(single) : std::span<const Row>(full))
    if (r.nelc == nelc && r.difref == difref) c = {r.mint, r.maxt};

  // A complete active space over the references: the references themselves,
  // neither holes nor particles.
  if (g == "MRC ") c = nelc == 0 && difref == 0 ? HoleCounts{0, 0} : HoleCounts{};

  // The difference-dedicated variants cap the holes and particles of the
  // largest admitted count: three in all ("MRDD", "MRTD"), two ("MRD2",
  // "MRT2").
  const int cap = g == "MRDD" || g == "MRTD" ? 3 : g == "MRD2" || g == "MRT2" ? 2 : 4;
  if (c.any() && 2 * c.maxt - nelc > cap) --c.maxt;
  return c;
}

}  // namespace mkcase
