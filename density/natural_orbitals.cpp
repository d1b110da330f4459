// The decompositions come from Eigen: the symmetric eigensolver for a state
// density, the divide-and-conquer singular value decomposition for a
// transition density (Jacobi rotations for blocks below 16 orbitals; up to
// the 500 orbitals of a symmetry, where sweeps of Jacobi rotations alone
// grow costly).  Both run on one thread in a fixed order, so the files are
// the same for any thread count.
//
// An eigenvector or singular vector is fixed only up to its sign, and a
// degenerate one only up to a rotation among its partners.  The files are
// made the same from run to run by three rules:
// - orbitals that the density couples to no other one (frozen and deleted
//   orbitals, the inactive and virtual orbitals of a complete active space,
//   anything the density does not reach) stay the orbitals of the orbital
//   file, unit vectors; only the groups of orbitals linked by non-zero
//   elements are decomposed, each on its own;
// - orbitals follow one another in descending occupation or weight, counted
//   in units of 1e-10 so that values equal but for rounding (the 2.0 of the
//   inactive orbitals) keep the order of the orbitals they come from, the
//   place of their largest coefficient;
// - the largest coefficient of every orbital (of a hole orbital, which takes
//   its particle orbital along) is positive.
#include "density/natural_orbitals.hpp"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>

#include "core/print.hpp"
#include "core/unit_numbers.hpp"
#include "density/results_file.hpp"
#include "input/input_checks.hpp"
#include "orbitals/orbital_file.hpp"

namespace ciprop {

namespace {

using Matrix = Eigen::MatrixXd;

// The sets of indices 0..n-1 that joined pairs link, each in increasing
// order, the sets in the order of their first index.
class Groups {
 public:
  explicit Groups(int n) : parent_(static_cast<size_t>(n)) {
    std::iota(parent_.begin(), parent_.end(), 0);
  }
  void join(int a, int b) { parent_[size_t(root(a))] = root(b); }
  std::vector<std::vector<int>> sets() {
    std::vector<std::vector<int>> out;
    std::vector<int> slot(parent_.size(), -1);
    for (int i = 0; i < static_cast<int>(parent_.size()); ++i) {
      int& k = slot[size_t(root(i))];
      if (k < 0) {
        k = static_cast<int>(out.size());
        out.emplace_back();
      }
      out[size_t(k)].push_back(i);
    }
    return out;
  }

 private:
  std::vector<int> parent_;
  int root(int i) {
    while (parent_[size_t(i)] != i) i = parent_[size_t(i)] = parent_[size_t(parent_[size_t(i)])];
    return i;
  }
};

// One orbital over the n orbitals of its symmetry, its value, and the place
// of its largest coefficient (the first of equal ones).
struct Found {
  std::vector<double> v;
  double value = 0.0;
  int lead = 0;
};

// Makes the largest coefficient positive; `partner` (a particle orbital)
// changes sign with it.
void settle_sign(Found& f, Found* partner = nullptr) {
  f.lead = 0;
  for (int i = 1; i < static_cast<int>(f.v.size()); ++i)
    if (std::abs(f.v[size_t(i)]) > std::abs(f.v[size_t(f.lead)])) f.lead = i;
  if (f.v.empty() || f.v[size_t(f.lead)] >= 0) return;
  for (double& x : f.v) x = -x;
  if (partner)
    for (double& x : partner->v) x = -x;
}

Found unit(int n, int k, double value) {
  Found f{std::vector<double>(size_t(n), 0.0), value, k};
  f.v[size_t(k)] = 1.0;
  return f;
}

// Column k of m spread over the places `at` of an orbital of n.
Found spread(const Matrix& m, int k, const std::vector<int>& at, int n, double value) {
  Found f{std::vector<double>(size_t(n), 0.0), value, 0};
  for (size_t i = 0; i < at.size(); ++i) f.v[size_t(at[i])] = m(Eigen::Index(i), k);
  return f;
}

// Descending value in units of 1e-10, then by the largest coefficient.
bool before(const Found& a, const Found& b) {
  const double ka = std::round(a.value * 1e10), kb = std::round(b.value * 1e10);
  return ka != kb ? ka > kb : a.lead < b.lead;
}

void place(BlockOrbitals& b, int column, const Found& f) {
  std::copy(f.v.begin(), f.v.end(), b.vectors.begin() + static_cast<long>(column) * b.n);
  b.values[size_t(column)] = f.value;
}

BlockOrbitals empty_block(int n) {
  return {n, std::vector<double>(size_t(n) * size_t(n), 0.0), std::vector<double>(size_t(n), 0.0)};
}

}  // namespace

BlockOrbitals natural_orbitals(const double* d, int ld, int n, int frozen, int deleted) {
  auto a = [&](int i, int j) { return 0.5 * (d[i + size_t(j) * ld] + d[j + size_t(i) * ld]); };
  BlockOrbitals out = empty_block(n);
  for (int k = 0; k < n; ++k)
    if (k < frozen || k >= n - deleted) place(out, k, unit(n, k, a(k, k)));
  const int first = frozen, nc = n - frozen - deleted;
  Groups linked(nc);
  for (int j = 0; j < nc; ++j)
    for (int i = 0; i < j; ++i)
      if (a(first + i, first + j) != 0.0) linked.join(i, j);
  std::vector<Found> found;
  for (std::vector<int>& set : linked.sets()) {
    for (int& i : set) i += first;
    const int m = static_cast<int>(set.size());
    if (m == 1) {
      found.push_back(unit(n, set[0], a(set[0], set[0])));
      continue;
    }
    Matrix sub(m, m);
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < m; ++i) sub(i, j) = a(set[size_t(i)], set[size_t(j)]);
    const Eigen::SelfAdjointEigenSolver<Matrix> eig(sub);
    for (int k = 0; k < m; ++k) {
      found.push_back(spread(eig.eigenvectors(), k, set, n, eig.eigenvalues()(k)));
      settle_sign(found.back());
    }
  }
  std::stable_sort(found.begin(), found.end(), before);
  for (int k = 0; k < nc; ++k) place(out, first + k, found[size_t(k)]);
  return out;
}

