// The property report: its exact layout for every operator choice, and its
// numbers for generated cases against the moments the case generator
// computes from the same density with dense matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

#include "density/moments.hpp"
#include "orbitals/molcas_run.hpp"

namespace {

// Two orbitals, RO = diag(2, 0): every electronic value is -2 P(1,1).
// Values that binary fractions hold exactly, so that every digit of the
// report is known.
std::unique_ptr<ciprop::Run> simple_run(std::ostringstream& out, std::istringstream& in,
                                        std::ostringstream& err, int ioper) {
  auto run = std::make_unique<ciprop::Run>(out, in, err);
  ciprop::Run& r = *run;
  const double p[9] = {0.25, -0.125, 1.0, 0.5, 0.0625, -0.25, 0.75, 0.125, 1.25};
  const double nuc[9] = {1.5, -2.0, 0.0, 3.0, 0.5, -1.0, 2.5, 0.0, 1.0};
  const int quad[6] = {1, 4, 5, 3, 6, 2};  // xx xy xz yy yz zz in xxyyzz
  for (int k = 0; k < 3; ++k) r.ints.xyz(1, 1, k + 1) = p[k];
  for (int k = 0; k < 6; ++k) r.ints.xxyyzz(1, 1, quad[k]) = p[3 + k];
  for (int k = 0; k < 9; ++k) r.ints.fmomnucl(k + 1) = nuc[k];
  // Elements that a correct contraction never reaches with this density.
  r.ints.xyz(2, 2, 1) = 1e3;
  r.ints.xxyyzz(2, 1, 1) = 1e3;
  r.dens.mat(1, 1) = 2.0;
  r.orbi.nbtot = 2;
  r.ints.ntot = 2;
  r.ronum.deltae = 0.3;
  r.hacer.ioper = ioper;
  return run;
}

// The report of simple_run with ioper 0, as gfortran writes it (the
// list-directed numbers without their padding).
const std::vector<std::string> kHeader = {
    "  ",
    " *********************************************",
    " Todos los valores en unidades atomicas",
    " *******************",
};
const std::vector<std::string> kDipoles = {
    " M.Dipolar    Electronico                 Nuclear           Total",
    "  mux       -0.500000000000000000         1.5000000         1.00000000000000000    ",
    "  muy        0.250000000000000000        -2.0000000        -1.75000000000000000    ",
    "  muz        -2.00000000000000000         0.0000000        -2.00000000000000000    ",
};
const std::vector<std::string> kQuadrupoles = {
    " *******************",
    " M.Cuadrup.   Electronico                 Nuclear           Total",
    " muxx        -1.00000000000000000         3.0000000         2.00000000000000000    ",
    " muxy       -0.125000000000000000        0.50000000        0.375000000000000000    ",
    " muxz        0.500000000000000000        -1.0000000       -0.500000000000000000    ",
    " muyy        -1.50000000000000000         2.5000000         1.00000000000000000    ",
    " muyz       -0.250000000000000000         0.0000000       -0.250000000000000000    ",
    " muzz        -2.50000000000000000         1.0000000        -1.50000000000000000    ",
    " *******************",
    " thetas de Buckingham (traceless)",
    " Componente   Electronico                 Nuclear           Total",
    " theta xx     1.00000000000000000         1.2500000         2.25000000000000000    ",
    " theta xy   -0.187500000000000000        0.75000000        0.562500000000000000    ",
    " theta xz    0.750000000000000000        -1.5000000       -0.750000000000000000    ",
    " theta yy    0.250000000000000000        0.50000000        0.750000000000000000    ",
    " theta yz   -0.375000000000000000         0.0000000       -0.375000000000000000    ",
    " theta zz    -1.25000000000000000        -1.7500000        -3.00000000000000000    ",
    " theta eff    3.1224989991991992",
};
const std::vector<std::string> kSummary = {
    " *******************",
    " amu electr -  2.0766559657295187",
    " amu total  -  2.8394541729001368",
    " moment dipolaire de transition (electr) 4.3125000000000000",
    " moment dipolaire de transition (total)  8.0625000000000000",
    " force d'oscillateur 0.86249999999999982",
};
const std::vector<std::string> kClosing = {" *********************************************"};

std::vector<std::string> joined(std::initializer_list<const std::vector<std::string>*> parts) {
  std::vector<std::string> all;
  for (const auto* p : parts) all.insert(all.end(), p->begin(), p->end());
  return all;
}

TEST(Calmu, ReportLayoutForEveryOperatorChoice) {
  const struct {
    int ioper;
    std::vector<std::string> lines;
  } cases[] = {
      {0, joined({&kHeader, &kDipoles, &kQuadrupoles, &kSummary, &kClosing})},
      {1, joined({&kHeader, &kDipoles, &kSummary, &kClosing})},
      {2, joined({&kHeader, &kQuadrupoles, &kClosing})},
      {3, joined({&kHeader, &kClosing})},
      {-1, joined({&kHeader, &kClosing})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ioper);
    std::ostringstream out, err;
    std::istringstream in;
    auto run = simple_run(out, in, err, c.ioper);
    ciprop::calmu(*run);
    EXPECT_EQ(test::split_lines(out.str()), c.lines);
    EXPECT_EQ(run->orb.norb, 2);
  }
}

TEST(Calmu, OscillatorStrengthFollowsTheSignOfTheEnergyDifference) {
  for (double deltae : {0.0, -0.3}) {
    std::ostringstream out, err;
    std::istringstream in;
    auto run = simple_run(out, in, err, 1);
    run->ronum.deltae = deltae;
    ciprop::calmu(*run);
    auto lines = test::split_lines(out.str());
    const std::string want = deltae == 0.0 ? " force d'oscillateur 0.0000000000000000"
                                           : " force d'oscillateur -0.86249999999999982";
    EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end()) << out.str();
  }
}

