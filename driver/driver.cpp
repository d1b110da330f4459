#include "driver/driver.hpp"

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/unit_numbers.hpp"
#include "density/moments.hpp"
#include "density/density_stage.hpp"
#include "density/natural_orbitals.hpp"
#include "density/results_file.hpp"
#include "density/absorption_picture.hpp"
#include "density/absorption.hpp"
#include "detspace/detlist.hpp"
#include "detspace/categories.hpp"
#include "detspace/list_layout.hpp"
#include "detspace/reference_configurations.hpp"
#include "detspace/reorder.hpp"
#include "core/print.hpp"
#include "core/threads.hpp"
#include "driver/command_line.hpp"
#include "fortio/stop.hpp"
#include "input/input_checks.hpp"
#include "input/namelist.hpp"
#include "input/run_description.hpp"
#include "input/open_files.hpp"
#include "orbitals/property_integrals.hpp"
#include "orbitals/orbital_classes.hpp"

namespace ciprop {

namespace {

const char* const kBanner[11] = {
    "      #######   ######  ########    ########      ######    ########",
    "     ##     ##    ##    ##     ##   ##     ##    ##    ##   ##     ##",
    "    ##            ##    ##      ##  ##      ##  ##      ##  ##      ##",
    "    ##            ##    ##      ##  ##      ##  ##      ##  ##      ##",
    "    ##            ##    ##     ##   ##     ##   ##      ##  ##     ##",
    "    ##            ##    ########    ########    ##      ##  ########",
    "    ##            ##    ##          ##   ##     ##      ##  ##",
    "    ##            ##    ##          ##    ##    ##      ##  ##",
    "    ##            ##    ##          ##     ##   ##      ##  ##",
    "     ##     ##    ##    ##          ##      ##   ##    ##   ##",
    "      #######   ######  ##          ##       ##   ######    ##",
};

constexpr std::string_view kBusy =
    "another run is using this folder (its scratch file BID75 is locked)";

// The namelist reader scans its groups from an 80-column copy of standard
// input, so that the input can be read more than once.  Standard input is
// read whole first: no scratch file is touched before it is known that none
// of them is an input.  Every line is the run's, so text beyond column 80,
// which the copy would drop, is refused at once.
//
// The scratch files have fixed names in the working folder: a second run
// there would write over the first one's.  The listing is the first of them
// each run opens, and its lock stands for the whole set.  Unless another run
// holds the folder, the output files of an earlier run go first: a run that
// fails must not leave them behind for a script to take as its own.
void copy_input(Run& run) {
  if (run.io.scratch_locked("BID75")) refuse_input(run, kBusy);
  for (std::string_view output : {kResultsFile, kSpectrumPicture})
    remove_earlier_output(run, output);
  std::vector<std::string> cards;
  for (std::string line; run.io.read_line(kUnitStdin, line);) {
    check_card_width(run, line, "line " + std::to_string(cards.size() + 1) + " of standard input");
    line.resize(80, ' ');
    cards.push_back(line);
  }
  refuse_scratch_inputs(run, cards);
  run.io.open_scratch(kUnitListing, "BID75", fio::Form::Formatted);
  if (!run.io.try_lock(kUnitListing)) refuse_input(run, kBusy);
  run.io.open_scratch(kUnitInput, "BID93", fio::Form::Formatted);
  for (const std::string& card : cards) run.io.write_line(kUnitInput, card);
  run.io.flush(kUnitInput);
  run.io.rewind(kUnitInput);
  if (cards.empty())
    warn(run, "standard input is empty: no group is read, and every option takes its default");
}

// The determinant capacity is needed for the report's first line, before
// "&RHO" is read with the other run options: its "MEM" key is looked up
// alone, silently, and the copy of the input rewound for the options stage.
void peek_capacity(Run& run) {
  std::string text;
  int ierr = 0, mem = 0;
  lecnam(run, "&RHO", text, kUnitInput, ierr, 0);
  if (ierr == 0) nameli(run, text, mem, "MEM");
  run.io.rewind(kUnitInput);
  run.memoire = mem;
}

// Bytes per determinant that a run needs at its peak, as measured on large
// spaces: the two halves of the work array, the address table of the list
// check and the reordering rows (one byte per substituted spin-orbital), the
// first vector in the address order of its space, and for a complete active
// space the transposed copies of the vectors that the string-driven density
// works on.
long long bytes_per_determinant(const Run& run) { return run.prep.gener == "CAS " ? 72 : 40; }

// Beyond the capacity the run stops as it always has; standard error says
// which "MEM" would take the space and what memory that needs.
void check_capacity(Run& run) {
  const long long ndet = run.det.ndet, capacity = determinant_capacity(run);
  if (ndet <= capacity) return;
  run.io.list(kUnitReport, {"dimension mat trop grande   : ndet iadri"});
  run.io.list(kUnitReport, {"                    ", ndet, capacity});
  const long long mb = (ndet * bytes_per_determinant(run) + (1 << 20) - 1) >> 20;
  fio::stop_error(run.io, std::to_string(ndet) + " determinants exceed the capacity of " +
                              std::to_string(capacity) + "; MEM=" + std::to_string(ndet) +
                              " in &RHO would take them, with about " + std::to_string(mb) +
                              " MB of memory");
}

// CIPROP_THREADS that the run passes over is told, with the count it uses.
void warn_thread_count(Run& run) {
  const char* asked = std::getenv("CIPROP_THREADS");
  if (asked == nullptr || threads_asked() > 0) return;
  warn(run, "CIPROP_THREADS='" + std::string(asked) +
                "' is not a positive number; the run uses " + std::to_string(run_threads()) +
                " threads, one per processor");
}

}  // namespace

// The check and the reordering of the second determinant list work in the
// work array, in the views of its plan.  A first list that is the second
// one byte for byte is noted, so that the density stage need not check it
// again.
void determinant_lists(Run& run, const AddressTables& tables) {
  run.dets.first_list_same = same_lists(run, kUnitDetA, kUnitDetB);
  int nmax = 0;
  {
    const WorkPlan plan(run.espa);
    vermat(run, tables, plan.address_table.data(), plan.address_table.data(), plan.seen.data(),
           nmax);
  }
  // The reordering reads the list once per window, so the array grows (its
  // contents are not needed past the check) until one window holds the
  // whole list: a row per determinant, of bytes in the packed layout and of
  // two-byte integers in the plain one.
  const bool packed = run.switches.packed_lists;
  const long long row = packed ? 2 * nmax + (run.orb.norb > 256 ? (nmax + 3) / 4 : 0) + 1
                               : 2 * (2 * nmax + 1);
  const long long need = (static_cast<long long>(run.det.ndet) * row + 11) / 12;
  if (need > run.dim) size_work_array(run, need);
  const WorkPlan plan(run.espa);
  int* table = plan.address_table.data();
  unsigned char* buffer = plan.pass_buffer.data();
  if (packed)
    reorde2(run, buffer, buffer, nmax, table);
  else
    reorde(run, nmax, table, reinterpret_cast<int*>(buffer), reinterpret_cast<short*>(buffer));
  run.io.close(kUnitBid84, true);
}

void banner(Run& run) {
  run.io.list(kUnitReport, {" "});
  for (const char* line : kBanner) run.io.list(kUnitReport, {line});
  run.io.list(kUnitReport, {" "});
}

void run_stages(Run& run, Stage first, Stage last, const std::function<void(Stage)>& after) {
  std::unique_ptr<AddressTables> tables;
  auto address_tables = [&]() -> const AddressTables& {
    if (!tables) tables = make_address_tables(run);
    return *tables;
  };
  for (int s = static_cast<int>(first); s <= static_cast<int>(last); ++s) {
    switch (static_cast<Stage>(s)) {
      case Stage::OpenFiles:
        openf(run);
        check_listed_roots(run);
        break;
      case Stage::RunDescription:
        lircd(run);
        check_capacity(run);
        size_work_array(run, run.det.ndet);
        break;
      case Stage::OrbitalClasses:
        prepar(run);
        break;
      case Stage::Categories:
        prepad(run);
        if (multireference(run.prep.gener)) mrs1(run);
        address_tables();
        break;
      case Stage::DeterminantLists:
        choose_list_layout(run);
        determinant_lists(run, address_tables());
        break;
      case Stage::Integrals:
        lirone(run);
        break;
      case Stage::Density:
        density_stage(run, address_tables());
        break;
      case Stage::Moments:
        calmu(run);
        spectrum_table(run);
        break;
      case Stage::OrbitalFiles:
        orbital_files(run);
        break;
    }
    // A report read while the run goes on ends at the last stage done.
    run.io.flush(kUnitReport);
    if (after) after(static_cast<Stage>(s));
  }
}

void driver(Run& run) {
  warn_thread_count(run);
  copy_input(run);
  check_input_groups(run);
  peek_capacity(run);
  run.io.list(kUnitReport, {"iadri", determinant_capacity(run)});
  run_stages(run, Stage::OpenFiles, Stage::OrbitalFiles);
}

int run_program(Run& run) {
  try {
    banner(run);
    run.dim = kDim;
    driver(run);
    write_results(run, kVersion);
    run.io.list(kUnitReport, {"FIN"});
    run.io.close_all();
    return fio::kStatusFinished;
  } catch (const fio::StopRun& stop) {
    // The stop has told its reason on standard error.
    run.io.flush_all();
    return stop.status;
  } catch (const std::bad_alloc&) {
    run.io.flush_all();
    run.io.err() << "ciprop: not enough memory for this run; run it on a machine with more"
                 << std::endl;
    return fio::kStatusError;
  } catch (const std::exception& e) {
    // A fault of the program itself, never of the input: said so.
    run.io.flush_all();
    run.io.err() << "ciprop: internal error (" << e.what() << "); please report it with the input"
                 << std::endl;
    return fio::kStatusError;
  }
}

}  // namespace ciprop
