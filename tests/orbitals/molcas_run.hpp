// A run stopped at the integral stage: the MOLCAS files of a generated case
// in a scratch folder, and a run state filled the way the opening, the run
// description and the orbital spaces leave it.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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
    const char* names[4] = {"", "OneInt", "ComFile", "TraOne"};
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
};

}  // namespace molcasrun
