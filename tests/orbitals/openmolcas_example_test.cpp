// The integral stage on the files OpenMolcas 22.10 wrote for the bundled
// water example: every MO property matrix equals C^T P C formed here from
// OneInt and the orbital file read on their own, by the published layouts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "orbitals/molcas_run.hpp"

namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> bytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

int64_t word(const std::vector<unsigned char>& b, size_t at) {
  int64_t v;
  std::memcpy(&v, b.data() + at, 8);
  return v;
}

double real(const std::vector<unsigned char>& b, size_t at) {
  double v;
  std::memcpy(&v, b.data() + at, 8);
  return v;
}

// Component `comp` of the operator `label` as a full AO matrix: the table of
// contents from byte 168 (label, -, component, symmetry mask, address in
// 512-byte units), blocks (i >= j) present when bit (i-1) xor (j-1) of the
// mask is set, triangles row-wise, rectangles with the index of i fastest.
mkcase::Square ao_matrix(const std::vector<unsigned char>& one, const std::string& label, int comp,
                         const std::array<int, 8>& nb, int nsym, double& nuclear) {
  int n = 0;
  std::array<int, 8> off{};
  for (int s = 0; s < nsym; ++s) off[s] = n, n += nb[s];
  mkcase::Square p(n);
  for (size_t e = 168;; e += 40) {
    if (word(one, e) == -1) ADD_FAILURE() << label << " " << comp << " not found";
    if (word(one, e) == -1) return p;
    if (std::string(reinterpret_cast<const char*>(&one[e]), 8) != label || word(one, e + 16) != comp)
      continue;
    const int64_t mask = word(one, e + 24);
    size_t at = 512 * static_cast<size_t>(word(one, e + 32));
    for (int i = 1; i <= nsym; ++i)
      for (int j = 1; j <= i; ++j) {
        if (!(mask >> ((i - 1) ^ (j - 1)) & 1)) continue;
        for (int b = 1; b <= nb[j - 1]; ++b)
          for (int a = (i == j ? b : 1); a <= nb[i - 1]; ++a) {
            // Triangle row-wise: (a, b) with a >= b at a(a-1)/2 + b.
            const size_t k = i == j ? static_cast<size_t>(a * (a - 1) / 2 + b - 1)
                                    : static_cast<size_t>(a - 1 + (b - 1) * nb[i - 1]);
            const double v = real(one, at + 8 * k);
            p(off[i - 1] + a, off[j - 1] + b) = p(off[j - 1] + b, off[i - 1] + a) = v;
          }
        at += 8 * static_cast<size_t>(i == j ? nb[i - 1] * (nb[i - 1] + 1) / 2
                                             : nb[i - 1] * nb[j - 1]);
      }
    nuclear = real(one, at + 24);
    return p;
  }
}

// The orbitals of an #INPORB 2.2 file, block-diagonal, numbers split at
// blanks.
mkcase::Square orbitals(const std::string& text, const std::array<int, 8>& nb, int nsym) {
  int n = 0;
  for (int s = 0; s < nsym; ++s) n += nb[s];
  mkcase::Square c(n);
  std::istringstream in(text.substr(text.find("#ORB\n") + 5));
  int first = 0;
  for (int s = 0; s < nsym; ++s) {
    for (int o = 1; o <= nb[s]; ++o) {
      std::string heading;
      std::getline(in, heading);
      EXPECT_EQ(heading.rfind("* ORBITAL", 0), 0u) << heading;
      for (int mu = 1; mu <= nb[s]; ++mu) in >> c(first + mu, first + o);
      in.ignore(1);
    }
    first += nb[s];
  }
  return c;
}

TEST(OpenMolcasFiles, MoMatricesOfTheExampleEqualTheDenseTransform) {
  // Water in C2v (a1 b1 a2 b2): 11 4 2 7 functions, 1a1 frozen and the last
  // b2 deleted by MOTRA; x, y, z are b1, b2, a1.
  mkcase::Description d = mkcase::describe("CAS ", 4, {1, 0, 0, 1}, {2, 1, 0, 1}, {7, 3, 2, 4}, 0);
  d.molcas = 22;
  d.ngel = {1, 0, 0, 0};
  d.ndel = {0, 0, 0, 1};
  d.symxyz = {2, 4, 1};
  d.ioper = 0;
  molcasrun::Stage st(d);
  const fs::path src = fs::path(CIPROP_SOURCE_DIR) / "example" / "openmolcas" / "case";
  for (const char* f : {"OneInt", "TraOne", "RunFile"}) {
    const std::string cmd = "gzip -dc '" + (src / f).string() + ".gz' > '" + st.path(f) + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  fs::copy_file(src / "RasOrb", st.path("INPORB"), fs::copy_options::overwrite_existing);
  ASSERT_EQ(st.lirone(), 0) << st.out.str() << st.err.str();

  const std::array<int, 8> nb = {11, 4, 2, 7};
  const auto one = bytes(st.path("OneInt"));
  const mkcase::Square c = orbitals(st.dir.read("INPORB"), nb, 4);
  const char* names[9] = {"x", "y", "z", "xx", "xy", "xz", "yy", "yz", "zz"};
  for (int k = 0; k < 9; ++k) {
    SCOPED_TRACE(names[k]);
    double nuclear = 0;
    const mkcase::Square p =
        ao_matrix(one, k < 3 ? "MLTPL  1" : "MLTPL  2", k < 3 ? k + 1 : k - 2, nb, 4, nuclear);
    mkcase::Square mo(24);
    for (int i = 1; i <= 24; ++i)
      for (int j = 1; j <= 24; ++j) {
        double s = 0;
        for (int a = 1; a <= 24; ++a)
          for (int b = 1; b <= 24; ++b) s += c(a, i) * p(a, b) * c(b, j);
        mo(i, j) = s;
      }
    molcasrun::expect_matrix(molcasrun::slice(*st.run, k), mo, names[k]);
    EXPECT_EQ(st.run->ints.fmomnucl(k + 1), nuclear);
  }
  // The nuclear dipole along z that OpenMolcas prints.
  EXPECT_NEAR(st.run->ints.fmomnucl(3), 5.66917837, 5e-9);
}

}  // namespace
