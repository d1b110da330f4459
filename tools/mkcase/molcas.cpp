#include "tools/mkcase/molcas.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "tools/mkcase/file_image.hpp"
#include "tools/mkcase/openmolcas.hpp"

namespace mkcase {

const std::array<const char*, kComponents> kComponentNames = {"x",  "y",  "z",  "xx", "xy",
                                                               "xz", "yy", "yz", "zz"};

namespace {

// Layout of the files, as the property program reads them.
constexpr size_t kHeader = 40960;         // header of OneInt and ComFile
constexpr size_t kTitle = 12;             // SEWARD title in OneInt (versions 4, 5)
// The table of contents: entries of 20 bytes from byte 156, entry k + 1
// holding itoc(k), its address word at 192 + 20(k-1).  Version 54 writes a
// label of 16 characters and the address; versions 4 and 5 a label of 8
// characters, the component, the symmetry and the address, the overlap as
// entry 1 (whose address word is the overlap word of version 5).
constexpr size_t kTocFirst = 156, kTocStep = 20;
constexpr size_t kSymCount = 2716;        // versions 4, 5: symmetry count
constexpr size_t kBasisCounts = 2752;     // versions 4, 5: basis functions per symmetry
constexpr int kTocEntries = 14;

// Table-of-contents entry of each component: x, y, z are entries 2 to 4, the
// quadrupole components entries 5 to 10 in the order xx xy xz yy yz zz.
constexpr std::array<int, kComponents> kEntry = {2, 3, 4, 5, 6, 7, 8, 9, 10};

// A small deterministic generator, the same on every machine.
struct SplitMix {
  uint64_t s;
  explicit SplitMix(uint64_t seed) : s(seed) {}
  uint64_t next() {
    uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in [-1, 1).
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-52 - 1.0; }
};

using Bytes = FileImage;

int mult(const Description& d, int a, int b) { return d.mult[a - 1][b - 1]; }

// First basis function (0-based) of each symmetry in the full basis.
std::array<int, 8> offsets(const MolcasCase& m) {
  std::array<int, 8> off{};
  for (int s = 1; s < 8; ++s) off[s] = off[s - 1] + m.nb[s - 1];
  return off;
}

// A coefficient as "(4D18.12)" writes it: "0.123456789012D+01",
// "-.123456789012D+01" (no room for the leading zero of a negative value),
// and a three-digit exponent without its letter, "0.100000000000-119".
// `value` receives the number the text stands for.
std::string d18(double x, double& value) {
  if (x == 0.0) {
    value = 0.0;
    return "0.000000000000D+00";
  }
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.11e", std::fabs(x));
  std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 11);
  int exp = std::atoi(buf + 14) + 1;
  std::string sign = x < 0 ? "-" : "";
  value = std::strtod((sign + "0." + digits + "e" + std::to_string(exp)).c_str(), nullptr);
  char tail[16];
  if (std::abs(exp) <= 99)
    std::snprintf(tail, sizeof tail, "D%c%02d", exp < 0 ? '-' : '+', std::abs(exp));
  else
    std::snprintf(tail, sizeof tail, "%c%03d", exp < 0 ? '-' : '+', std::abs(exp));
  return (x < 0 ? "-." : "0.") + digits + tail;
}

// Orthonormal columns for one symmetry block: modified Gram-Schmidt, twice,
// on random vectors.
std::vector<double> orthonormal(int n, SplitMix& rng) {
  std::vector<double> c(static_cast<size_t>(n) * n);
  for (double& x : c) x = rng.unit();
  for (int pass = 0; pass < 2; ++pass)
    for (int j = 0; j < n; ++j) {
      double* cj = &c[static_cast<size_t>(j) * n];
      for (int k = 0; k < j; ++k) {
        const double* ck = &c[static_cast<size_t>(k) * n];
        double dot = 0.0;
        for (int i = 0; i < n; ++i) dot += ck[i] * cj[i];
        for (int i = 0; i < n; ++i) cj[i] -= dot * ck[i];
      }
      double norm = 0.0;
      for (int i = 0; i < n; ++i) norm += cj[i] * cj[i];
      norm = std::sqrt(norm);
      for (int i = 0; i < n; ++i) cj[i] /= norm;
    }
  return c;
}

// An overlap for one symmetry block and orbitals orthonormal in it: S = L
// L^T with L unit lower triangular and random below the diagonal, and the
// orthonormal columns q taken to L^-T q (so that C^T S C = q^T q = 1).
std::vector<double> overlap_and_orbitals(int n, std::vector<double>& q, SplitMix& rng) {
  std::vector<double> l(static_cast<size_t>(n) * n, 0.0), s(l.size(), 0.0);
  auto at = [n](int i, int j) { return static_cast<size_t>(i) + static_cast<size_t>(j) * n; };
  for (int j = 0; j < n; ++j) {
    l[at(j, j)] = 1.0;
    for (int i = j + 1; i < n; ++i) l[at(i, j)] = 0.3 * rng.unit();
  }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      for (int k = 0; k <= std::min(i, j); ++k) s[at(i, j)] += l[at(i, k)] * l[at(j, k)];
  // L^T c = q, column by column, from the last row up.
  for (int col = 0; col < n; ++col)
    for (int i = n - 1; i >= 0; --i) {
      double v = q[at(i, col)];
      for (int k = i + 1; k < n; ++k) v -= l[at(k, i)] * q[at(k, col)];
      q[at(i, col)] = v;
    }
  return s;
}

// The symmetric AO matrix of one component of symmetry g: blocks (s, t) with
// t = mult(s, g), random, mirrored.
Square ao_matrix(const Description& d, const MolcasCase& m, int g, SplitMix& rng) {
  Square p(m.nbtot);
  auto off = offsets(m);
  for (int s = 1; s <= m.nsym; ++s) {
    int t = mult(d, s, g);
    if (t > s) continue;
    for (int nu = 1; nu <= m.nb[t - 1]; ++nu)
      for (int mu = 1; mu <= m.nb[s - 1]; ++mu) {
        if (t == s && nu > mu) continue;
        double v = rng.unit();
        p(off[s - 1] + mu, off[t - 1] + nu) = v;
        p(off[t - 1] + nu, off[s - 1] + mu) = v;
      }
  }
  return p;
}

// C^T P C by plain dense products.
Square transform(const Square& c, const Square& p) {
  int n = c.n;
  Square pc(n), r(n);
  for (int j = 1; j <= n; ++j)
    for (int k = 1; k <= n; ++k) {
      double ckj = c(k, j);
      if (ckj == 0.0) continue;
      for (int i = 1; i <= n; ++i) pc(i, j) += p(i, k) * ckj;
    }
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      double s = 0.0;
      for (int k = 1; k <= n; ++k) s += c(k, i) * pc(k, j);
      r(i, j) = s;
    }
  return r;
}

