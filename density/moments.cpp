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
double electronic(const Run& run, const double* p, int n) {
  const double* ro = run.dens.mat.data();
  double sum = 0.0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) sum -= ro[i + 500 * static_cast<size_t>(j)] * p[j + 500 * static_cast<size_t>(i)];
  return sum;
}

// Electronic, nuclear and total parts of one quantity.
struct Part3 {
  double el = 0.0, nuc = 0.0, tot = 0.0;
};

void print3(Run& run, const char* fmt, const char* label, const Part3& v) {
  run.io.write(kUnitReport, fmt, {label, v.el, v.nuc, v.tot});
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

void quadrupoles(Run& run, int n) {
  OrbitalRecords& r = run.ints;
  // xx xy xz yy yz zz: their slices of xxyyzz (zz before yy there) and
  // their places in fmomnucl.
  const int slice[6] = {1, 4, 5, 3, 6, 2};
  const char* const labels[6] = {"muxx", "muxy", "muxz", "muyy", "muyz", "muzz"};
  const char* const thetas[6] = {"theta xx ", "theta xy ", "theta xz ",
                                 "theta yy ", "theta yz ", "theta zz "};
  double qel[6], qnuc[6], tel[6], tnuc[6];
  run.io.list(kUnitReport, {kStars19});
  run.io.list(kUnitReport, {"M.Cuadrup.   Electronico                 Nuclear           Total"});
  for (int k = 0; k < 6; ++k) {
    qel[k] = electronic(run, &r.xxyyzz(1, 1, slice[k]), n);
    qnuc[k] = r.fmomnucl(4 + k);
    print3(run, kMomentFormat, labels[k], {qel[k], qnuc[k], qnuc[k] + qel[k]});
  }
  buckingham(qel, tel);
  buckingham(qnuc, tnuc);
  run.io.list(kUnitReport, {kStars19});
  run.io.list(kUnitReport, {"thetas de Buckingham (traceless)"});
  run.io.list(kUnitReport, {"Componente   Electronico                 Nuclear           Total"});
  double ttot[6];
  for (int k = 0; k < 6; ++k) {
    ttot[k] = tel[k] + tnuc[k];
    print3(run, kThetaFormat, thetas[k], {tel[k], tnuc[k], ttot[k]});
  }
  const double eff = std::sqrt((ttot[0] * ttot[0] + ttot[3] * ttot[3] + ttot[5] * ttot[5]) * kTwoThirds);
  run.io.list(kUnitReport, {"theta eff   ", eff});
  Moments& m = run.dens.moments;
  m.quadrupoles = true;
  std::copy(qel, qel + 6, m.quad_el);
  std::copy(qnuc, qnuc + 6, m.quad_nuc);
  std::copy(tel, tel + 6, m.theta_el);
  std::copy(tnuc, tnuc + 6, m.theta_nuc);
  m.theta_eff = eff;
}

}  // namespace

void calmu(Run& run) {
  OrbitalRecords& r = run.ints;
  run.orb.norb = run.orbi.nbtot;
  const int n = run.orbi.nbtot;
  // The density runs over the orbitals of the CI with the frozen and deleted
  // ones put back, the property matrices over the basis of the integral
  // files: contracting two different orbital sets would print moments that
  // look right and are not.
  if (n != r.ntot) {
    run.io.list(kUnitReport, {"nombre d'orbitales de la densite", n, " different de celui des integrales",
                    r.ntot});
    fio::stop_error();
  }
  // Compared as unsigned: a negative selector chooses nothing.
  const unsigned sel = static_cast<unsigned>(run.hacer.ioper);
  const bool dipoles = sel == 0 || sel == 1, quads = sel == 0 || sel == 2;

  run.io.list(kUnitReport, {" "});
  run.io.list(kUnitReport, {kStars45});
  run.io.list(kUnitReport, {"Todos los valores en unidades atomicas"});
  run.io.list(kUnitReport, {kStars19});

  Part3 mu[3];
  const char* const labels[3] = {"mux", "muy", "muz"};
  for (int k = 0; k < 3; ++k) {
    mu[k].el = electronic(run, &r.xyz(1, 1, k + 1), n);
    mu[k].nuc = r.fmomnucl(k + 1);
    mu[k].tot = mu[k].nuc + mu[k].el;
  }
  if (dipoles) {
    run.io.list(kUnitReport, {"M.Dipolar    Electronico                 Nuclear           Total"});
    for (int k = 0; k < 3; ++k) print3(run, kMomentFormat, labels[k], mu[k]);
  }
  if (quads) quadrupoles(run, n);
  if (dipoles) {
    const double amuel = std::sqrt(mu[0].el * mu[0].el + mu[1].el * mu[1].el + mu[2].el * mu[2].el);
    const double amutot =
        std::sqrt(mu[0].tot * mu[0].tot + mu[1].tot * mu[1].tot + mu[2].tot * mu[2].tot);
    // The oscillator strength of the electronic transition moment, with the
    // signed E2 - E1: negative when the second root lies lower.
    const double f = amuel * kTwoThirds * amuel * run.ronum.deltae;
    run.io.list(kUnitReport, {kStars19});
    run.io.list(kUnitReport, {"amu electr - ", amuel});
    run.io.list(kUnitReport, {"amu total  - ", amutot});
    run.io.list(kUnitReport, {"moment dipolaire de transition (electr)", amuel * amuel});
    run.io.list(kUnitReport, {"moment dipolaire de transition (total) ", amutot * amutot});
    run.io.list(kUnitReport, {"force d'oscillateur", f});
    Moments& m = run.dens.moments;
    m.dipoles = true;
    for (int k = 0; k < 3; ++k) {
      m.dip_el[k] = mu[k].el;
      m.dip_nuc[k] = mu[k].nuc;
    }
    m.amu_el = amuel;
    m.amu_tot = amutot;
    m.fosc = f;
  }
  run.io.list(kUnitReport, {kStars45});
}

}  // namespace ciprop