TEST(Calmu, DensityAndIntegralsOverDifferentOrbitalSetsAreRefused) {
  std::ostringstream out, err;
  std::istringstream in;
  auto run = simple_run(out, in, err, 0);
  run->ints.ntot = 3;
  try {
    ciprop::calmu(*run);
    FAIL() << "no stop";
  } catch (const fio::StopRun& s) {
    EXPECT_NE(s.status, 0);
  }
  EXPECT_EQ(out.str(), " nombre d'orbitales de la densite 2 different de celui des integrales 3\n");
}

// The numbers of a report, by the names of the generator's expected file.
std::map<std::string, std::vector<double>> parse_report(const std::string& text) {
  const std::pair<const char*, const char*> listed[] = {
      {" theta eff   ", "theta_eff"},
      {" amu electr - ", "amu_el"},
      {" amu total  - ", "amu_tot"},
      {" moment dipolaire de transition (electr)", "amu_el2"},
      {" moment dipolaire de transition (total) ", "amu_tot2"},
      {" force d'oscillateur", "fosc"},
  };
  std::map<std::string, std::vector<double>> values;
  auto numbers = [](const std::string& s) {
    std::istringstream in(s);
    std::vector<double> v;
    for (double x; in >> x;) v.push_back(x);
    return v;
  };
  for (const std::string& line : test::split_lines(text)) {
    for (const auto& [label, name] : listed)
      if (line.rfind(label, 0) == 0) values[name] = numbers(line.substr(std::strlen(label)));
    if (line.rfind(" theta ", 0) == 0 && line.size() > 12 && line[9] != 'f') {
      std::string name = "theta_" + line.substr(7, 2);
      values[name] = numbers(line.substr(12));
    } else if (line.size() > 12) {
      std::string label = line.substr(1, 4);
      label.erase(0, label.find_first_not_of(' '));
      if (label.rfind("mu", 0) == 0) values[label] = numbers(line.substr(5));
    }
  }
  return values;
}

std::map<std::string, std::vector<double>> parse_expected(const std::string& text) {
  std::map<std::string, std::vector<double>> values;
  for (const std::string& line : test::split_lines(text)) {
    std::istringstream in(line);
    std::string name;
    in >> name;
    for (double x; in >> x;) values[name].push_back(x);
  }
  return values;
}

// A random RO over the CI orbitals of the description.
std::vector<double> random_density(const mkcase::Description& d, unsigned seed) {
  const int n = d.norb();
  std::vector<double> ro(static_cast<size_t>(n) * n);
  unsigned x = seed;
  for (double& v : ro) {
    x = x * 1103515245u + 12345u;
    v = static_cast<double>((x >> 8) % 20001) / 10000.0 - 1.0;
  }
  return ro;
}

