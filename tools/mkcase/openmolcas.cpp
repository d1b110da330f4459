#include "tools/mkcase/openmolcas.hpp"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "tools/mkcase/file_image.hpp"

namespace mkcase {

namespace {

using namespace current_layout;

// A file image whose items start on 512-byte blocks.
struct Image : FileImage {
  size_t next_block() const { return (b.size() + kBlock - 1) / kBlock * kBlock; }
};

std::string padded(std::string s, size_t n) {
  s.resize(n, ' ');
  return s;
}

std::array<int, 8> first_function(const MolcasCase& m) {
  std::array<int, 8> off{};
  for (int s = 1; s < 8; ++s) off[s] = off[s - 1] + m.nb[s - 1];
  return off;
}

// One component as OneInt stores it under the symmetry label `label`: for
// i = 1..nsym and j = 1..i, the block (i, j) when bit (i-1) xor (j-1) of
// the label is set; a diagonal block as its lower triangle row by row, an
// off-diagonal one as the full rectangle with the index of i fastest.
std::vector<double> blocks(const MolcasCase& m, const Square& p, int64_t label) {
  std::vector<double> out;
  auto off = first_function(m);
  for (int i = 1; i <= m.nsym; ++i)
    for (int j = 1; j <= i; ++j) {
      if (!(label >> ((i - 1) ^ (j - 1)) & 1)) continue;
      if (i == j) {
        for (int a = 1; a <= m.nb[i - 1]; ++a)
          for (int b = 1; b <= a; ++b) out.push_back(p(off[i - 1] + a, off[i - 1] + b));
      } else {
        for (int b = 1; b <= m.nb[j - 1]; ++b)
          for (int a = 1; a <= m.nb[i - 1]; ++a) out.push_back(p(off[i - 1] + a, off[j - 1] + b));
      }
    }
  return out;
}

// OneInt: the table of contents (id 4101, version 1024, entries of five
// words from byte 168, unused words -1), then every record on a 512-byte
// boundary: the blocks, the origin and the nuclear contribution.
void write_oneint(const Description& d, const MolcasCase& m, const std::string& path) {
  Image f;
  f.fill = 0xff;
  f.grow(kTocBytes);
  f.fill = 0;
  f.i64(0, 4101);
  f.i64(8, 1024);
  const Square& overlap = m.overlap;
  struct Entry {
    std::string label;
    int comp;
    int64_t symlab;
    const Square* p;
    double nuclear;
  };
  std::vector<Entry> entries = {{"MLTPL  0", 1, 1, &overlap, 10.0},
                                {"MLTPLS 0", 1, 1, &overlap, 10.0}};
  std::vector<Entry> dipoles, quadrupoles;
  for (int c = 0; c < kComponents; ++c) {
    Entry e{c < 3 ? "MLTPL  1" : "MLTPL  2", c < 3 ? c + 1 : c - 2,
            int64_t{1} << (m.symmetry[c] - 1), &m.ao[c], m.nuclear[c]};
    (c < 3 ? dipoles : quadrupoles).push_back(e);
  }
  // Programs look components up by label and component: an odd seed keeps
  // SEWARD's order, an even one puts the quadrupoles first and the
  // components of each operator backwards.
  if (d.seed % 2 == 0) {
    entries.insert(entries.end(), quadrupoles.rbegin(), quadrupoles.rend());
    entries.insert(entries.end(), dipoles.rbegin(), dipoles.rend());
  } else {
    entries.insert(entries.end(), dipoles.begin(), dipoles.end());
    entries.insert(entries.end(), quadrupoles.begin(), quadrupoles.end());
  }
  entries.push_back({"KINETIC ", 1, 1, &overlap, 0.0});
  for (size_t e = 0; e < entries.size(); ++e) {
    const Entry& x = entries[e];
    const size_t at = f.next_block();
    const size_t toc = kTocFirst + kTocEntry * e;
    f.text(toc, x.label);
    f.i64(toc + 16, x.comp);
    f.i64(toc + 24, x.symlab);
    f.i64(toc + 32, static_cast<int64_t>(at / kBlock));
    size_t pos = at;
    for (double v : blocks(m, *x.p, x.symlab)) {
      f.f64(pos, v);
      pos += 8;
    }
    // The origin: the coordinate origin for the dipoles, somewhere else for
    // the quadrupoles (SEWARD takes the centre of mass).
    const double origin = x.label == "MLTPL  2" ? 0.5 : 0.0;
    for (int k = 0; k < 3; ++k, pos += 8) f.f64(pos, k == 2 ? origin : 0.0);
    f.f64(pos, x.nuclear);
  }
  f.i64(kTocNext, static_cast<int64_t>(f.next_block() / kBlock));
  f.save(path);
}

// TraOne: table of contents (CMO address), core energy, then nSym, nBas,
// nOrb, nFro, nDel, the basis labels, each on its own 512-byte block, and
// the orbital coefficients.
void write_traone(const Description& d, const MolcasCase& m, const std::string& path) {
  Image f;
  f.f64(512, d.enuc);
  f.i64(kTraSymCount, m.nsym);
  for (int s = 0; s < 8; ++s) {
    const bool used = s < m.nsym;
    f.i64(kTraBasis + 8 * s, m.nb[s]);
    f.i64(kTraKept + 8 * s, used ? m.nb[s] - d.ngel[s] - d.ndel[s] : 0);
    f.i64(kTraFrozen + 8 * s, used ? d.ngel[s] : 0);
    f.i64(kTraDeleted + 8 * s, used ? d.ndel[s] : 0);
  }
  f.text(kTraLabels, std::string(10000 * 14, ' '));
  size_t pos = f.next_block();
  f.i64(0, static_cast<int64_t>(pos / kBlock));
  auto off = first_function(m);
  for (int s = 1; s <= m.nsym; ++s)
    for (int j = 1; j <= m.nb[s - 1]; ++j)
      for (int i = 1; i <= m.nb[s - 1]; ++i, pos += 8)
        f.f64(pos, m.coef(off[s - 1] + i, off[s - 1] + j));
  f.i64(8, static_cast<int64_t>(f.next_block() / kBlock));
  f.save(path);
}

// RunFile: a header of 128 words, a table of 1024 labels and four tables of
// 1024 words (address, length, maximum length, type: 1 integers, 2 reals,
// 3 characters), then the records.
void write_runfile(const MolcasCase& m, const std::string& path) {
  Image f;
  const size_t labels = 2, tables[4] = {34, 50, 66, 82};
  f.i64(0, 34676777);
  f.i64(8, 4096);
  f.i64(8 * kRunLabelsWord, labels);
  for (int k = 0; k < 4; ++k) f.i64(8 * (kRunTablesWord + k), static_cast<int64_t>(tables[k]));
  for (size_t i = 0; i < kRunSlots; ++i) {
    f.text(kBlock * labels + kRunLabelLength * i, padded("Empty", kRunLabelLength));
    f.i64(kBlock * tables[0] + 8 * i, -1);
    for (int k = 1; k < 4; ++k) f.i64(kBlock * tables[k] + 8 * i, 0);
  }
  f.grow(kBlock * 98);
  int count = 0;
  auto record = [&](const std::string& label, int type, int64_t length,
                    const std::function<void(size_t)>& put) {
    const size_t at = f.next_block();
    // Slots taken from the end, so that a reader must look labels up.
    const int slot = 1023 - 3 * count++;
    f.text(kBlock * labels + kRunLabelLength * slot, padded(label, kRunLabelLength));
    f.i64(kBlock * tables[0] + 8 * slot, static_cast<int64_t>(at / kBlock));
    f.i64(kBlock * tables[1] + 8 * slot, length);
    f.i64(kBlock * tables[2] + 8 * slot, length);
    f.i64(kBlock * tables[3] + 8 * slot, type);
    put(at);
  };
  std::string names;
  for (const char* n : {"PRGM_INSITU", "nSym", "LSYM", "nActel"}) names += padded(n, 16);
  names = padded(names, 128 * 16);
  record("iScalar labels", 3, 128 * 16, [&](size_t at) { f.text(at, names); });
  record("iScalar values", 1, 128, [&](size_t at) {
    for (int i = 0; i < 128; ++i) f.i64(at + 8 * i, i == 1 ? m.nsym : i == 2 ? 1 : 0);
  });
  record("nBas", 1, m.nsym, [&](size_t at) {
    for (int s = 0; s < m.nsym; ++s) f.i64(at + 8 * s, m.nb[s]);
  });
  record("Seward Title", 3, 144, [&](size_t at) {
    f.text(at, padded(std::string(81, ' ') + m.title.substr(73), 144));
  });
  record("SewardXTitle", 3, 80, [&](size_t at) { f.text(at, padded(m.title.substr(0, 73), 80)); });
  f.i64(16, static_cast<int64_t>(f.next_block() / kBlock));
  f.i64(24, count);
  f.save(path);
}

}  // namespace

std::string inporb_version(const Description& d) {
  if (!d.inporb.empty()) return d.inporb;
  return d.molcas == 22 ? "2.2" : "";
}

std::string inporb_field(const std::string& version, double x, double& value) {
  char buf[64];
  if (version[0] == '1') {
    // E18.12: "0.123456789012E+01", "-.123456789012E+01".
    if (x == 0.0) {
      value = 0.0;
      return "0.000000000000E+00";
    }
    std::snprintf(buf, sizeof buf, "%.11e", std::fabs(x));
    const std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 11);
    const int exp = std::atoi(buf + 14) + 1;
    value = std::strtod(((x < 0 ? "-0." : "0.") + digits + "e" + std::to_string(exp)).c_str(),
                        nullptr);
    char tail[16];
    if (std::abs(exp) <= 99)
      std::snprintf(tail, sizeof tail, "E%c%02d", exp < 0 ? '-' : '+', std::abs(exp));
    else
      std::snprintf(tail, sizeof tail, "%c%03d", exp < 0 ? '-' : '+', std::abs(exp));
    return (x < 0 ? "-." : "0.") + digits + tail;
  }
  // 1X,ES21.14: " 1.23456789012345E+00", " -1.23456789012345E-01".
  std::snprintf(buf, sizeof buf, "%.14E", x);
  value = std::strtod(buf, nullptr);
  std::string t = buf;
  const size_t e = t.find('E');
  if (std::abs(std::atoi(t.c_str() + e + 1)) > 99) t.erase(e, 1);
  std::string field(t.size() < 22 ? 22 - t.size() : 1, ' ');
  return field + t;
}

