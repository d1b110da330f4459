#include "tools/mkcase/vectors.hpp"

#include <cmath>
#include <stdexcept>

#include "tools/mkcase/records.hpp"
#include "tools/mkcase/rng.hpp"

namespace mkcase {

Roots random_roots(std::size_t ndim, int nroots, double e0, uint64_t seed) {
  if (ndim < static_cast<std::size_t>(nroots))
    throw std::invalid_argument("mkcase: fewer determinants than roots");
  Rng rng(seed);
  Roots r;
  for (int k = 0; k < nroots; ++k) {
    r.energies.push_back(e0 + 0.125 * k + 0.005 * rng.symmetric());
    std::vector<double> v(ndim);
    for (double& x : v) x = rng.symmetric();
    // Gram-Schmidt, twice, against the earlier roots, then normalise.
    for (int pass = 0; pass < 2; ++pass)
      for (const auto& u : r.coef) {
        double dot = 0;
        for (std::size_t i = 0; i < ndim; ++i) dot += u[i] * v[i];
        for (std::size_t i = 0; i < ndim; ++i) v[i] -= dot * u[i];
      }
    double norm = 0;
    for (double x : v) norm += x * x;
    norm = std::sqrt(norm);
    for (double& x : v) x /= norm;
    r.coef.push_back(std::move(v));
  }
  return r;
}

void write_vector_file(const std::string& path, const Roots& roots,
                       const std::vector<int>& order,
                       const std::vector<int8_t>& phase) {
  RecordFile f(path);
  const int32_t head[2] = {static_cast<int32_t>(order.size()),
                           static_cast<int32_t>(roots.coef.size())};
  f.record({{head, sizeof head}});
  f.record(roots.energies);
  std::vector<double> stored(order.size());
  for (const auto& c : roots.coef) {
    for (std::size_t i = 0; i < order.size(); ++i) stored[i] = c[order[i]] * phase[i];
    f.record(stored);
  }
  f.close();
}

}  // namespace mkcase