TransitionOrbitals transition_orbitals(const double* t, int ld, int nh, int np) {
  auto at = [&](int i, int j) { return t[i + size_t(j) * ld]; };
  // Holes are the places 0..nh-1, particles nh..nh+np-1.
  Groups linked(nh + np);
  for (int j = 0; j < np; ++j)
    for (int i = 0; i < nh; ++i)
      if (at(i, j) != 0.0) linked.join(i, nh + j);
  std::vector<std::pair<Found, Found>> pairs;
  std::vector<Found> holes, particles;  // of weight 0, without a partner
  for (const std::vector<int>& set : linked.sets()) {
    std::vector<int> rows, cols;
    for (int x : set) (x < nh ? rows : cols).push_back(x < nh ? x : x - nh);
    if (rows.empty() || cols.empty()) {
      if (rows.empty())
        particles.push_back(unit(np, cols[0], 0.0));
      else
        holes.push_back(unit(nh, rows[0], 0.0));
      continue;
    }
    const int m = static_cast<int>(rows.size()), q = static_cast<int>(cols.size());
    Matrix sub(m, q);
    for (int j = 0; j < q; ++j)
      for (int i = 0; i < m; ++i) sub(i, j) = at(rows[size_t(i)], cols[size_t(j)]);
    const Eigen::BDCSVD<Matrix> svd(sub, Eigen::ComputeFullU | Eigen::ComputeFullV);
    for (int i = 0; i < std::max(m, q); ++i) {
      const double w = i < std::min(m, q) ? svd.singularValues()(i) : 0.0;
      if (w != 0.0) {
        pairs.emplace_back(spread(svd.matrixU(), i, rows, nh, w),
                           spread(svd.matrixV(), i, cols, np, w));
        settle_sign(pairs.back().first, &pairs.back().second);
        continue;
      }
      if (i < m) {
        holes.push_back(spread(svd.matrixU(), i, rows, nh, 0.0));
        settle_sign(holes.back());
      }
      if (i < q) {
        particles.push_back(spread(svd.matrixV(), i, cols, np, 0.0));
        settle_sign(particles.back());
      }
    }
  }
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const auto& a, const auto& b) { return before(a.first, b.first); });
  std::stable_sort(holes.begin(), holes.end(), before);
  std::stable_sort(particles.begin(), particles.end(), before);
  TransitionOrbitals out{empty_block(nh), empty_block(np)};
  int k = 0;
  for (const auto& [h, p] : pairs) {
    place(out.holes, k, h);
    place(out.particles, k++, p);
  }
  for (int kh = k; const Found& h : holes) place(out.holes, kh++, h);
  for (int kp = k; const Found& p : particles) place(out.particles, kp++, p);
  return out;
}

