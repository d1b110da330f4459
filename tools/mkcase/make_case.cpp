#include "tools/mkcase/make_case.hpp"

#include <cstdio>
#include <filesystem>
#include <numeric>
#include <stdexcept>

#include "tools/mkcase/density.hpp"
#include "tools/mkcase/detfile.hpp"
#include "tools/mkcase/multireference.hpp"
#include "tools/mkcase/records.hpp"
#include "tools/mkcase/rng.hpp"
#include "tools/mkcase/runfiles.hpp"

namespace mkcase {

namespace {

// Independent streams of the one seed, one per use.
enum Stream : uint64_t { kOrderA = 1, kOrderB, kListA, kListB, kRootsA, kRootsB };
uint64_t stream_seed(const Description& d, Stream s) {
  return Rng(d.seed * 0x100000001B3ull + s).next();
}

std::vector<int> file_order(const Description& d, const std::vector<int>& asked,
                            std::size_t n, Stream s) {
  std::vector<int> order(n);
  if (!asked.empty()) {
    if (asked.size() != n) throw std::invalid_argument("mkcase: file order of the wrong length");
    std::vector<bool> seen(n, false);
    for (int k : asked) {
      if (k < 0 || static_cast<std::size_t>(k) >= n || seen[k])
        throw std::invalid_argument("mkcase: file order is not a permutation");
      seen[k] = true;
    }
    return asked;
  }
  std::iota(order.begin(), order.end(), 0);
  if (d.shuffle) {
    Rng rng(stream_seed(d, s));
    for (std::size_t i = n; i > 1; --i) std::swap(order[i - 1], order[rng.below(i)]);
  }
  return order;
}

std::shared_ptr<const Space> make_space(const Description& d, int is0, double e0, Stream s) {
  auto sp = std::make_shared<Space>();
  sp->is0 = is0;
  sp->dets = enumerate_space(d, is0);
  sp->roots = random_roots(sp->dets.size(), d.nroots, e0, stream_seed(d, s));
  return sp;
}

ListFile write_list(const Description& d, const Space& sp, const std::string& dir,
                    const char* list, const char* vectors, const std::vector<int>& asked,
                    Stream order_stream, Stream list_stream) {
  ListFile f;
  f.order = file_order(d, asked, sp.dets.size(), order_stream);
  f.phase = write_determinant_list((std::filesystem::path(dir) / list).string(), sp.dets,
                                   f.order, d, stream_seed(d, list_stream));
  write_vector_file((std::filesystem::path(dir) / vectors).string(), sp.roots, f.order, f.phase);
  return f;
}

void compute_densities(Case& c) {
  const Space& a = *c.a;
  const Space& b = *c.b;
  if (density_cost(a.dets.size(), c.layout, c.d.nelac) > c.d.density_limit) return;
  const auto& c1 = a.roots.coef[c.d.root1 - 1];
  const auto& c2 = b.roots.coef[c.d.root2 - 1];
  std::vector<StatePair> pairs;
  for (const auto& r : a.roots.coef) pairs.push_back({&r, &r});
  if (c.a == c.b) {
    pairs.push_back({&c1, &c2});
    c.dens = one_particle_densities(a.dets, a.dets, c.layout, pairs);
    c.ro = c.dens.back();
    c.dens.pop_back();
  } else {
    c.dens = one_particle_densities(a.dets, a.dets, c.layout, pairs);
    c.ro = one_particle_densities(a.dets, b.dets, c.layout, {{&c1, &c2}}).front();
  }
}

// The state densities, one record per root of the first vector file, the
// matrix D of the root column by column: D(j,i) at (i-1)*norb + j.  A state
// density is symmetric, so D = RO.
void write_density_file(const Case& c, const std::string& dir) {
  const int n = c.layout.norb;
  RecordFile f((std::filesystem::path(dir) / "dens").string());
  std::vector<double> rec(std::size_t(n) * n);
  for (const auto& ro : c.dens) {
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j)
        rec[std::size_t(i - 1) * n + (j - 1)] = ro[(i - 1) + std::size_t(j - 1) * n];
    f.record(rec);
  }
  f.close();
}

void write_expected(const Case& c, const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) throw std::runtime_error("mkcase: cannot write " + path);
  const int n = c.layout.norb;
  auto energies = [&](const char* name, const Space& s) {
    std::fprintf(f, "%s", name);
    for (double e : s.roots.energies) std::fprintf(f, " %.17g", e);
    std::fprintf(f, "\n");
  };
  std::fprintf(f, "ndet_a %zu\nndet_b %zu\n", c.a->dets.size(), c.b->dets.size());
  std::fprintf(f, "is0_a %d\nis0_b %d\n", c.a->is0, c.b->is0);
  energies("energies_a", *c.a);
  energies("energies_b", *c.b);
  std::fprintf(f, "roots %d %d\n", c.d.root1, c.d.root2);
  std::fprintf(f, "e1 %.17g\ne2 %.17g\ndeltae %.17g\n",
               c.a->roots.energies[c.d.root1 - 1], c.b->roots.energies[c.d.root2 - 1], c.deltae);
  std::fprintf(f, "density %s\n", c.ro.empty() ? "skipped" : "computed");
  if (!c.ro.empty()) {
    double trace = 0;
    for (int i = 0; i < n; ++i) trace += c.ro[i + std::size_t(i) * n];
    std::fprintf(f, "ro_trace %.17g\n", trace);
    // RO(i,j) over the CI orbitals, i annihilated in the first state and j
    // created toward the second; elements that are exactly zero are left out.
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i)
        if (double v = c.ro[(i - 1) + std::size_t(j - 1) * n]; v != 0.0)
          std::fprintf(f, "ro %d %d %.17g\n", i, j, v);
  }
  if (std::fclose(f) != 0) throw std::runtime_error("mkcase: cannot write " + path);
}

}  // namespace

Case make_case(const Description& d, const std::string& dir) {
  check(d);
  std::filesystem::create_directories(dir);
  Case c;
  c.d = d;
  c.layout = layout(d);
  c.a = make_space(d, d.is0_a(), -100.0, kRootsA);
  c.b = d.is0_a() == d.is0 ? c.a : make_space(d, d.is0, -100.0625, kRootsB);
  write_run_description(d, dir, static_cast<long long>(c.b->dets.size()));
  if (multireference(d.gener))
    write_occmrs((std::filesystem::path(dir) / "OCCMRS").string(), references(d));
  if (d.one_list)
    c.deta = write_list(d, *c.a, dir, "deta", "daveca", d.order_b, kOrderB, kListB);
  else
    c.deta = write_list(d, *c.a, dir, "deta", "daveca", d.order_a, kOrderA, kListA);
  c.detb = write_list(d, *c.b, dir, "detb", "davecb", d.order_b, kOrderB, kListB);
  c.deltae = c.b->roots.energies[d.root2 - 1] - c.a->roots.energies[d.root1 - 1];
  compute_densities(c);
  if (!c.dens.empty()) write_density_file(c, dir);
  write_text(dir, "input", input_text(d, !c.dens.empty()));
  c.molcas = write_molcas(d, dir);
  const std::string expected = (std::filesystem::path(dir) / "expected").string();
  write_expected(c, expected);
  if (!c.ro.empty()) {
    c.moments = moments(c.molcas, expand_density(d, c.ro, c.deltae == 0.0), c.deltae);
    append_expected(c.moments, d.ioper, expected);
  }
  return c;
}

}  // namespace mkcase