// The component in the packed order of the file: a totally symmetric one as
// the lower triangle of each diagonal block, row by row; any other as the
// full rectangle (s, t), t = mult(s, g) < s, first index fastest.
std::vector<double> packed(const Description& d, const MolcasCase& m, const Square& p, int g) {
  std::vector<double> out;
  auto off = offsets(m);
  for (int s = 1; s <= m.nsym; ++s) {
    int ns = m.nb[s - 1];
    if (g == 1) {
      for (int a = 1; a <= ns; ++a)
        for (int b = 1; b <= a; ++b) out.push_back(p(off[s - 1] + a, off[s - 1] + b));
      continue;
    }
    int t = mult(d, s, g);
    if (t >= s) continue;
    for (int nu = 1; nu <= m.nb[t - 1]; ++nu)
      for (int mu = 1; mu <= ns; ++mu) out.push_back(p(off[s - 1] + mu, off[t - 1] + nu));
  }
  return out;
}

std::string padded(std::string s, size_t n) {
  s.resize(n, ' ');
  return s;
}

int molvar(int version) { return version == 4 ? 1024 : 8; }

void write_oneint(const Description& d, const MolcasCase& m, const std::string& path,
                  SplitMix& rng) {
  Bytes f;
  f.grow(kHeader);
  const int mv = molvar(m.version);
  if (m.version != 54) {
    f.text(kTitle, m.title);
    f.i32(kSymCount, m.nsym);
    for (int s = 0; s < 8; ++s) f.i32(kBasisCounts + 4 * s, m.nb[s]);
  }
  // Overlap block right after the header; every version can find it: at the
  // fixed position (4), through the word address of entry 1 (5), through the
  // label "MLTPL 0" of the table of contents (54).
  size_t pos = kHeader;
  const auto off = offsets(m);
  std::array<int32_t, kTocEntries + 1> itoc{};
  itoc[1] = static_cast<int32_t>(pos / mv);
  for (int s = 1; s <= m.nsym; ++s)
    for (int a = 1; a <= m.nb[s - 1]; ++a)
      for (int b = 1; b <= a; ++b) {
        f.f64(pos, m.overlap(off[s - 1] + a, off[s - 1] + b));
        pos += 8;
      }
  for (int c = 0; c < kComponents; ++c) {
    pos = (pos + mv - 1) / mv * mv;
    itoc[kEntry[c]] = static_cast<int32_t>(pos / mv);
    for (double v : packed(d, m, m.ao[c], m.symmetry[c])) {
      f.f64(pos, v);
      pos += 8;
    }
    // Three values of the package's own, then the nuclear contribution.
    for (int k = 0; k < 3; ++k, pos += 8) f.f64(pos, 100.0 + rng.unit());
    f.f64(pos, m.nuclear[c]);
    pos += 8;
  }
  // Entry 1 of the old layouts and itoc(1..14) in entries 2 to 15.
  const char* labels[kTocEntries + 1] = {"MLTPL 0", "MLTPL 0", "MLTPL 1", "MLTPL 1", "MLTPL 1",
                                         "MLTPL 2", "MLTPL 2", "MLTPL 2", "MLTPL 2", "MLTPL 2",
                                         "MLTPL 2", "KINETIC", "ATTRACT", "PSEUDO",  "ONEHAM"};
  const int comp[kTocEntries + 1] = {1, 1, 1, 2, 3, 1, 2, 3, 4, 5, 6, 1, 1, 1, 1};
  itoc[0] = itoc[1];
  for (int e = m.version == 54 ? 1 : 0; e <= kTocEntries; ++e) {
    const size_t at = kTocFirst + kTocStep * e;
    if (m.version == 54) {
      f.text(at, padded(labels[e], 16));
    } else {
      // SEWARD's own spelling, "(A,I2)" of "MLTPL " and the order.
      const std::string given = labels[e];
      const std::string label =
          given.rfind("MLTPL ", 0) == 0 ? "MLTPL  " + given.substr(6) : given;
      f.text(at, padded(label, 8));
      f.i32(at + 8, comp[e]);
      const int c = e >= 2 && e <= 10 ? e - 2 : -1;  // the component, x = 0
      f.i32(at + 12, 1 << ((c >= 0 ? m.symmetry[c] : 1) - 1));
    }
    f.i32(at + 16, itoc[e]);
  }
  f.save(path);
}

