// A run stopped at the integral stage: the MOLCAS files of a generated case
// in a scratch folder, and a run state filled the way the opening, the run
// description and the orbital spaces leave it.
#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "core/print.hpp"
#include "fortio/stop.hpp"
#include "input/byte_files.hpp"
#include "orbitals/property_integrals.hpp"
#include "support/run_in_dir.hpp"
#include "tools/mkcase/molcas.hpp"

namespace molcasrun {

// A CAS description of the orbital spaces, frozen and deleted orbitals,
// operator symmetries and layout version, reading every operator.
inline mkcase::Description describe(int version, int nsym, std::array<int, 8> ninac, std::array<int, 8> nact,
                             std::array<int, 8> nvirt, std::array<int, 8> ngel,
                             std::array<int, 8> ndel, std::array<int, 3> symxyz, uint64_t seed) {
  mkcase::Description d = mkcase::describe("CAS ", nsym, ninac, nact, nvirt, 0);
  d.molcas = version;
  d.ngel = ngel;
  d.ndel = ndel;
  d.symxyz = symxyz;
  d.seed = seed;
  d.ioper = 0;
  return d;
}

struct Stage {
  std::ostringstream out, err;
  std::istringstream in;
  test::ScratchDir dir;
  mkcase::Description d;
  mkcase::MolcasCase m;
  std::unique_ptr<ciprop::Run> run;
  bool opened = false;

  explicit Stage(const mkcase::Description& desc, const std::string& input = "") : d(desc) {
    m = mkcase::write_molcas(d, dir.path().string());
    run = std::make_unique<ciprop::Run>(out, in, err);
    dir.write("BID93", input);
    ciprop::Run& r = *run;
    r.sym.nsym = d.nsym;
    for (int a = 1; a <= 8; ++a)
      for (int b = 1; b <= 8; ++b) r.sym.mult(a, b) = d.mult[a - 1][b - 1];
    for (int s = 1; s <= 8; ++s) {
      r.non(s) = d.ninac[s - 1] + d.nact[s - 1] + d.nvirt[s - 1];
      r.orbi.ngel(s) = d.ngel[s - 1];
      r.orbi.ndel(s) = d.ndel[s - 1];
    }
    r.hacer.ioper = d.ioper;
    r.hacer.molcas = d.molcas;
    for (int k = 1; k <= 3; ++k) r.symxyz(k) = d.symxyz[k - 1];
  }
  ~Stage() {
    for (int k = 1; k <= 3; ++k)
      if (run->filc(k) >= 0) ::close(run->filc(k));
  }

  std::string path(const std::string& name) const { return (dir.path() / name).string(); }

  // Opens the files as the opening stage does: descriptors for the MOLCAS
  // files (-1 when missing), the orbital file on unit 1, the input on 93.
  void open() {
    ciprop::Run& r = *run;
    const char* names[4] = {"", "OneInt", d.molcas == 22 ? "RunFile" : "ComFile", "TraOne"};
    for (int k = 1; k <= 3; ++k) {
      r.filcnom(k) = path(names[k]);
      r.filc(k) = std::filesystem::exists(r.filcnom(k)) ? ciprop::c_open(r.filcnom(k).c_str()) : -1;
    }
    r.orbnom(1) = path("INPORB");
    r.io.try_open_readonly(1, r.orbnom(1), fio::Form::Formatted);
    r.io.open(ciprop::kUnitInput, path("BID93"), fio::Status::Unknown, fio::Form::Formatted);
    opened = true;
  }

  // Runs the stage; returns the exit status of a stop, 0 when it finished.
  int lirone() {
    if (!opened) open();
    try {
      ciprop::lirone(*run);
      return 0;
    } catch (const fio::StopRun& s) {
      err << s.shown << '\n';  // as the entry point shows it
      return s.status;
    }
  }