namespace {

// The orbitals of symmetry s over its basis functions: the orbital file's
// coefficients times the orbitals over the orbitals.  Orbitals that the
// file leaves out (deleted ones, the last of their symmetry) stay out.
OrbitalBlock in_basis(const OrbitalRecords& r, int s, const BlockOrbitals& b) {
  OrbitalBlock out;
  out.nbas = r.nb(s);
  out.norb = r.nmo(s);
  out.occ.assign(b.values.begin(), b.values.begin() + out.norb);
  if (out.nbas == 0) return out;
  const Eigen::Map<const Matrix, 0, Eigen::OuterStride<>> c(
      &r.orb(1, r.ioffo(s) + 1), out.nbas, out.nbas, Eigen::OuterStride<>(kMaxOrb));
  const Matrix coef = c * Eigen::Map<const Matrix>(b.vectors.data(), b.n, out.norb);
  out.coef.assign(coef.data(), coef.data() + coef.size());
  return out;
}

// The largest difference between the block (s, t) of the density and the
// one its orbitals give back, sum over k of value(k) left(k) right(k)^T.
double rebuilt_difference(const double* d, int ld, const BlockOrbitals& left,
                          const BlockOrbitals& right) {
  const Eigen::Map<const Matrix> l(left.vectors.data(), left.n, left.n);
  const Eigen::Map<const Matrix> r(right.vectors.data(), right.n, right.n);
  const int k = std::min(left.n, right.n);
  const Eigen::Map<const Eigen::VectorXd> w(left.values.data(), k);
  const Matrix rebuilt = l.leftCols(k) * w.asDiagonal() * r.leftCols(k).transpose();
  double worst = 0.0;
  for (int j = 0; j < right.n; ++j)
    for (int i = 0; i < left.n; ++i)
      worst = std::max(worst, std::abs(d[i + size_t(j) * ld] - rebuilt(i, j)));
  return worst;
}

// The density runs over the orbitals of each symmetry as the orbital file
// holds them: frozen, correlated, deleted.
void check_orbital_layout(Run& run) {
  for (int s = 1; s <= run.sym.nsym; ++s)
    if (run.orbi.ngel(s) + run.sy2.norbs(s) + run.orbi.ndel(s) != run.ints.nb(s)) {
      const std::string reason =
          "symmetry " + std::to_string(s) + ": " + std::to_string(run.ints.nb(s)) +
          " orbitals in the orbital file, but " + std::to_string(run.orbi.ngel(s)) +
          " frozen + " + std::to_string(run.sy2.norbs(s)) + " correlated + " +
          std::to_string(run.orbi.ndel(s)) + " deleted in the density";
      refuse(run, {reason}, reason);
    }
}

// The density d (all orbitals, leading dimension ld) of root1 -> root2
// decomposed, written and summed up.  A transition pairs the holes of
// symmetry s with the particles of s x s1 x s2 (the symmetries of the two
// states); every other block of the density is zero, as is every block
// between two symmetries of a state.
OrbitalAnalysis analyse(Run& run, const double* d, int ld, bool state, int root1, int root2,
                        const std::string& suffix) {
  check_orbital_layout(run);
  const OrbitalRecords& r = run.ints;
  const int nsym = run.sym.nsym;
  const int between = state ? 1 : run.sym.mult(run.dens.isym1, run.dens.isym2);
  auto block = [&](int s, int t) { return d + r.ioffo(s) + size_t(r.ioffo(t)) * ld; };
  OrbitalAnalysis a;
  std::vector<OrbitalBlock> first(static_cast<size_t>(nsym)), second(static_cast<size_t>(nsym));
  double worst = 0.0, largest = 1.0, w2 = 0.0, w4 = 0.0;
  for (int s = 1; s <= nsym; ++s) {
    const int t = run.sym.mult(s, between);
    if (state) {
      const BlockOrbitals b =
          natural_orbitals(block(s, s), ld, r.nb(s), run.orbi.ngel(s), run.orbi.ndel(s));
      first[size_t(s - 1)] = in_basis(r, s, b);
      for (double x : b.values) a.occupation_sum += x;
      worst = std::max(worst, rebuilt_difference(block(s, s), ld, b, b));
    } else {
      const TransitionOrbitals o = transition_orbitals(block(s, t), ld, r.nb(s), r.nb(t));
      first[size_t(s - 1)] = in_basis(r, s, o.holes);
      second[size_t(t - 1)] = in_basis(r, t, o.particles);
      a.particle_symmetry.push_back(t);
      for (double x : o.holes.values) {
        w2 += x * x;
        w4 += x * x * x * x;
      }
      worst = std::max(worst, rebuilt_difference(block(s, t), ld, o.holes, o.particles));
    }
    a.values.push_back(first[size_t(s - 1)].occ);
    for (int u = 1; u <= nsym; ++u)
      for (int j = 0; j < r.nb(u); ++j)
        for (int i = 0; i < r.nb(s); ++i) {
          const double x = std::abs(block(s, u)[i + size_t(j) * ld]);
          largest = std::max(largest, x);
          if (u != t) worst = std::max(worst, x);
        }
  }
  a.participation_ratio = w4 > 0 ? w2 * w2 / w4 : 0.0;
  // The title says what the numbers after the orbitals are (no '#' in it:
  // readers look for the sections by that character).
  const std::string roots = std::to_string(root1) + " -> root " + std::to_string(root2) +
                            ", weights as occupations";
  if (state) {
    a.files = {std::string(kNatOrbFile) + suffix};
    write_whole_file(run, a.files[0], inporb_text("ciprop natural orbitals of root " +
                                                 std::to_string(root1) + " with occupations",
                                             first));
  } else {
    a.files = {std::string(kNtoHoleFile) + suffix, std::string(kNtoParticleFile) + suffix};
    write_whole_file(run, a.files[0],
                 inporb_text("ciprop natural transition orbitals, holes of root " + roots, first));
    write_whole_file(
        run, a.files[1],
        inporb_text("ciprop natural transition orbitals, particles of root " + roots, second));
  }
  // A computed density gives itself back to the last digits; one read from
  // a file may not be symmetric, or may couple orbitals of symmetries its
  // states cannot couple, which no orbitals of one symmetry hold.
  if (worst > 1e-10 * largest) {
    char diff[32];
    std::snprintf(diff, sizeof diff, "%.3g", worst);
    warn(run, a.files[0] + ": the density differs by up to " + diff +
                  " from what its orbitals give back: it is not symmetric, or it couples "
                  "orbitals of symmetries its states do not couple; the orbitals are those of " +
                  (state ? "its symmetric part" : "its part") + " within the symmetry blocks");
  }
  return a;
}

// The table of one density's occupations or weights, symmetry by symmetry.
void print_table(Run& run, const OrbitalAnalysis& a, bool state, int root1, int root2) {
  run.io.list(kUnitReport, {" "});
  if (state) {
    run.io.list(kUnitReport, {"orbitales naturelles de la racine", root1});
    run.io.list(kUnitReport, {"fichier ", a.files[0]});
  } else {
    run.io.list(kUnitReport,
                {"orbitales naturelles de transition des racines", root1, root2});
    run.io.list(kUnitReport, {"fichiers ", a.files[0], " ", a.files[1]});
  }
  for (int s = 1; s <= static_cast<int>(a.values.size()); ++s) {
    const std::vector<double>& v = a.values[size_t(s - 1)];
    if (v.empty()) continue;
    if (state)
      run.io.list(kUnitReport, {"occupations, symetrie", s});
    else
      run.io.list(kUnitReport, {"poids, trous de symetrie", s, ", particules de symetrie",
                                a.particle_symmetry[size_t(s - 1)]});
    run.io.write(kUnitReport, "(1X,6F12.8)",
                 fio::Items().all(v.data(), static_cast<int>(v.size())));
  }
  if (state)
    run.io.list(kUnitReport, {"somme des occupations", a.occupation_sum});
  else
    run.io.list(kUnitReport, {"rapport de participation", a.participation_ratio});
}

}  // namespace

