// CI spaces held in memory for the density kernels: the address tables
// that the real stages build from a generated run description, the
// generator's enumeration of the space as the first determinant list and its
// random orthonormal roots, and the generator's brute-force density.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "density/transition_density.hpp"
#include "driver/driver.hpp"
#include "input/open_files.hpp"
#include "detspace/address_tables.hpp"
#include "detspace/reference_configurations.hpp"
#include "tests/detspace/tables_case.hpp"
#include "tools/mkcase/density.hpp"
#include "tools/mkcase/multireference.hpp"
#include "tools/mkcase/space.hpp"
#include "tools/mkcase/vectors.hpp"

namespace in_memory {

using namespace ciprop;

// The generator's enumeration of a space, as a determinant list.
class Enumeration final : public DeterminantSource {
 public:
  Enumeration(const std::vector<mkcase::Determinant>& dets, const mkcase::OrbitalLayout& l,
              size_t count)
      : dets_(dets), layout_(l), count_(count) {}
  bool next(int& ne, int* p, int* q) override {
    if (k_ == count_) return false;
    mkcase::excitation(dets_[k_++], layout_, e_);
    ne = static_cast<int>(e_.holes.size());
    std::copy(e_.holes.begin(), e_.holes.end(), p);
    std::copy(e_.parts.begin(), e_.parts.end(), q);
    return true;
  }
  std::string name() const override { return "enumeration"; }

 private:
  const std::vector<mkcase::Determinant>& dets_;
  const mkcase::OrbitalLayout& layout_;
  size_t count_, k_ = 0;
  mkcase::Excitation e_;
};

// A list with its k-th determinant (from 1) edited.
class Edited final : public DeterminantSource {
 public:
  Edited(DeterminantSource& inner, int k, std::function<void(int&, int*, int*)> edit)
      : inner_(inner), k_(k), edit_(std::move(edit)) {}
  bool next(int& ne, int* p, int* q) override {
    if (!inner_.next(ne, p, q)) return false;
    if (++at_ == k_) edit_(ne, p, q);
    return true;
  }
  std::string name() const override { return inner_.name(); }

 private:
  DeterminantSource& inner_;
  int k_, at_ = 0;
  std::function<void(int&, int*, int*)> edit_;
};

// The same tables without their shortcut: every excited determinant is split
// and looked up one by one.
class WithoutShortcut final : public AddressTables {
 public:
  explicit WithoutShortcut(const AddressTables& t) : AddressTables(t.records()), t_(t) {}
  int size() const override { return t_.size(); }
  int address(const SplitDet& d) const override { return t_.address(d); }
  bool active_only() const override { return t_.active_only(); }

 private:
  const AddressTables& t_;
};

using Matrix = std::vector<double>;  // norb x norb, column-major

inline double largest_difference(const Matrix& a, const Matrix& b) {
  double worst = 0;
  for (size_t k = 0; k < a.size(); ++k) worst = std::max(worst, std::abs(a[k] - b[k]));
  return worst;
}

inline double largest(const Matrix& m) {
  double big = 0;
  for (const double v : m) big = std::max(big, std::abs(v));
  return big;
}

// A space of the description with three roots, and the kernel run on it.
struct Space {
  mkcase::Description d;
  tables::Tables t;
  std::unique_ptr<AddressTables> tables;
  std::vector<mkcase::Determinant> dets;
  mkcase::Roots roots;
  int norb = 0;

