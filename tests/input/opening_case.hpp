// Run folders for the stages that open the files and read the run
// description: "vrt" and "Info" from the case generator, empty determinant
// and vector files (the opening only opens them), and the run's input.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/print.hpp"
#include "fortio/stop.hpp"
#include "input/open_files.hpp"
#include "support/run_in_dir.hpp"
#include "tools/mkcase/runfiles.hpp"

namespace opening {

// Two symmetries, 11 orbitals, 3 active orbitals holding 4 electrons.
inline mkcase::Description small_case() {
  mkcase::Description d;
  d.nsym = 2;
  d.ninac = {2, 1};
  d.nact = {2, 1};
  d.nvirt = {3, 2};
  d.nelac = 4;
  d.ms2 = -2;
  return d;
}

// One symmetry: ninac inactive, nact active, nvirt virtual orbitals.
inline mkcase::Description one_symmetry(int ninac, int nact, int nvirt, int nelac) {
  mkcase::Description d;
  d.ninac = {ninac};
  d.nact = {nact};
  d.nvirt = {nvirt};
  d.nelac = nelac;
  return d;
}

// Writes the CI program's files of a run under dir/prefix.
inline void write_ci_files(const test::ScratchDir& dir, const std::string& prefix,
                           const std::string& vrt, const std::string& info) {
  std::filesystem::create_directories((dir.path() / (prefix + "x")).parent_path());
  dir.write(prefix + "vrt", vrt);
  dir.write(prefix + "Info", info);
  for (const char* f : {"deta", "detb", "daveca", "davecb"}) dir.write(prefix + f, "");
}

inline void write_ci_files(const test::ScratchDir& dir, const mkcase::Description& d,
                           const std::string& prefix = "") {
  write_ci_files(dir, prefix, mkcase::vrt_text(d, 1), mkcase::info_text(d));
}

inline bool has_line(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The run went through the opening and the run description to the report of
// the orbital spaces (the stages after it need files these folders lack).
inline bool opened_all(const test::RunResult& r) {
  return has_line(test::split_lines(r.out),
                  " =======ORBITALES OCCUPEES, ACTIVES, VIRTUELLES=======");
}

// The lines from the first one equal to `first` (included), `count` lines.
inline std::vector<std::string> lines_from(const std::vector<std::string>& lines,
                                           const std::string& first, size_t count) {
  auto it = std::find(lines.begin(), lines.end(), first);
  if (it == lines.end()) return {"<no line '" + first + "'>"};
  size_t n = std::min<size_t>(count, static_cast<size_t>(lines.end() - it));
  return std::vector<std::string>(it, it + static_cast<long>(n));
}

// A run state in process with the listing unit and the run-description
// files opened in a scratch folder, for stages called one by one.
struct Stage {
  test::ScratchDir dir;
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<ciprop::Run> run = std::make_unique<ciprop::Run>(out, in, err);

  Stage(const std::string& vrt, const std::string& info) {
    dir.write("vrt", vrt);
    dir.write("Info", info);
    open(ciprop::kUnitListing, "BID75");
    open(ciprop::kUnitVrt, "vrt");
    open(ciprop::kUnitInfo, "Info");
  }
  explicit Stage(const mkcase::Description& d)
      : Stage(mkcase::vrt_text(d, 1), mkcase::info_text(d)) {}

  void open(int unit, const std::string& name) {
    run->io.open(unit, (dir.path() / name).string(), fio::Status::Unknown, fio::Form::Formatted);
  }
  // Runs a stage; returns the exit status of a stop, or -1 when it returns.
  int call(const std::function<void(ciprop::Run&)>& stage) {
    try {
      stage(*run);
      return -1;
    } catch (const fio::StopRun& s) {
      return s.status;
    }
  }
  std::vector<std::string> lines() const { return test::split_lines(out.str()); }
};

}  // namespace opening
