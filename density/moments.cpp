#include "density/moments.hpp"

#include <algorithm>
#include <cmath>

#include "core/unit_numbers.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

namespace {

// 2/3 of the oscillator strength and of the effective theta, in double
// precision: a single-precision constant would change both from their eighth
// digit on, while the report prints seventeen.
constexpr double kTwoThirds = 2.0 / 3.0;

const char* const kStars45 = "*********************************************";
const char* const kStars19 = "*******************";
const char* const kMomentFormat = "(1X,A4,7X,G25.18,3X,G15.8,3X,G25.18,1X)";
const char* const kThetaFormat = "(1X,A9,2X,G25.18,3X,G15.8,3X,G25.18,1X)";

// The electronic expectation value of a one-electron operator P, electron
// charge -1: minus the sum over i (outer) and j (inner) of RO(i,j) P(j,i).
double electronic(const double* ro, const double* p, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) sum -= ro[i + 500 * static_cast<size_t>(j)] * p[j + 500 * static_cast<size_t>(i)];
  return sum;
}

// Traceless (Buckingham) moments of one part: xx xy xz yy yz zz from the
// quadrupole components in the same order.
void buckingham(const double q[6], double theta[6]) {
  const double trace = q[3] + q[0] + q[5];
  theta[0] = (3.0 * q[0] - trace) * 0.5;
  theta[1] = 3.0 * q[1] * 0.5;
  theta[2] = 3.0 * q[2] * 0.5;
  theta[3] = (3.0 * q[3] - trace) * 0.5;
  theta[4] = 3.0 * q[4] * 0.5;
  theta[5] = (3.0 * q[5] - trace) * 0.5;
}

void print3(Run& run, const char* fmt, const char* label, double el, double nuc, double tot) {
  run.io.write(kUnitReport, fmt, {label, el, nuc, tot});
}

void print_quadrupoles(Run& run, const Moments& m) {
  const char* const labels[6] = {"muxx", "muxy", "muxz", "muyy", "muyz", "muzz"};
  const char* const thetas[6] = {"theta xx ", "theta xy ", "theta xz ",
                                 "theta yy ", "theta yz ", "theta zz "};
  run.io.list(kUnitReport, {kStars19});
  run.io.list(kUnitReport, {"M.Cuadrup.   Electronico                 Nuclear           Total"});
  for (int k = 0; k < 6; ++k)
    print3(run, kMomentFormat, labels[k], m.quad_el[k], m.quad_nuc[k],
           m.quad_nuc[k] + m.quad_el[k]);
  run.io.list(kUnitReport, {kStars19});
  run.io.list(kUnitReport, {"thetas de Buckingham (traceless)"});
  run.io.list(kUnitReport, {"Componente   Electronico                 Nuclear           Total"});
  for (int k = 0; k < 6; ++k)
    print3(run, kThetaFormat, thetas[k], m.theta_el[k], m.theta_nuc[k],
           m.theta_el[k] + m.theta_nuc[k]);
  run.io.list(kUnitReport, {"theta eff   ", m.theta_eff});
}

}  // namespace

Moments moments_of(const Run& run, const double* ro, double deltae) {
  const OrbitalRecords& r = run.ints;
  const int n = run.orbi.nbtot;
  // Compared as unsigned: a negative selector chooses nothing.
  const unsigned sel = static_cast<unsigned>(run.hacer.ioper);
  Moments m;
  m.dipoles = sel == 0 || sel == 1;
  m.quadrupoles = sel == 0 || sel == 2;
  if (m.dipoles) {
    double tot[3];
    for (int k = 0; k < 3; ++k) {
      m.dip_el[k] = electronic(ro, &r.xyz(1, 1, k + 1), n);
      m.dip_nuc[k] = r.fmomnucl(k + 1);
      tot[k] = m.dip_nuc[k] + m.dip_el[k];
    }
    const double* el = m.dip_el;
    m.amu_el = std::sqrt(el[0] * el[0] + el[1] * el[1] + el[2] * el[2]);
    m.amu_tot = std::sqrt(tot[0] * tot[0] + tot[1] * tot[1] + tot[2] * tot[2]);
    // The oscillator strength of the electronic transition moment, with the
    // signed E2 - E1: negative when the second root lies lower.
    m.fosc = m.amu_el * kTwoThirds * m.amu_el * deltae;
  }
  if (m.quadrupoles) {
    // xx xy xz yy yz zz: their slices of xxyyzz (zz before yy there) and
    // their places in fmomnucl.
    const int slice[6] = {1, 4, 5, 3, 6, 2};
    for (int k = 0; k < 6; ++k) {
      m.quad_el[k] = electronic(ro, &r.xxyyzz(1, 1, slice[k]), n);
      m.quad_nuc[k] = r.fmomnucl(4 + k);
    }
    buckingham(m.quad_el, m.theta_el);
    buckingham(m.quad_nuc, m.theta_nuc);
    double t[6];
    for (int k = 0; k < 6; ++k) t[k] = m.theta_el[k] + m.theta_nuc[k];
    m.theta_eff = std::sqrt((t[0] * t[0] + t[3] * t[3] + t[5] * t[5]) * kTwoThirds);
  }
  return m;
}

void calmu(Run& run) {
  run.orb.norb = run.orbi.nbtot;
  const int n = run.orbi.nbtot;
  // The density runs over the orbitals of the CI with the frozen and deleted
  // ones put back, the property matrices over the basis of the integral
  // files: contracting two different orbital sets would print moments that
  // look right and are not.
  if (n != run.ints.ntot) {
    run.io.list(kUnitReport, {"nombre d'orbitales de la densite", n, " different de celui des integrales",
                    run.ints.ntot});
    fio::stop_error(run.io, "the density runs over " + std::to_string(n) +
                                " orbitals (the CI's with the frozen and deleted ones) and the "
                                "integrals over " + std::to_string(run.ints.ntot) +
                                " basis functions; NGEL and NDEL of &RHO must add the orbitals "
                                "the CI left out");
  }
  const Moments m = moments_of(run, run.dens.mat.data(), run.ronum.deltae);
  run.dens.moments = m;

  run.io.list(kUnitReport, {" "});
  run.io.list(kUnitReport, {kStars45});
  run.io.list(kUnitReport, {"Todos los valores en unidades atomicas"});
  run.io.list(kUnitReport, {kStars19});
  if (m.dipoles) {
    const char* const labels[3] = {"mux", "muy", "muz"};
    run.io.list(kUnitReport, {"M.Dipolar    Electronico                 Nuclear           Total"});
    for (int k = 0; k < 3; ++k)
      print3(run, kMomentFormat, labels[k], m.dip_el[k], m.dip_nuc[k], m.dip_nuc[k] + m.dip_el[k]);
  }
  if (m.quadrupoles) print_quadrupoles(run, m);
  if (m.dipoles) {
    run.io.list(kUnitReport, {kStars19});
    run.io.list(kUnitReport, {"amu electr - ", m.amu_el});
    run.io.list(kUnitReport, {"amu total  - ", m.amu_tot});
    run.io.list(kUnitReport, {"moment dipolaire de transition (electr)", m.amu_el * m.amu_el});
    run.io.list(kUnitReport, {"moment dipolaire de transition (total) ", m.amu_tot * m.amu_tot});
    run.io.list(kUnitReport, {"force d'oscillateur", m.fosc});
  }
  run.io.list(kUnitReport, {kStars45});
}

}  // namespace ciprop