OrbitalAnalysis pair_orbital_files(Run& run, const double* d, int ld, const PairResult& pair,
                                   bool turned) {
  // Without RACINESA every pair starts from root NUMERO(1): the root it
  // reaches names its files.
  std::string suffix = "." + std::to_string(pair.root);
  if (run.ronum.nracinesa > 0 && !pair.state) suffix.insert(0, "." + std::to_string(pair.root1));
  if (!turned) return analyse(run, d, ld, pair.state, pair.root1, pair.root, suffix);
  // Reported from the other root: the electron leaves where the formed
  // density put it back, RO(i, j) of the reported pair is RO(j, i).
  const int n = run.orbi.nbtot;
  std::vector<double> t(size_t(n) * size_t(n));
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) t[size_t(i) + size_t(j) * n] = d[size_t(j) + size_t(i) * ld];
  return analyse(run, t.data(), n, pair.state, pair.root1, pair.root, suffix);
}

void orbital_files(Run& run) {
  run.dens.orbitals = analyse(run, run.dens.mat.data(), kMaxOrb, run.dens.state,
                              run.ronum.numero(1), run.ronum.numero(2), "");
  std::vector<PairResult>& pairs = run.dens.pairs;
  // The first pair's density is `mat`, formed from root NUMERO(1); the
  // other pairs' files were written as their densities were formed.
  if (run.ronum.orbnat == 2 && !pairs.empty())
    pairs[0].orbitals = pair_orbital_files(run, run.dens.mat.data(), kMaxOrb, pairs[0],
                                           pairs[0].root1 != run.ronum.numero(1));
  if (run.ronum.orbnat == 0) return;
  print_table(run, run.dens.orbitals, run.dens.state, run.ronum.numero(1), run.ronum.numero(2));
  for (const PairResult& p : pairs)
    if (!p.orbitals.files.empty()) print_table(run, p.orbitals, p.state, p.root1, p.root);
}

}  // namespace ciprop