void write_traone(const Description& d, const MolcasCase& m, const std::string& path) {
  Bytes f;
  f.grow(1024);
  f.i32(264, m.nsym);
  const size_t nbas_at = m.version == 54 ? 272 : 268;
  const size_t kept_at = m.version == 54 ? 304 : 300;
  for (int s = 0; s < 8; ++s) {
    f.i32(nbas_at + 4 * s, m.nb[s]);
    f.i32(kept_at + 4 * s, s < m.nsym ? m.nb[s] - d.ngel[s] - d.ndel[s] : 0);
  }
  f.save(path);
}

// The run-information file of version 54: the title through the word
// address at byte 28, and the symmetry and basis counts through a table of
// 16-byte entries (12-character label, 4-byte word address).
void write_comfile(const MolcasCase& m, const std::string& path) {
  Bytes f;
  f.grow(kHeader);
  const size_t title_at = 2048, nsym_at = 1024, nbas_at = 1032;
  f.i32(28, static_cast<int32_t>(title_at / 8));
  const std::pair<const char*, size_t> table[] = {
      {"Seward Title", title_at}, {"Unit Cell", 3072}, {"NSYM", nsym_at}, {"NBAS", nbas_at}};
  size_t at = 32;
  for (const auto& [label, where] : table) {
    f.text(at, padded(label, 12));
    f.i32(at + 12, static_cast<int32_t>(where / 8));
    at += 16;
  }
  f.i32(nsym_at, m.nsym);
  for (int s = 0; s < 8; ++s) f.i32(nbas_at + 4 * s, m.nb[s]);
  f.text(title_at, m.title);
  f.save(path);
}

void write_inporb(const MolcasCase& m, const std::vector<std::string>& fields,
                  const std::string& path) {
  std::ofstream f(path);
  f << m.orbital_title << '\n';
  size_t k = 0;
  for (int s = 1; s <= m.nsym; ++s)
    for (int orb = 1; orb <= m.nb[s - 1]; ++orb) {
      char head[48];
      std::snprintf(head, sizeof head, "* ORBITAL%5d%5d", s, orb);
      f << head << '\n';
      for (int mu = 1; mu <= m.nb[s - 1]; ++mu) {
        f << fields[k++];
        if (mu % 4 == 0 || mu == m.nb[s - 1]) f << '\n';
      }
    }
  if (!f) throw std::runtime_error("cannot write " + path);
}

