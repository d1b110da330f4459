#include "driver/driver.hpp"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "density/moments.hpp"
#include "density/density_stage.hpp"
#include "density/results_file.hpp"
#include "detspace/detlist.hpp"
#include "detspace/categories.hpp"
#include "detspace/list_layout.hpp"
#include "detspace/reorder.hpp"
#include "core/print.hpp"
#include "driver/command_line.hpp"
#include "fortio/stop.hpp"
#include "input/input_checks.hpp"
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

// The namelist reader scans its groups from an 80-column copy of standard
// input, so that the input can be read more than once.  Standard input is
// read whole first: no scratch file is touched before it is known that none
// of them is an input.
void copy_input(Run& run) {
  std::vector<std::string> cards;
  for (std::string card; run.io.read_card(kUnitStdin, card, 80);) cards.push_back(card);
  refuse_scratch_inputs(run, cards);
  run.io.open(kUnitListing, "BID75", fio::Status::Unknown, fio::Form::Formatted);
  // The scratch files have fixed names in the working folder: a second run
  // there would write over the first one's.  The listing is the first of
  // them each run opens, and its lock stands for the whole set.
  if (!run.io.try_lock(kUnitListing))
    refuse_input(run, "another run is using this folder (its scratch file BID75 is locked)");
  run.io.open(kUnitInput, "BID93", fio::Status::Unknown, fio::Form::Formatted);
  for (const std::string& card : cards) run.io.write_line(kUnitInput, card);
  run.io.flush(kUnitInput);
  run.io.rewind(kUnitInput);
}

}  // namespace

// The check and the reordering of the second determinant list work in the
// work array, in the views of its plan.
void determinant_lists(Run& run, const AddressTables& tables) {
  const WorkPlan plan(run.espa);
  int* table = plan.address_table.data();
  unsigned char* buffer = plan.pass_buffer.data();
  int nmax = 0;
  vermat(run, tables, table, table, plan.seen.data(), nmax);
  if (run.switches.packed_lists)
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
        break;
      case Stage::RunDescription:
        lircd(run);
        verdim(run, "dimension mat trop grande   : ndet iadri", run.det.ndet, kIadri);
        break;
      case Stage::OrbitalClasses:
        prepar(run);
        break;
      case Stage::Categories:
        prepad(run);
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
        break;
    }
    // A report read while the run goes on ends at the last stage done.
    run.io.flush(kUnitReport);
    if (after) after(static_cast<Stage>(s));
  }
}

void driver(Run& run) {
  copy_input(run);
  check_input_groups(run);
  run.io.list(kUnitReport, {"iadri", kIadri});
  run_stages(run, Stage::OpenFiles, Stage::Moments);
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
    run.io.flush_all();
    if (!stop.shown.empty()) run.io.err() << stop.shown << std::endl;
    // A stop whose reason stands only in the report is told on standard
    // error too, so that a script sees why the run failed.
    if (stop.status != fio::kStatusFinished && stop.shown.rfind("ciprop:", 0) != 0 &&
        stop.status != fio::kStatusIoError)
      run.io.err() << "ciprop: stopped on an error"
                   << (stop.shown.empty() ? "" : " (" + stop.shown + ")")
                   << "; the report ends with:" << run.io.last_out() << std::endl;
    return stop.status;
  }
}

}  // namespace ciprop