  // File surgery for the fault cases.
  void truncate(const std::string& name, long keep) const {
    std::filesystem::resize_file(dir.path() / name, static_cast<uintmax_t>(keep));
  }
  long size(const std::string& name) const {
    return static_cast<long>(std::filesystem::file_size(dir.path() / name));
  }
  void put_int(const std::string& name, long at, int32_t v) const {
    std::fstream f(dir.path() / name, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(at);
    f.write(reinterpret_cast<const char*>(&v), 4);
  }
  // A text file rewritten line by line.
  void edit_lines(const std::string& name,
                  const std::function<void(std::vector<std::string>&)>& edit) const {
    auto lines = test::split_lines(dir.read(name));
    edit(lines);
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    dir.write(name, text);
  }
  void put_int64(const std::string& name, long at, int64_t v) const {
    std::fstream f(dir.path() / name, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(at);
    f.write(reinterpret_cast<const char*>(&v), 8);
  }
};

// The leading n x n part of a program matrix (leading dimension 500).
inline double at(const double* a, int i, int j) { return a[(i - 1) + 500 * static_cast<size_t>(j - 1)]; }

inline void expect_matrix(const double* a, const mkcase::Square& want, const char* what) {
  double scale = 1.0;
  for (double v : want.v) scale = std::max(scale, std::fabs(v));
  int bad = 0;
  for (int j = 1; j <= want.n; ++j)
    for (int i = 1; i <= want.n; ++i) {
      if (std::fabs(at(a, i, j) - want(i, j)) > 1e-12 * scale && bad++ < 3)
        ADD_FAILURE() << what << "(" << i << "," << j << ") = " << at(a, i, j) << ", expected "
                      << want(i, j);
      if (at(a, i, j) != at(a, j, i) && bad++ < 3)
        ADD_FAILURE() << what << " not symmetric at (" << i << "," << j << ")";
    }
  EXPECT_EQ(bad, 0) << what;
}

inline void expect_zero(const double* a, int n, const char* what) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i)
      if (at(a, i, j) != 0.0) {
        ADD_FAILURE() << what << "(" << i << "," << j << ") is not zero";
        return;
      }
}

// The program's matrix of each component, in the order x y z xx xy xz yy yz zz.
inline const double* slice(ciprop::Run& r, int component) {
  static const int quad[6] = {1, 4, 5, 3, 6, 2};  // xx xy xz yy yz zz in xxyyzz
  return component < 3 ? &r.ints.xyz(1, 1, component + 1)
                       : &r.ints.xxyyzz(1, 1, quad[component - 3]);
}

// Every component read by ioper matches the dense transform; the others
// are zero; x + y + z is their element-wise sum.
inline void expect_operators(Stage& st, int ioper) {
  ciprop::Run& r = *st.run;
  const int n = st.m.nbtot;
  const unsigned sel = static_cast<unsigned>(ioper);
  for (int c = 0; c < mkcase::kComponents; ++c) {
    const bool read = c < 3 ? sel <= 1 : (sel == 0 || sel == 2);
    SCOPED_TRACE(mkcase::kComponentNames[c]);
    if (read) {
      expect_matrix(slice(r, c), st.m.mo[c], mkcase::kComponentNames[c]);
      EXPECT_EQ(r.ints.fmomnucl(c + 1), st.m.nuclear[c]);
    } else {
      expect_zero(slice(r, c), n, mkcase::kComponentNames[c]);
      EXPECT_EQ(r.ints.fmomnucl(c + 1), 0.0);
    }
  }
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i)
      ASSERT_EQ(r.ints.xyz(i, j, 4), r.ints.xyz(i, j, 1) + r.ints.xyz(i, j, 2) + r.ints.xyz(i, j, 3));
  // The coefficients are taken exactly as the file writes them.
  int first = 1;
  for (int s = 1; s <= st.m.nsym; ++s) {
    const int nb = st.m.nb[s - 1];
    for (int col = first; col < first + nb; ++col)
      for (int mu = 1; mu <= nb; ++mu)
        ASSERT_EQ(r.ints.orb(mu, col), st.m.coef(first - 1 + mu, col)) << mu << "," << col;
    first += nb;
  }
}


}  // namespace molcasrun