// Builds everything; fields receives the coefficient texts in file order.
MolcasCase build(const Description& d, std::vector<std::string>* fields) {
  if (d.molcas != 4 && d.molcas != 5 && d.molcas != 54 && d.molcas != 22)
    throw std::invalid_argument("MOLCAS version must be 4, 5, 54 or 22");
  MolcasCase m;
  m.version = d.molcas;
  m.nsym = d.nsym;
  for (int s = 1; s <= d.nsym; ++s) m.nb[s - 1] = d.nbas(s);
  for (int s = 0; s < 8; ++s) m.nbtot += m.nb[s];
  const int sx = d.symxyz[0], sy = d.symxyz[1], sz = d.symxyz[2];
  m.symmetry = {sx, sy, sz, 1, mult(d, sx, sy), mult(d, sx, sz), 1, mult(d, sy, sz), 1};
  char text[160];
  std::snprintf(text, sizeof text, "Generated case, seed %llu, MOLCAS layout %d",
                static_cast<unsigned long long>(d.seed), d.molcas);
  m.title = d.molcas == 22 ? openmolcas_title(d)
                           : padded(padded(text, 73) + "second half of the SEWARD title", 143);
  std::snprintf(text, sizeof text, "* orbitals of seed %llu",
                static_cast<unsigned long long>(d.seed));
  m.orbital_title = text;

  SplitMix rng(d.seed * 0x2545f4914f6cdd1dULL + 0x4d4f4c434153ULL);
  // The overlap comes from a stream of its own, so that it changes no
  // integral.
  SplitMix overlap_rng(d.seed + 0x53ULL);
  auto off = offsets(m);
  m.coef = Square(m.nbtot);
  m.overlap = Square(m.nbtot);
  const std::string inporb = inporb_version(d);
  for (int s = 1; s <= m.nsym; ++s) {
    int n = m.nb[s - 1];
    std::vector<double> c = orthonormal(n, rng);
    const std::vector<double> ovl = overlap_and_orbitals(n, c, overlap_rng);
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i)
        m.overlap(off[s - 1] + i, off[s - 1] + j) = ovl[(i - 1) + static_cast<size_t>(j - 1) * n];
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i) {
        double value;
        const double x = c[(i - 1) + static_cast<size_t>(j - 1) * n];
        std::string t = inporb.empty() ? d18(x, value) : inporb_field(inporb, x, value);
        if (fields) fields->push_back(t);
        // Orbitals left out of the file are zero for the program.
        if (d.inporb_without_deleted && j > n - d.ndel[s - 1]) value = 0.0;
        m.coef(off[s - 1] + i, off[s - 1] + j) = value;
      }
  }
  for (int c = 0; c < kComponents; ++c) {
    m.ao[c] = ao_matrix(d, m, m.symmetry[c], rng);
    m.mo[c] = transform(m.coef, m.ao[c]);
    m.nuclear[c] = 5.0 * rng.unit();
  }
  return m;
}

}  // namespace

MolcasCase make_molcas(const Description& d) { return build(d, nullptr); }

MolcasCase write_molcas(const Description& d, const std::string& dir) {
  std::vector<std::string> fields;
  MolcasCase m = build(d, &fields);
  // The overlap and the package's own words come from a stream of their
  // own, so that they never change the integrals.
  SplitMix rng(d.seed + 0x6f766c70ULL);
  if (m.version == 22) {
    write_openmolcas(d, m, dir);
  } else {
    write_oneint(d, m, dir + "/OneInt", rng);
    write_traone(d, m, dir + "/TraOne");
  }
  if (m.version == 54) write_comfile(m, dir + "/ComFile");
  if (inporb_version(d).empty())
    write_inporb(m, fields, dir + "/INPORB");
  else
    write_inporb_sections(d, m, fields, dir + "/INPORB");
  return m;
}