// lirone on generated files, the density placed in mat as the density
// stage leaves it, then the report; every printed number against the
// generator's expected file.
void check_chain(const mkcase::Description& d, bool state, double deltae) {
  molcasrun::Stage st(d);
  ASSERT_EQ(st.lirone(), 0) << st.err.str();
  ciprop::Run& r = *st.run;
  const mkcase::Square full = mkcase::expand_density(d, random_density(d, 7), state);
  ASSERT_EQ(full.n, r.orbi.nbtot);
  for (int j = 1; j <= full.n; ++j)
    for (int i = 1; i <= full.n; ++i) r.dens.mat(i, j) = full(i, j);
  r.ronum.deltae = deltae;
  st.out.str("");
  ciprop::calmu(r);

  const mkcase::Moments want = mkcase::moments(st.m, full, deltae);
  const std::string expected = st.path("expected");
  mkcase::append_expected(want, d.ioper, expected);
  const auto exp = parse_expected(st.dir.read("expected"));
  const auto got = parse_report(st.out.str());
  ASSERT_EQ(got.size(), exp.size()) << st.out.str();
  for (const auto& [name, values] : exp) {
    SCOPED_TRACE(name);
    ASSERT_EQ(got.count(name), 1u);
    const auto& printed = got.at(name);
    ASSERT_EQ(printed.size(), values.size());
    for (size_t k = 0; k < values.size(); ++k) {
      // Electronic and total columns carry 18 digits, the nuclear one 8.
      const double tol = k == 1 ? 5e-8 * std::fabs(values[k]) : 1e-12 * std::max(1.0, std::fabs(values[k]));
      EXPECT_NEAR(printed[k], values[k], tol) << "column " << k;
    }
  }
  if (got.count("theta_xx")) {
    for (size_t col : {0u, 1u}) {
      const double sum =
          got.at("theta_xx")[col] + got.at("theta_yy")[col] + got.at("theta_zz")[col];
      const double scale = std::fabs(got.at("theta_xx")[col]) + std::fabs(got.at("theta_zz")[col]);
      const double digits = col == 1 ? 1e-7 : 1e-12;
      EXPECT_NEAR(sum, 0.0, digits * std::max(1.0, scale)) << "Buckingham trace, column " << col;
    }
  }
  if (got.count("fosc") && deltae == 0.0) {
    EXPECT_EQ(got.at("fosc")[0], 0.0);
  }
  if (got.count("fosc") && deltae < 0.0) {
    EXPECT_LT(got.at("fosc")[0], 0.0);
  }
}

mkcase::Description generated(int version, int nsym, uint64_t seed, int ioper) {
  mkcase::Description d;
  d.molcas = version;
  d.nsym = nsym;
  d.seed = seed;
  d.ioper = ioper;
  for (int s = 0; s < nsym; ++s) {
    d.ninac[s] = 1 + s % 2;
    d.nact[s] = s < 2 ? 1 : 0;
    d.nvirt[s] = 3 - s % 3;
    d.ngel[s] = s % 3 == 0 ? 1 : 0;
    d.ndel[s] = s % 2;
  }
  if (nsym >= 4) d.symxyz = {2, 3, 4};
  return d;
}

mkcase::Description without_deleted(mkcase::Description d) {
  d.inporb = "1.1";
  d.inporb_without_deleted = true;
  return d;
}

TEST(Calmu, PrintedMomentsEqualTheGeneratorsOnGeneratedCases) {
  const struct {
    const char* name;
    mkcase::Description d;
    bool state;
    double deltae;
  } cases[] = {
      {"state density, one symmetry, version 5", generated(5, 1, 21, 0), true, 0.0},
      {"transition density, four symmetries, version 54", generated(54, 4, 22, 0), false, -0.125},
      {"transition density, two symmetries, version 4, dipoles only", generated(4, 2, 23, 1),
       false, 0.4},
      {"state density, eight symmetries, quadrupoles only", generated(5, 8, 24, 2), true, 0.0},
      {"transition density, four symmetries, current OpenMolcas", generated(22, 4, 25, 0), false,
       0.3},
      {"state density, eight symmetries, current OpenMolcas, deleted orbitals not in the file",
       without_deleted(generated(22, 8, 26, 0)), true, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    check_chain(c.d, c.state, c.deltae);
  }
}

}  // namespace