  explicit Space(const mkcase::Description& desc) : d(desc), t(desc) {
    EXPECT_EQ(t.prepad(), -1) << t.out.str();
    if (mkcase::multireference(d.gener)) {
      const std::string occmrs = (t.dir.path() / "OCCMRS").string();
      mkcase::write_occmrs(occmrs, mkcase::references(d));
      reference_configurations(*t.run, occmrs);
    }
    tables = make_address_tables(*t.run);
    dets = mkcase::enumerate_space(d, d.is0);
    roots = mkcase::random_roots(dets.size(), 3, -75.0, 11);
    norb = t.layout.norb;
  }
  // Root r (0-based) in address order.
  std::vector<double> in_address_order(int r) {
    std::vector<double> v(static_cast<size_t>(tables->size()), 0.0);
    for (size_t k = 0; k < dets.size(); ++k) {
      const int iadr = tables->address(t.split(dets[k]));
      EXPECT_GE(iadr, 1);
      v[static_cast<size_t>(iadr - 1)] = roots.coef[static_cast<size_t>(r)][k];
    }
    return v;
  }
  // Vector 1 as the density stage hands it over: in the order of its list
  // and gathered into the address order of its space.
  Matrix density(int r1, int r2, const AddressTables& through) {
    Enumeration list(dets, t.layout, dets.size());
    const std::vector<double> psi2 = in_address_order(r2);
    const std::vector<double>& psi1 = roots.coef[static_cast<size_t>(r1)];
    const std::vector<double> ordered1 = in_address_order(r1);
    const TransitionDensity td =
        transition_density(through, list, {psi1.data(), int(psi1.size()), d.is0, ordered1.data()},
                           {psi2.data(), int(psi2.size()), d.is0});
    EXPECT_EQ(td.ro.n, norb);
    return td.ro.v;
  }
  Matrix density(int r1, int r2) { return density(r1, r2, *tables); }
  // Root r1 against the three roots as kets of one pass.
  std::vector<Matrix> densities(int r1, const AddressTables& through) {
    Enumeration list(dets, t.layout, dets.size());
    std::vector<std::vector<double>> psi2;
    std::vector<CiVector> kets;
    for (int r = 0; r < 3; ++r) psi2.push_back(in_address_order(r));
    for (const auto& v : psi2) kets.push_back({v.data(), int(v.size()), d.is0});
    const std::vector<double>& psi1 = roots.coef[static_cast<size_t>(r1)];
    const std::vector<double> ordered1 = in_address_order(r1);
    std::vector<Matrix> out;
    for (const TransitionDensity& td : transition_densities(
             through, list, {psi1.data(), int(psi1.size()), d.is0, ordered1.data()}, kets))
      out.push_back(td.ro.v);
    return out;
  }
  Matrix brute_force(int r1, int r2) {
    return mkcase::one_particle_densities(dets, dets, t.layout,
                                          {{&roots.coef[size_t(r1)], &roots.coef[size_t(r2)]}})[0];
  }
  double trace(const Matrix& m) const {
    double s = 0;
    for (int i = 0; i < norb; ++i) s += m[size_t(i) * (norb + 1)];
    return s;
  }
};

// A space of two irreps, two inactive, active and virtual orbitals of the
// first and one of the second (the generator numbers them inactive 1-3,
// active 4-6, virtual 7-9), with its orbitals numbered as an orbital file may
// number them: the active orbitals are 1, 3 and 7, each class still in
// symmetry order, so that inactive and virtual orbitals lie between active
// ones.  The tables built from the run description so numbered, the
// generator's determinants numbered alike, two roots in list order and in
// address order.
struct Renumbered {
  tables::Tables t;
  std::unique_ptr<AddressTables> tables;
  std::vector<mkcase::Determinant> dets;
  mkcase::Roots roots;
  std::vector<double> ordered[2];