Square expand_density(const Description& d, const std::vector<double>& ro, bool state_density) {
  OrbitalLayout l = layout(d);
  std::array<int, 8> off{};
  int nbtot = 0;
  for (int s = 1; s <= d.nsym; ++s) {
    off[s - 1] = nbtot;
    nbtot += d.nbas(s);
  }
  std::vector<int> place(l.norb);
  for (int k = 0; k < l.norb; ++k) {
    int s = l.isym[k];
    place[k] = off[s - 1] + d.ngel[s - 1] + l.file_index[k];
  }
  Square full(nbtot);
  for (int j = 0; j < l.norb; ++j)
    for (int i = 0; i < l.norb; ++i)
      full(place[i], place[j]) = ro[i + static_cast<size_t>(j) * l.norb];
  if (state_density)
    for (int s = 1; s <= d.nsym; ++s)
      for (int k = 1; k <= d.ngel[s - 1]; ++k) full(off[s - 1] + k, off[s - 1] + k) = 2.0;
  return full;
}

Moments moments(const MolcasCase& m, const Square& density, double deltae) {
  // 2/3 of the oscillator strength and the effective theta.
  const double c = 2.0 / 3.0;
  Moments r;
  for (int k = 0; k < kComponents; ++k) {
    double e = 0.0;
    for (int i = 1; i <= m.nbtot; ++i)
      for (int j = 1; j <= m.nbtot; ++j) e -= density(i, j) * m.mo[k](j, i);
    r.el[k] = e;
    r.nuc[k] = m.nuclear[k];
    r.tot[k] = r.nuc[k] + r.el[k];
  }
  // Quadrupole components x y z | xx xy xz yy yz zz -> theta xx xy xz yy yz zz.
  auto theta = [](const std::array<double, kComponents>& q, std::array<double, 6>& t) {
    double trace = q[6] + q[3] + q[8];
    t[0] = (3.0 * q[3] - trace) * 0.5;
    t[1] = 3.0 * q[4] * 0.5;
    t[2] = 3.0 * q[5] * 0.5;
    t[3] = (3.0 * q[6] - trace) * 0.5;
    t[4] = 3.0 * q[7] * 0.5;
    t[5] = (3.0 * q[8] - trace) * 0.5;
  };
  theta(r.el, r.theta_el);
  theta(r.nuc, r.theta_nuc);
  for (int k = 0; k < 6; ++k) r.theta_tot[k] = r.theta_el[k] + r.theta_nuc[k];
  const auto& t = r.theta_tot;
  r.theta_eff = std::sqrt((t[0] * t[0] + t[3] * t[3] + t[5] * t[5]) * c);
  r.mu_el = std::sqrt(r.el[0] * r.el[0] + r.el[1] * r.el[1] + r.el[2] * r.el[2]);
  r.mu_tot = std::sqrt(r.tot[0] * r.tot[0] + r.tot[1] * r.tot[1] + r.tot[2] * r.tot[2]);
  r.mu_el2 = r.mu_el * r.mu_el;
  r.mu_tot2 = r.mu_tot * r.mu_tot;
  r.fosc = r.mu_el * c * r.mu_el * deltae;
  return r;
}

void append_expected(const Moments& mo, int ioper, const std::string& path) {
  std::ofstream f(path, std::ios::app);
  auto line = [&](const std::string& name, std::initializer_list<double> v) {
    f << name;
    char b[40];
    for (double x : v) {
      std::snprintf(b, sizeof b, " %.17g", x);
      f << b;
    }
    f << '\n';
  };
  const unsigned sel = static_cast<unsigned>(ioper);
  const bool dipoles = sel <= 1, quadrupoles = sel == 0 || sel == 2;
  if (dipoles)
    for (int k = 0; k < 3; ++k)
      line(std::string("mu") + kComponentNames[k], {mo.el[k], mo.nuc[k], mo.tot[k]});
  if (quadrupoles) {
    for (int k = 3; k < kComponents; ++k)
      line(std::string("mu") + kComponentNames[k], {mo.el[k], mo.nuc[k], mo.tot[k]});
    const char* names[6] = {"xx", "xy", "xz", "yy", "yz", "zz"};
    for (int k = 0; k < 6; ++k)
      line(std::string("theta_") + names[k], {mo.theta_el[k], mo.theta_nuc[k], mo.theta_tot[k]});
    line("theta_eff", {mo.theta_eff});
  }
  if (dipoles) {
    line("amu_el", {mo.mu_el});
    line("amu_tot", {mo.mu_tot});
    line("amu_el2", {mo.mu_el2});
    line("amu_tot2", {mo.mu_tot2});
    line("fosc", {mo.fosc});
  }
  if (!f) throw std::runtime_error("cannot write " + path);
}

}  // namespace mkcase
