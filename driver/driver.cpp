#include "driver/driver.hpp"

#include <memory>
#include <ostream>
#include <string>

#include "density/calmu.hpp"
#include "density/source.hpp"
#include "detspace/detlist.hpp"
#include "detspace/prepad.hpp"
#include "detspace/reorder.hpp"
#include "core/print.hpp"
#include "fortio/stop.hpp"
#include "input/lircd.hpp"
#include "input/namelist.hpp"
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
// check and the reordering rows (one byte per substituted spin-orbital),
// and for a complete active space the address-ordered and transposed copies
// of the vectors that the string-driven density works on.
long long bytes_per_determinant(const Run& run) { return run.prep.gener == "CAS " ? 72 : 32; }

// Beyond the capacity the run stops as it always has; standard error says
// which "MEM" would take the space and what memory that needs.
void check_capacity(Run& run) {
  const long long ndet = run.det.ndet, capacity = determinant_capacity(run);
  if (ndet <= capacity) return;
  run.io.list(6, {"dimension mat trop grande   : ndet iadri"});
  run.io.list(6, {"                    ", ndet, capacity});
  const long long mb = (ndet * bytes_per_determinant(run) + (1 << 20) - 1) >> 20;
  throw fio::StopRun{fio::kStatusError,
                     "ciprop: " + std::to_string(ndet) + " determinants exceed the capacity of " +
                         std::to_string(capacity) + "; MEM=" + std::to_string(ndet) +
                         " in &RHO would take them, with about " + std::to_string(mb) +
                         " MB of memory"};
}

}  // namespace

// The check and the reordering of the second determinant list work in the
// work array: the address table (one integer per determinant) at the start
// of A, the seen flags in B past as many bytes, and the pass buffer from the
// end of the table to the end of the array (12 dim bytes).
void determinant_lists(Run& run, const AddressTables& tables) {
  int* table = reinterpret_cast<int*>(run.espa.a());
  unsigned char* flags = reinterpret_cast<unsigned char*>(run.espa.b()) + 4 * size_t(run.dim);
  int nmax = 0;
  vermat(run, tables, table, table, flags, nmax);
  // The reordering reads the list once per window, so the array grows (its
  // contents are not needed past the check) until one window holds the
  // whole list: a row per determinant, of bytes in the packed layout and of
  // two-byte integers in the plain one.
  const bool packed = run.test.itest(25) != 0;
  const long long row = packed ? 2 * nmax + (run.orb.norb > 256 ? (nmax + 3) / 4 : 0) + 1
                               : 2 * (2 * nmax + 1);
  const long long need = (static_cast<long long>(run.det.ndet) * row + 11) / 12;
  if (need > run.dim) size_work_array(run, need);
  table = reinterpret_cast<int*>(run.espa.a());
  unsigned char* buffer = run.espa.bytes(4 * size_t(run.dim));
  if (packed)
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
  peek_capacity(run);
  run.io.list(6, {"iadri", determinant_capacity(run)});
  openf(run);
  lircd(run);
  check_capacity(run);
  size_work_array(run, run.det.ndet);
  prepar(run);
  prepad(run);
  const std::unique_ptr<AddressTables> tables = make_address_tables(run);
  determinant_lists(run, *tables);
  lirone(run);
  density_stage(run, *tables);
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