std::string openmolcas_title(const Description& d) {
  char text[160];
  std::snprintf(text, sizeof text, "Generated case, seed %llu, current OpenMolcas layout",
                static_cast<unsigned long long>(d.seed));
  return padded(text, 73) + padded("Integrals generated by Gateway/Seward, generated", 70);
}

void write_openmolcas(const Description& d, const MolcasCase& m, const std::string& dir) {
  write_oneint(d, m, dir + "/OneInt");
  write_traone(d, m, dir + "/TraOne");
  write_runfile(m, dir + "/RunFile");
}

void write_inporb_sections(const Description& d, const MolcasCase& m,
                           const std::vector<std::string>& fields, const std::string& path) {
  const std::string version = inporb_version(d);
  const int per_line = version[0] == '1' ? 4 : 5;
  std::ofstream f(path);
  auto counts = [&](const std::array<int, 8>& v) {
    for (int s = 0; s < m.nsym; ++s) {
      char b[16];
      std::snprintf(b, sizeof b, "%8d", v[s]);
      f << b;
    }
    f << '\n';
  };
  std::array<int, 8> norb = m.nb;
  if (d.inporb_without_deleted)
    for (int s = 0; s < m.nsym; ++s) norb[s] -= d.ndel[s];
  f << "#INPORB " << version << "\n#INFO\n" << m.orbital_title << '\n';
  char head[64];
  std::snprintf(head, sizeof head, "%8d%8d%8d", 0, m.nsym, 0);
  f << head << '\n';
  counts(m.nb);
  counts(norb);
  f << "*BC:HOST mkcase PID 0 DATE generated\n#EXTRAS\n* ACTIVE TWO-EL ENERGY\n"
    << " 0.100000000000E+01\n#ORB\n";
  size_t k = 0;
  for (int s = 1; s <= m.nsym; ++s)
    for (int o = 1; o <= m.nb[s - 1]; ++o) {
      if (o > norb[s - 1]) {
        k += m.nb[s - 1];
        continue;
      }
      std::snprintf(head, sizeof head, "* ORBITAL%5d%5d", s, o);
      f << head << '\n';
      for (int mu = 1; mu <= m.nb[s - 1]; ++mu) {
        f << fields[k++];
        if (mu % per_line == 0 || mu == m.nb[s - 1]) f << '\n';
      }
    }
  f << "#OCC\n* OCCUPATION NUMBERS\n";
  for (int s = 1; s <= m.nsym; ++s) {
    double v;
    for (int o = 1; o <= norb[s - 1]; ++o) {
      f << inporb_field(version, o <= 2 ? 2.0 : 0.0, v);
      if (o % per_line == 0 || o == norb[s - 1]) f << '\n';
    }
  }
  f << "#INDEX\n";
  if (!f) throw std::runtime_error("cannot write " + path);
}

}  // namespace mkcase