  explicit Renumbered(const mkcase::Description& d) : t(d) {
    const int to[10] = {0, 2, 4, 5, 1, 3, 7, 6, 8, 9};
    std::string vrt = t.dir.read("vrt"), info = t.dir.read("Info");
    const std::string sym = "ITSYM=1,1,2,1,1,2,1,1,2", moved = "ITSYM=1,1,1,1,2,1,2,1,2";
    EXPECT_NE(vrt.find("NUMAC=4,5,6"), std::string::npos);
    vrt.replace(vrt.find("NUMAC=4,5,6"), 11, "NUMAC=1,3,7");
    for (std::string* f : {&vrt, &info})
      if (f->find(sym) != std::string::npos) f->replace(f->find(sym), sym.size(), moved);
    t.dir.write("vrt", vrt);
    t.dir.write("Info", info);
    t.run = std::make_unique<ciprop::Run>(t.out, t.in, t.err);
    auto path = [&](const char* name) { return (t.dir.path() / name).string(); };
    t.run->io.open(kUnitListing, path("BID75"), fio::Status::Unknown, fio::Form::Formatted);
    t.run->io.open(kUnitVrt, path("vrt"), fio::Status::Old, fio::Form::Formatted);
    t.run->io.open(kUnitInfo, path("Info"), fio::Status::Old, fio::Form::Formatted);
    run_stages(*t.run, Stage::RunDescription, Stage::OrbitalClasses);
    EXPECT_EQ(t.prepad(), -1) << t.out.str();
    if (mkcase::multireference(d.gener)) {
      mkcase::write_occmrs(path("OCCMRS"), mkcase::references(d));
      reference_configurations(*t.run, path("OCCMRS"));
    }
    t.layout.numac = {1, 3, 7};
    t.layout.isym = {1, 1, 1, 1, 2, 1, 2, 1, 2};
    tables = make_address_tables(*t.run);
    dets = mkcase::enumerate_space(d, 1);
    auto renumber = [&](int16_t so) { return int16_t(so > 9 ? to[so - 9] + 9 : to[so]); };
    for (mkcase::Determinant& det : dets) {
      for (int k = 0; k < det.nt; ++k) det.holes[size_t(k)] = renumber(det.holes[size_t(k)]);
      for (int k = 0; k < det.np; ++k) det.parts[size_t(k)] = renumber(det.parts[size_t(k)]);
      std::sort(det.holes.begin(), det.holes.begin() + det.nt);
      std::sort(det.parts.begin(), det.parts.begin() + det.np);
    }
    EXPECT_EQ(size_t(tables->size()), dets.size());
    roots = mkcase::random_roots(dets.size(), 2, -75.0, 17);
    for (int r = 0; r < 2; ++r) ordered[r].assign(dets.size(), 0.0);
    for (size_t k = 0; k < dets.size(); ++k) {
      const int iadr = tables->address(t.split(dets[k]));
      EXPECT_GE(iadr, 1);
      if (iadr < 1) continue;
      for (int r = 0; r < 2; ++r) ordered[r][size_t(iadr - 1)] = roots.coef[size_t(r)][k];
    }
  }
  // Root r (0-based) as the bra, in list order and gathered.
  CiVector bra(int r) const {
    return {roots.coef[size_t(r)].data(), int(dets.size()), 1, ordered[r].data()};
  }
  using Kernel = std::optional<std::vector<TransitionDensity>> (*)(
      const AddressTables&, const CiVector&, std::span<const CiVector>);
  // Root r1 against root 2 through the kernel, which must take the space
  // and give what the per-excitation path gives.
  Matrix through(Kernel kernel, int r1) {
    const CiVector ket{ordered[1].data(), int(dets.size()), 1};
    const auto got = kernel(*tables, bra(r1), std::span(&ket, 1));
    EXPECT_TRUE(got) << "the kernel declined the space";
    if (!got) return {};
    Enumeration list(dets, t.layout, dets.size());
    const Matrix per_excitation =
        transition_density(WithoutShortcut(*tables), list, bra(r1), ket).ro.v;
    EXPECT_LE(largest_difference(got->front().ro.v, per_excitation),
              1e-13 * largest(per_excitation));
    return got->front().ro.v;
  }
};

inline Matrix transposed(const Matrix& m, int n) {
  Matrix t(m.size());
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) t[size_t(j) + size_t(i) * n] = m[size_t(i) + size_t(j) * n];
  return t;
}

}  // namespace in_memory
