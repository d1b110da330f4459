#include "driver/driver.hpp"

#include <ostream>
#include <string>

#include "density/calmu.hpp"
#include "detspace/prepad.hpp"
#include "driver/print.hpp"
#include "fortio/stop.hpp"
#include "input/lircd.hpp"
#include "input/openf.hpp"
#include "orbitals/lirone.hpp"
#include "orbitals/prepar.hpp"

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
// input, so that the input can be read more than once.
void copy_input(Run& run) {
  std::string card;
  while (run.io.read_card(5, card, 80)) run.io.write_line(kUnitInput, card);
  run.io.flush(kUnitInput);
  run.io.rewind(kUnitInput);
}

}  // namespace

void banner(Run& run) {
  run.io.list(6, {" "});
  for (const char* line : kBanner) run.io.list(6, {line});
  run.io.list(6, {" "});
}

void driver(Run& run) {
  run.io.open(kUnitListing, "BID75", fio::Status::Unknown, fio::Form::Formatted);
  run.io.open(kUnitInput, "BID93", fio::Status::Unknown, fio::Form::Formatted);
  copy_input(run);
  run.io.list(6, {"iadri", kIadri});
  openf(run);
  lircd(run);
  verdim(run, "dimension mat trop grande   : ndet iadri", run.det.ndet, kIadri);
  prepar(run);
  prepad(run);
  lirone(run);
  calmu(run);
}

int run_program(Run& run) {
  try {
    banner(run);
    run.dim = kDim;
    driver(run);
    run.io.list(6, {"FIN"});
    run.io.flush_all();
    return fio::kStatusFinished;
  } catch (const fio::StopRun& stop) {
    run.io.flush_all();
    if (!stop.shown.empty()) run.io.err() << stop.shown << std::endl;
    return stop.status;
  }
}

}  // namespace ciprop
