#include "driver/driver.hpp"

#include <ostream>
#include <string>

#include "density/calmu.hpp"
#include "density/source.hpp"
#include "detspace/detlist.hpp"
#include "detspace/prepad.hpp"
#include "detspace/reference_configurations.hpp"
#include "detspace/reorder.hpp"
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

// The check and the reordering of the second determinant list work in the
// work array: the address table (one integer per determinant, at most
// 8,000,000) at the start of A, the seen flags and the pass buffer past its
// 32,000,000 bytes.
void determinant_lists(Run& run) {
  constexpr size_t kPastTable = 32000000;
  int* table = reinterpret_cast<int*>(run.espa.a());
  unsigned char* flags = reinterpret_cast<unsigned char*>(run.espa.b()) + kPastTable;
  unsigned char* buffer = run.espa.bytes(kPastTable);
  int nmax = 0;
  vermat(run, table, table, flags, nmax);
  if (run.test.itest(25) != 0)
    reorde2(run, buffer, buffer, nmax, table);
  else
    reorde(run, nmax, table, reinterpret_cast<int*>(buffer), reinterpret_cast<short*>(buffer));
  run.io.close(kUnitBid84, true);
}

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
  if (multireference(run.prep.gener)) {
    mrs1(run);
    // The list check, the reordering and the density stage do not address
    // the multireference space yet.
    refuse(run, {"modes multireference non disponibles dans cette version : gener='",
                 run.prep.gener.view(), "'"});
  }
  determinant_lists(run);
  lirone(run);
  density_stage(run);
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
