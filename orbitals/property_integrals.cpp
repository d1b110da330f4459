#include "orbitals/property_integrals.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/unit_numbers.hpp"
#include "core/print.hpp"
#include "fortio/bytes.hpp"
#include "fortio/progress.hpp"
#include "fortio/stop.hpp"
#include "input/byte_files.hpp"
#include "input/input_checks.hpp"
#include "input/namelist.hpp"
#include "orbitals/molcas_bytes.hpp"
#include "orbitals/openmolcas_files.hpp"
#include "orbitals/orbital_file.hpp"

namespace ciprop {

namespace {

constexpr int kUnitOrbitals = 1;

// Positions in the MOLCAS files.
constexpr long kTraSymCount = 264;
constexpr int kTitleAt = 12, kTitleLength = 143;
constexpr int kOverlapWord = 172;      // version 5
constexpr int kToc = 192, kTocStep = 20, kTocEntries = 14;
constexpr int kSymCount = 2716, kBasisCounts = 2752;  // versions 4 and 5
constexpr int kComTitleWord = 28;      // version 54
constexpr int kLabelTable = 672;       // version 54: labels searched in these bytes

// The header of OneInt or ComFile: the first 40,960 bytes, of which a short
// file may hold fewer; every value taken from it must lie in what was read.
void read_header(Run& run, int k, std::array<unsigned char, kHeaderBytes>& buf, long& got) {
  got = read_some(run, k, 0, buf.data(), kHeaderBytes);
}

int32_t header_int(Run& run, int k, const std::array<unsigned char, kHeaderBytes>& buf,
                   long got, long offset) {
  if (offset < 0 || offset + 4 > got)
    molcas_fault(run, k, "no value at byte " + std::to_string(offset) + " of the header");
  return le32(buf.data() + offset);
}

// Version 54 finds its values through a table of labels: the address word of
// a label stands `after` bytes past the label's start, rounded down to a
// four-byte boundary.
int32_t label_address(Run& run, int k, const std::array<unsigned char, kHeaderBytes>& buf,
                      long got, std::string_view label, int after) {
  std::string_view table(reinterpret_cast<const char*>(buf.data()),
                         static_cast<size_t>(std::min<long>(got, kLabelTable)));
  size_t p = table.find(label);
  // The older layouts spell their labels otherwise ("MLTPL  0") or keep
  // none there: a file of theirs would be read through words that mean
  // something else.
  if (p == std::string_view::npos)
    molcas_refuse(run, k, "no label \"" + std::string(label) + "\" in its first " +
                              std::to_string(kLabelTable) +
                              " bytes, where version 54 keeps its table of labels: " +
                              (k == kOneInt ? "a OneInt of another layout (MOLCAS=4 or 5)"
                                            : "damaged, or not a ComFile") +
                              ", but the run reads MOLCAS=54; give the version that wrote the "
                              "files in &RHC and &COST");
  const long position = static_cast<long>(p) + 1;  // 1-based, as the layout counts
  return header_int(run, k, buf, got, 4 * ((position + after) / 4));
}

// A count of the integral files that the program cannot take: the report's
// line, then the file on standard error.
[[noreturn]] void refuse_count(Run& run, int k, const fio::Items& line, const std::string& why) {
  run.io.list(kUnitReport, line);
  molcas_stop(run, k, why);
}

bool reads_dipoles(int ioper) { return ioper == 0 || ioper == 1; }
bool reads_quadrupoles(int ioper) { return ioper == 0 || ioper == 2; }

// The MOLCAS version of "&COST", and the layouts this program knows.
constexpr std::string_view kCostKeys[] = {"MOLCAS"};
void lircost(Run& run) {
  std::string text;
  int ierr = 0;
  lecnam(run, "&COST", text, kUnitInput, ierr, 0);
  const std::string given = text;
  int cost = run.hacer.molcas;
  if (nameli(run, text, cost, "MOLCAS") > 0 && run.hacer.molcas_given)
    check_molcas_versions(run, run.hacer.molcas, cost);
  run.hacer.molcas = cost;
  check_items(run, "&COST", given, text, kCostKeys);
  const int v = run.hacer.molcas;
  if (v != 4 && v != 5 && v != 54 && v != kMolcasCurrent)
    refuse(run, {"version de Molcas non prevue :", v, " (4, 5, 54 ou 22)"},
           "MOLCAS=" + std::to_string(v) + " in &RHC or &COST is no file version this program "
           "reads; give 4, 5, 54 or 22 (current OpenMolcas)");
}

// The basis and kept-orbital counts of TraOne, and the check of the frozen
// and deleted orbitals of the input against them.
void lirtra(Run& run) {
  need_file(run, kTraOne);
  const int nsym = run.sym.nsym;
  const bool v54 = run.hacer.molcas == 54, current = run.hacer.molcas == kMolcasCurrent;
  MotraCounts motra;
  if (current) read_motra_counts(run, motra);
  else check_traone_layout(run);
  run.io.list(kUnitReport, {"nombre de symetries", current ? motra.nsym : int_at(run, kTraOne, kTraSymCount)});
  const long nbas_at = v54 ? 272 : 268, kept_at = v54 ? 304 : 300;
  Arr1<int, 1, 8> kept;
  for (int s = 1; s <= 8; ++s) {
    if (current) {
      run.orbi.nbas(s) = motra.nbas(s);
      kept(s) = motra.kept(s);
      continue;
    }
    if (v54 && s == 8 && nsym == 8) {
      // Version 54 has no eighth entries of its own.
      run.orbi.nbas(8) = run.orbi.ngel(8) + run.non(8) + run.orbi.ndel(8);
      kept(8) = run.non(8);
      continue;
    }
    run.orbi.nbas(s) = int_at(run, kTraOne, nbas_at + 4 * (s - 1));
    kept(s) = int_at(run, kTraOne, kept_at + 4 * (s - 1));
    // Every later count and offset is built from these: a damaged word
    // must not reach that arithmetic.
    if (s <= nsym && (run.orbi.nbas(s) < 0 || run.orbi.nbas(s) > kMaxOrb || kept(s) < 0 ||
                      kept(s) > run.orbi.nbas(s)))
      molcas_refuse(run, kTraOne, "symmetry " + std::to_string(s) + ": " +
                                      std::to_string(run.orbi.nbas(s)) + " basis functions and " +
                                      std::to_string(kept(s)) + " kept orbitals (0 <= kept <= basis <= " +
                                      std::to_string(kMaxOrb) + ")");
  }
  const int n = std::clamp(nsym, 0, 8);
  run.io.write(kUnitReport, "(/,'  nombre d''orbitales par symetrie avant gel',/  8i4)",
               fio::Items().all(run.orbi.nbas.data(), n));
  run.io.write(kUnitReport, "(/,'  nombre d''orbitales par symetrie apres gel',/  8i4)",
               fio::Items().all(kept.data(), n));
  std::string bad;
  for (int s = 1; s <= n; ++s) {
    const int sum = run.orbi.ngel(s) + run.orbi.ndel(s);
    const int should = run.orbi.nbas(s) - kept(s);
    if (sum == should) continue;
    bad += (bad.empty() ? "" : "; ") + std::string("symmetry ") + std::to_string(s) + ": " +
           std::to_string(sum) + " frozen and deleted in &RHO, " + std::to_string(should) +
           " in TraOne (" + std::to_string(run.orbi.nbas(s)) + " basis functions, " +
           std::to_string(kept(s)) + " kept)";
    run.io.list(kUnitReport, {" "});
    run.io.list(kUnitReport, {"*************************************"});
    run.io.list(kUnitReport, {"symetrie", s});
    run.io.list(kUnitReport, {"mauvais nombre d'orbitales gelees et/ou detruites"});
    run.io.list(kUnitReport, {"ngel+ndel=", sum, ", devrait valoir", should});
    run.io.list(kUnitReport, {"*************************************"});
  }
  if (!bad.empty())
    molcas_stop(run, kTraOne,
                "the frozen and deleted orbitals of NGEL and NDEL differ from the orbitals "
                "TraOne does not keep: " + bad +
                    "; give NGEL and NDEL the frozen and deleted orbitals of the run that wrote "
                    "TraOne, or use that run's TraOne");
  if (current) check_motra_split(run, motra);
  run.io.write(kUnitReport, "(/,'  nombre d''orbitales gelees   ',                8i4)",
               fio::Items().all(run.orbi.ngel.data(), n));
  run.io.write(kUnitReport, "(/,'  nombre d''orbitales detruites   ',             8i4)",
               fio::Items().all(run.orbi.ndel.data(), n));
}

// The SEWARD title, and the headers of OneInt (and ComFile).
void lirtitre(Run& run) {
  OrbitalRecords& r = run.ints;
  need_file(run, kOneInt);
  char title[kTitleLength];
  if (run.hacer.molcas == 54) {
    need_file(run, kComFile);
    const long w = int_at(run, kComFile, kComTitleWord);
    read_at(run, kComFile, 8 * w, title, kTitleLength);
  } else if (run.hacer.molcas == kMolcasCurrent) {
    read_header(run, kOneInt, r.buf, r.nbuf);
    check_oneint_layout(run, r.buf.data(), r.nbuf);
    runfile_title(run, title);
  } else {
    read_header(run, kOneInt, r.buf, r.nbuf);
    check_oneint_layout(run, r.buf.data(), r.nbuf);
    if (r.nbuf < kTitleAt + kTitleLength) molcas_fault(run, kOneInt, "no SEWARD title");
    std::memcpy(title, r.buf.data() + kTitleAt, kTitleLength);
  }
  run.io.list(kUnitReport, {" "});
  run.io.list(kUnitReport, {"titre SEWARD :"});
  run.io.list(kUnitReport, {" "});
  fio::Items first, second;
  for (int k = 0; k < 73; ++k) first << std::string_view(title + k, 1);
  for (int k = 73; k < kTitleLength; ++k) second << std::string_view(title + k, 1);
  run.io.write(kUnitReport, "(80a1)", first);
  run.io.write(kUnitReport, "(70a1)", second);
  run.io.list(kUnitReport, {" "});
  if (run.hacer.molcas == 54) {
    read_header(run, kOneInt, r.buf, r.nbuf);
    check_oneint_layout(run, r.buf.data(), r.nbuf);
    read_header(run, kComFile, r.bufc, r.nbufc);
  }
}

// The table of contents, the symmetry count and the basis functions per
// symmetry, with the offsets of the MO and packed storage.
void lirbase(Run& run) {
  OrbitalRecords& r = run.ints;
  const bool v54 = run.hacer.molcas == 54, current = run.hacer.molcas == kMolcasCurrent;
  if (current)
    read_oneint_toc(run);
  else
    for (int k = 1; k <= kTocEntries; ++k)
      r.itoc(k) = header_int(run, kOneInt, r.buf, r.nbuf, kToc + kTocStep * (k - 1));
  run.io.list(kUnitReport, fio::Items{"itoc"}.all(r.itoc.data(), kTocEntries));

  int nsym = 0;
  long nb_at = 0;
  int src = kOneInt;
  if (current) {
    // OneInt no longer holds the counts: MOTRA's, as lirtra read them.
    src = kTraOne;
    nsym = static_cast<int>(int64_at(run, kTraOne, 1024));
  } else if (v54) {
    src = kComFile;
    const long v = 8L * label_address(run, src, r.bufc, r.nbufc, "NSYM", 11);
    nsym = header_int(run, src, r.bufc, r.nbufc, v);
    nb_at = 8L * label_address(run, src, r.bufc, r.nbufc, "NBAS", 11);
  } else {
    nsym = header_int(run, src, r.buf, r.nbuf, kSymCount);
    nb_at = kBasisCounts;
  }
  const std::string damaged =
      ": damaged, or not of MOLCAS version " + std::to_string(run.hacer.molcas);
  if (nsym < 1 || nsym > 8)
    refuse_count(run, src, {"nombre de symetries incorrect :", nsym},
                 "symmetry count " + std::to_string(nsym) + " outside 1..8" + damaged);
  // The symmetry tables of the run come from Info; integrals of another
  // point group would be indexed through tables that do not describe them.
  if (nsym != run.sym.nsym)
    molcas_refuse(run, src, std::to_string(nsym) + " symmetries where the Info file has " +
                                std::to_string(run.sym.nsym));
  run.sym.nsym = nsym;
  run.io.list(kUnitReport, {"nombre de symetries", nsym});
  r.nb.fill(0);
  r.ntot = 0;
  int packed = 0;
  for (int s = 1; s <= nsym; ++s) {
    const auto& b = v54 ? r.bufc : r.buf;
    const int n = current ? run.orbi.nbas(s)
                          : header_int(run, src, b, v54 ? r.nbufc : r.nbuf, nb_at + 4 * (s - 1));
    if (n < 0 || n > kMaxOrb)
      refuse_count(run, src, {"nombre d'orbitales incorrect pour la symetrie", s, ":", n},
                   "basis count " + std::to_string(n) + " of symmetry " + std::to_string(s) +
                       " outside 0.." + std::to_string(kMaxOrb) + damaged);
    // The density goes back to its orbitals by TraOne's counts, the
    // integrals by these: two splits of the basis would pair the wrong
    // orbitals even with equal totals.
    if (n != run.orbi.nbas(s))
      molcas_refuse(run, src, "basis count " + std::to_string(n) + " of symmetry " +
                                  std::to_string(s) + ", TraOne has " +
                                  std::to_string(run.orbi.nbas(s)) +
                                  ": files of different MOLCAS runs, or damaged");
    r.nb(s) = n;
    r.ioffo(s) = r.ntot;
    r.ioffp(s) = packed;
    r.ntot += n;
    packed += n * (n + 1) / 2;
  }
  if (r.ntot > kMaxOrb)
    refuse_count(run, src, {"nombre total d'orbitales trop grand :", r.ntot, " limite", kMaxOrb},
                 std::to_string(r.ntot) + " basis functions in all, this program holds " +
                     std::to_string(kMaxOrb));
  run.orbi.nbtot = r.ntot;
  if (current) check_runfile_counts(run, nsym, r.nb);
  run.io.list(kUnitReport, fio::Items{"nombre d orbitales par symetrie"}.all(r.nb.data(), nsym));
  run.io.list(kUnitReport, {"nombre d orbitales", r.ntot});
  run.io.list(kUnitReport, {" "});
}

int packed_size(const Run& run) {
  int n = 0;
  for (int s = 1; s <= run.sym.nsym; ++s) n += run.ints.nb(s) * (run.ints.nb(s) + 1) / 2;
  return n;
}

// Where the overlap lies in OneInt: past the header in version 4, at the
// word its header names in 5, through its label in 54, at the first entry
// of the table of contents in current files.
long overlap_address(Run& run) {
  const OrbitalRecords& r = run.ints;
  if (run.hacer.molcas == 5) return 8L * header_int(run, kOneInt, r.buf, r.nbuf, kOverlapWord);
  if (run.hacer.molcas == 54) return 8L * label_address(run, kOneInt, r.buf, r.nbuf, "MLTPL 0", 15);
  if (run.hacer.molcas == kMolcasCurrent) return 512L * r.itoc(1);
  return kHeaderBytes;
}

// The overlap, which changes no result and is only shown.
void lirovl(Run& run) {
  OrbitalRecords& r = run.ints;
  const bool show = run.pr.nprint > 1;
  const long nbytes = 8L * packed_size(run);
  // The current OneInt has its table of contents where the old header was.
  const bool current = run.hacer.molcas == kMolcasCurrent;
  read_at(run, kOneInt, current ? 512L * r.itoc(1) : kHeaderBytes, r.ovl.data(), nbytes);
  if (show) run.io.list(kUnitReport, {"matrices de recouvrement"});
  run.io.list(kUnitReport, {" "});
  if (show) {
    scri1(run, run.sym.nsym, r.ovl.data());
    run.io.list(kUnitReport, {"matrice S"});
  }
  read_at(run, kOneInt, overlap_address(run), r.ovl.data(), nbytes);
  if (show) scri1(run, run.sym.nsym, r.ovl.data());
}

// One operator component: where it lies in OneInt, where its packed values,
// nuclear contribution and MO matrix go.
struct Component {
  const char* title;  // diagnostic heading
  int entry;          // table-of-contents entry
  double* p;          // packed AO values
  int slot;           // place in fmomnucl
  int isym;           // symmetry of the operator
  double* mo;         // MO matrix
};

// The components in the order they are read: x, y, z, then xx, xy, xz, yy,
// yz, zz.  The MO matrices of xx, zz, yy, xy, xz, yz are slices 1 to 6 of
// xxyyzz: zz comes before yy there.
std::array<Component, 9> components(Run& run) {
  OrbitalRecords& r = run.ints;
  const auto& sxyz = run.symxyz;
  const auto& s2 = run.symxxyyzz;
  return {{
      {"integrales x", 2, r.pxq.data(), 1, sxyz(1), &r.xyz(1, 1, 1)},
      {"integrales y", 3, r.pyq.data(), 2, sxyz(2), &r.xyz(1, 1, 2)},
      {"integrales z", 4, r.pzq.data(), 3, sxyz(3), &r.xyz(1, 1, 3)},
      {"integrales x2", 5, r.pxxq.data(), 4, 1, &r.xxyyzz(1, 1, 1)},
      {"integrales xy", 6, r.pxyq.data(), 5, s2(1), &r.xxyyzz(1, 1, 4)},
      {"integrales xz", 7, r.pxzq.data(), 6, s2(2), &r.xxyyzz(1, 1, 5)},
      {"integrales yy", 8, r.pyyq.data(), 7, 1, &r.xxyyzz(1, 1, 3)},
      {"integrales yz", 9, r.pyzq.data(), 8, s2(3), &r.xxyyzz(1, 1, 6)},
      {"integrales zz", 10, r.pzzq.data(), 9, 1, &r.xxyyzz(1, 1, 2)},
  }};
}

constexpr const char* kComponentNames[9] = {"x", "y", "z", "xx", "xy", "xz", "yy", "yz", "zz"};

bool selected(int ioper, int index) {
  return index < 3 ? reads_dipoles(ioper) : reads_quadrupoles(ioper);
}

// Bytes of one operator in OneInt: its symmetry blocks as lipq reads them,
// then four values.
long operator_bytes(const Run& run, int isym) {
  long n = 0;
  for (int s = 1; s <= run.sym.nsym; ++s) {
    const long nb = run.ints.nb(s);
    if (isym == 1) n += nb * (nb + 1) / 2;
    else if (const int t = run.sym.mult(s, isym); t < s) n += nb * run.ints.nb(t);
  }
  return 8 * (n + 4);
}

// The symmetry of a component that the run gives through its keys must be
// the one its integrals were stored in: a component of another symmetry
// has other blocks and another length.  Its record reaches from its address
// to the next record of the file (the overlap, another component, the end).
// The component must not run past it; and when its length does not fill
// the record while that of another symmetry does (to the unit of the
// addresses), the keys are wrong, not the file.
void check_room(Run& run, const char* name, int isym, long at, long next) {
  const long room = next - at, unit = run.ints.molvar;
  auto fits = [&](int g) {
    const long bytes = operator_bytes(run, g);
    return bytes <= room && room - bytes < unit;
  };
  if (fits(isym)) return;
  auto in_table = [&](int g) {
    for (int s = 1; s <= run.sym.nsym; ++s)
      if (run.sym.mult(s, g) < 1 || run.sym.mult(s, g) > 8) return false;
    return true;
  };
  // xx, yy and zz are totally symmetric whatever the keys say.
  const bool keyed = std::string_view(name).size() == 1 || name[0] != name[1];
  std::string others;
  for (int g = 1; keyed && g <= run.sym.nsym; ++g)
    if (g != isym && in_table(g) && fits(g))
      others += (others.empty() ? "" : " or ") + std::to_string(g);
  const long end = at + operator_bytes(run, isym);
  if (end <= next && others.empty()) return;
  const std::string head = std::string("the integrals of ") + name + " of symmetry " +
                           std::to_string(isym) + " take bytes " + std::to_string(at) + " to " +
                           std::to_string(end) + ", their record ends at byte " +
                           std::to_string(next);
  if (others.empty())
    molcas_refuse(run, kOneInt, head + ": the table of contents is damaged, or the basis "
                                       "counts are not this file's");
  molcas_refuse(run, kOneInt,
                head + " and holds a component of symmetry " + others + ": the symmetry " +
                    symmetry_key(name) + " gives " + name +
                    " does not match the symmetry of its stored integrals; give ISX, ISY, ISZ "
                    "of &RHO the symmetries of x, y, z in the integral run");
}

// The table of contents of OneInt places every operator read; each must
// lie past the header, inside the file, within its own record and apart
// from every other one.  A damaged address, or a file of another MOLCAS
// version (whose addresses count other units), fails here instead of
// giving moments from the wrong bytes.
void check_operator_addresses(Run& run, const std::array<Component, 9>& comps) {
  const OrbitalRecords& r = run.ints;
  const long size = file_size(run, kOneInt);
  const long first = run.hacer.molcas == kMolcasCurrent ? 0 : kHeaderBytes;
  // The overlap, read for the listing, is no operator's place either: an
  // address moved into it would pass every other test.
  const long overlap = overlap_address(run);
  std::vector<std::pair<long, long>> spans{{overlap, overlap + 8L * packed_size(run)}};
  // Where records start: the overlap, every entry of the table of contents
  // whether read or not, and the end of the file.
  std::vector<long> starts{overlap, size};
  for (int e = 1; e <= kTocEntries; ++e)
    if (r.itoc(e) > 0) starts.push_back(static_cast<long>(r.molvar) * r.itoc(e));
  std::sort(starts.begin(), starts.end());
  for (int k = 0; k < 9; ++k) {
    if (!selected(run.hacer.ioper, k)) continue;
    const long at = static_cast<long>(r.molvar) * r.itoc(comps[k].entry);
    const long end = at + operator_bytes(run, comps[k].isym);
    if (at >= first && end > size)
      molcas_fault(run, kOneInt,
                   std::string("file too short: the integrals of ") + kComponentNames[k] +
                       " end at byte " + std::to_string(end) + ", the file has " +
                       std::to_string(size) + " bytes (damaged, or not MOLCAS version " +
                       std::to_string(run.hacer.molcas) + ")");
    if (at < first)
      molcas_refuse(run, kOneInt,
                    std::string("the integrals of ") + kComponentNames[k] + " at byte " +
                        std::to_string(at) + " (table of contents entry " +
                        std::to_string(comps[k].entry) + ") do not lie between the header (" +
                        std::to_string(first) + " bytes) and the end of the file (" +
                        std::to_string(size) + " bytes): damaged, or not MOLCAS version " +
                        std::to_string(run.hacer.molcas));
    // Every record has a place of its own: a component moved onto another
    // record's address would read that record (of the same length when
    // both are totally symmetric) in its stead.
    if (at != overlap && std::count(starts.begin(), starts.end(), at) > 1)
      molcas_refuse(run, kOneInt,
                    std::string("the integrals of ") + kComponentNames[k] + " (table of contents "
                    "entry " + std::to_string(comps[k].entry) + ") share their address with another "
                    "record: the table of contents is damaged");
    // Current files label each component with its symmetry (checked
    // before); the older ones tell it only through the lengths.
    if (run.hacer.molcas != kMolcasCurrent && at != overlap)
      check_room(run, kComponentNames[k], comps[k].isym, at,
                 *std::upper_bound(starts.begin(), starts.end(), at));
    spans.push_back({at, end});
  }
  std::sort(spans.begin(), spans.end());
  for (size_t i = 1; i < spans.size(); ++i)
    if (spans[i].first < spans[i - 1].second)
      molcas_refuse(run, kOneInt,
                    "two operators overlap at byte " + std::to_string(spans[i].first) +
                        ": the table of contents is damaged");
}

// The operators chosen by ioper.
void lirops(Run& run) {
  OrbitalRecords& r = run.ints;
  const auto& mult = run.sym.mult;
  auto valid = [](int g) { return g >= 1 && g <= 8; };
  const int sx = run.symxyz(1), sy = run.symxyz(2), sz = run.symxyz(3);
  for (int g : {sx, sy, sz})
    if (!valid(g))
      refuse(run, {"symetrie de x, y ou z incorrecte :", g},
             "&RHO: ISX, ISY, ISZ give the symmetry " + std::to_string(g) + ", not 1 to 8");
  // A symmetry the molecule does not have names no block of the integrals:
  // the operator would silently vanish.
  for (int k = 1; k <= 3; ++k) {
    if (run.symxyz(k) > run.sym.nsym)
      refuse(run, {std::string("ISX ISY ISZ") .substr(4 * (k - 1), 3) + " beyond the " +
                       std::to_string(run.sym.nsym) + " symmetries of the case :",
                   run.symxyz(k)},
             "&RHO: " + std::string("ISX ISY ISZ").substr(4 * (k - 1), 3) + "=" +
                 std::to_string(run.symxyz(k)) + " is beyond the " +
                 std::to_string(run.sym.nsym) + " symmetries of the Info file");
    if (run.symxxyyzz(k) > run.sym.nsym)
      refuse(run, {std::string("ISXYISXZISYZ").substr(4 * (k - 1), 4) + " outside 1.." +
                       std::to_string(run.sym.nsym) + " :",
                   run.symxxyyzz(k)},
             "&RHC: " + std::string("ISXYISXZISYZ").substr(4 * (k - 1), 4) + "=" +
                 std::to_string(run.symxxyyzz(k)) + " is beyond the " +
                 std::to_string(run.sym.nsym) + " symmetries of the Info file");
  }
  run.symxxyyzz(1) = mult(sx, sy);
  run.symxxyyzz(2) = mult(sx, sz);
  run.symxxyyzz(3) = mult(sy, sz);
  // Every block of every operator pairs two symmetries through the table.
  for (int g : {sx, sy, sz, run.symxxyyzz(1), run.symxxyyzz(2), run.symxxyyzz(3)}) {
    bool ok = valid(g);
    for (int s = 1; ok && s <= run.sym.nsym; ++s) ok = valid(mult(s, g));
    if (!ok)
      refuse(run, {"table de multiplication des symetries incorrecte"},
             "the product table ITS of the Info file " + run.io.name(kUnitInfo) +
                 " gives a symmetry outside 1 to 8 for the operators of ISX, ISY, ISZ");
  }
  // Addresses count 1024-byte blocks in version 4, 8-byte words in 5 and
  // 54, 512-byte blocks in current OpenMolcas.
  const bool current = run.hacer.molcas == kMolcasCurrent;
  r.molvar = current ? 512 : run.hacer.molcas == 4 ? 1024 : 8;
  run.io.list(kUnitReport, {"-----------------------"});
  run.io.list(kUnitReport, {"version de Molcas =", run.hacer.molcas});
  run.io.list(kUnitReport, {"valor de molvar =", r.molvar});
  run.io.list(kUnitReport, {"-----------------------"});
  const auto comps = components(run);
  if (current)
    for (int k = 0; k < 9; ++k)
      if (selected(run.hacer.ioper, k))
        check_component(run, comps[k].entry, comps[k].isym, kComponentNames[k]);
  check_operator_addresses(run, comps);
  for (int k = 0; k < 9; ++k) {
    const Component& c = comps[k];
    if (!selected(run.hacer.ioper, k)) continue;
    if (run.pr.nprint > 0) {
      if (k == 0)
        run.io.list(kUnitReport, {c.title, run.symxyz(1)});
      else
        run.io.list(kUnitReport, {c.title});
    }
    seek(run, kOneInt, static_cast<long>(r.molvar) * r.itoc(c.entry));
    lipq(run, c.p, c.isym, run.ints.fmomnucl(c.slot));
  }
}

[[noreturn]] void orbital_fault(Run& run, std::string_view what) {
  run.io.io_error(kUnitOrbitals, what);
}

// One record of the orbital file; its end is an error, since every symmetry
// must supply as many orbitals and coefficients as it has basis functions.
void next_record(Run& run, std::string& line, std::string_view what) {
  if (!run.io.read_line(kUnitOrbitals, line))
    orbital_fault(run, "end of file before " + std::string(what) +
                           ": fewer orbitals or coefficients than the basis counts announce");
}

// The MO coefficients, "(4D18.12)", symmetry by symmetry.
void lirorb(Run& run) {
  OrbitalRecords& r = run.ints;
  run.io.list(kUnitReport, {"------------------------------------------------------"});
  if (run.pr.nprint > 1) {
    run.io.list(kUnitReport, {"ORBITALES"});
    run.io.list(kUnitReport, {"norb", r.ntot});
  }
  if (!run.io.is_open(kUnitOrbitals)) {
    std::string tried;
    for (int k = 1; k <= 4; ++k)
      if (!run.orbnom(k).empty()) tried += (tried.empty() ? "" : ", ") + run.orbnom(k);
    fio::stop_io(run.io, "input/output error: no orbital file open on unit 1 (tried: " +
                             (tried.empty() ? std::string("INPORB, RasOrb, ScfOrb") : tried) +
                             "); name it with ORB1 in &ROFIL");
  }
  std::string line;
  next_record(run, line, "the title");
  if (inporb_header(line)) return read_inporb(run, line);
  if (run.hacer.molcas == kMolcasCurrent)
    orbital_fault(run, "no #INPORB header: an orbital file of an old MOLCAS layout (MOLCAS=4, 5 "
                       "or 54), but the run reads MOLCAS=22");
  line.resize(40, ' ');
  fio::Items title;
  for (int k = 0; k < 40; ++k) title << std::string_view(line).substr(k, 1);
  run.io.write(kUnitReport, "(' orbitales lues :', 40a1)", title);

  int col = 0;
  for (int s = 1; s <= run.sym.nsym; ++s) {
    const int n = r.nb(s);
    r.nmo(s) = n;
    for (int m = 1; m <= n; ++m) {
      ++col;
      next_record(run, line, "the heading of orbital " + std::to_string(m) + " of symmetry " +
                                 std::to_string(s));
      for (int mu = 1; mu <= n; ++mu) {
        const int field = (mu - 1) % 4;
        if (field == 0)
          next_record(run, line, "the coefficients of orbital " + std::to_string(m) +
                                     " of symmetry " + std::to_string(s));
        std::string_view f;
        if (line.size() > static_cast<size_t>(18 * field))
          f = std::string_view(line).substr(18 * field, 18);
        // The numbers fill their fields to the right: a short last field is
        // a number cut off, not a shorter number.
        if (!lird(f, 12, r.orb(mu, col)) || (!f.empty() && f.size() < 18))
          orbital_fault(run, "coefficient " + std::to_string(mu) + " of orbital " +
                                 std::to_string(m) + " of symmetry " + std::to_string(s) +
                                 " missing or unreadable: '" + std::string(f) + "'");
      }
    }
    if (run.pr.nprint > 1 && n > 0) script(run, &r.orb(1, r.ioffo(s) + 1), n, n, 500);
  }
  if (run.pr.nprint > 1) script(run, r.orb.data(), r.ntot, r.ntot, 500);
}

// The MO matrices, x + y + z, and their print.
void transforme(Run& run) {
  OrbitalRecords& r = run.ints;
  const auto comps = components(run);
  fio::Progress progress(run.io, "integrals", 9);
  for (int k = 0; k < 9; ++k) {
    progress.tick(k);
    if (selected(run.hacer.ioper, k))
      calij(run, comps[k].mo, comps[k].p, comps[k].isym, r.orb.data(), r.ntot);
  }
  for (int j = 1; j <= r.ntot; ++j)
    for (int i = 1; i <= r.ntot; ++i)
      r.xyz(i, j, 4) = r.xyz(i, j, 1) + r.xyz(i, j, 2) + r.xyz(i, j, 3);
  if (run.pr.nprint > 0) {
    const char* titles[4] = {"matrice xij", "matrice yij", "matrice zij", "matrice rij"};
    for (int k = 1; k <= 4; ++k) {
      run.io.list(kUnitReport, {titles[k - 1]});
      script(run, &r.xyz(1, 1, k), r.ntot, r.ntot, 500);
    }
  }
}

}  // namespace

void lirone(Run& run) {
  lircost(run);
  lirtra(run);
  lirtitre(run);
  lirbase(run);
  lirovl(run);
  lirops(run);
  lirorb(run);
  transforme(run);
}

void lipq(Run& run, double* p, int isym, double& nuc) {
  const OrbitalRecords& r = run.ints;
  const int nsym = run.sym.nsym;
  long next = 0;
  for (int s = 1; s <= nsym; ++s) {
    if (isym == 1) {
      const long n = r.nb(s) * (r.nb(s) + 1) / 2;
      read_exact(run, kOneInt, p + next, 8 * n);
      next += n;
      continue;
    }
    const int t = run.sym.mult(s, isym);
    if (t >= s) continue;
    const bool show = run.pr.nprint > 1;
    if (show) run.io.list(kUnitReport, {"is,js,nsi,nsj", s, t, r.nb(s), r.nb(t)});
    const long n = static_cast<long>(r.nb(s)) * r.nb(t);
    read_exact(run, kOneInt, p + next, 8 * n);
    if (show) script(run, p + next, r.nb(s), r.nb(t), r.nb(s));
    next += n;
  }
  // Three values of the package's own, then the nuclear contribution.
  for (int k = 0; k < 4; ++k) read_exact(run, kOneInt, &nuc, 8);
  const size_t count = static_cast<size_t>(next);
  if (const size_t bad = fio::first_non_finite(p, count); bad < count)
    molcas_refuse(run, kOneInt, "integral " + std::to_string(bad + 1) + " of operator symmetry " +
                                    std::to_string(isym) + " is not a finite number");
  if (!std::isfinite(nuc))
    molcas_refuse(run, kOneInt, "the nuclear value of an operator is not a finite number");
}

namespace {

constexpr size_t kLd = kMaxOrb;  // leading dimension of the orbital matrices
// Tiles of kIb x kJb elements of a transformed block are kept in registers
// through the whole sum.
constexpr int kIb = 4, kJb = 4;

size_t at(int i, int j) { return static_cast<size_t>(i - 1) + static_cast<size_t>(j - 1) * kLd; }

// One symmetry block of a transformation, laid out along the inner sums.
struct Block {
  int ns, nt;             // orbitals of s (columns i) and of t (rows j)
  bool upper;             // a diagonal block: only j <= i is needed
  const double* pt;       // pt(nu, mu) = P(mu, nu), leading dimension kLd
  const double* c;        // coefficients of the orbitals of s: c(mu, i)
  const double* panels;   // coefficients of t in panels of kJb orbitals
  double* a;              // result: a(j, i), leading dimension kLd
};

// Element (j, i) of the block is the sum over mu (outer) and nu (inner) of
// c(mu, i) c(nu, j) P(mu, nu), in that order and association, so that every
// run on every machine gives the same digits; the sums of one tile are
// independent and run side by side, W of them in one vector of the machine.
template <int W>
[[gnu::always_inline]] inline void transform_block(const Block& b) {
  typedef double Lanes __attribute__((vector_size(W * sizeof(double))));
  // The same lanes read straight from any double of a panel.
  typedef double Loose __attribute__((vector_size(W * sizeof(double)), aligned(8), may_alias));
  constexpr int kV = kJb / W;
  for (int i0 = 1; i0 <= b.ns; i0 += kIb) {
    const int jlast = b.upper ? std::min(i0 + kIb - 1, b.ns) : b.nt;
    for (int jb = 0; jb * kJb < jlast; ++jb) {
      const double* panel = b.panels + static_cast<size_t>(jb) * b.nt * kJb;
      Lanes acc[kIb][kV] = {};
      for (int mu = 1; mu <= b.ns; ++mu) {
        double cm[kIb];
        for (int ai = 0; ai < kIb; ++ai) cm[ai] = i0 + ai <= b.ns ? b.c[at(mu, i0 + ai)] : 0.0;
        const double* prow = b.pt + at(1, mu);
        for (int nu = 0; nu < b.nt; ++nu) {
          const double pv = prow[nu];
          const Loose* cv = reinterpret_cast<const Loose*>(panel + static_cast<size_t>(nu) * kJb);
          for (int ai = 0; ai < kIb; ++ai)
            for (int v = 0; v < kV; ++v) acc[ai][v] += cm[ai] * cv[v] * pv;
        }
      }
      for (int ai = 0; ai < kIb && i0 + ai <= b.ns; ++ai) {
        const int i = i0 + ai, jmax = b.upper ? i : b.nt;
        for (int k = 0; k < kJb && jb * kJb + k + 1 <= jmax; ++k)
          b.a[at(jb * kJb + k + 1, i)] = acc[ai][k / W][k % W];
      }
    }
  }
}

// The same arithmetic in two vector widths: the wider one where the
// processor has it (without fused multiply-add, which would round
// differently).
void transform_block_sse2(const Block& b) { transform_block<2>(b); }
__attribute__((target("avx2"))) void transform_block_avx2(const Block& b) {
  transform_block<4>(b);
}

}  // namespace

void calij(Run& run, double* a, const double* p, int isym, const double* c, int n) {
  OrbitalRecords& r = run.ints;
  static const bool avx2 = __builtin_cpu_supports("avx2");
  for (int j = 1; j <= n; ++j) std::fill(a + at(1, j), a + at(1, j) + n, 0.0);
  double* pt = r.pful.data();
  double* panels = r.orbt.data();
  long ioffb = 0;  // start of the rectangle of symmetry s (isym != 1)
  for (int s = 1; s <= run.sym.nsym; ++s) {
    const int t = isym == 1 ? s : run.sym.mult(s, isym);
    if (isym != 1 && t >= s) continue;
    const int ns = r.nb(s), nt = r.nb(t), os = r.ioffo(s), ot = r.ioffo(t);
    // The block unpacked, nu running along memory.
    for (int mu = 1; mu <= ns; ++mu)
      for (int nu = 1; nu <= nt; ++nu) {
        const int hi = std::max(mu, nu), lo = std::min(mu, nu);
        pt[at(nu, mu)] = isym == 1 ? p[r.ioffp(s) + hi * (hi - 1) / 2 + lo - 1]
                                   : p[ioffb + (mu - 1) + static_cast<long>(nu - 1) * ns];
      }
    // Panel jb holds c(nu, ot + jb*kJb + k) at (nu-1)*kJb + k, zero past nt.
    for (int jb = 0; jb * kJb < nt; ++jb)
      for (int nu = 1; nu <= nt; ++nu)
        for (int k = 0; k < kJb; ++k) {
          const int j = jb * kJb + k + 1;
          panels[(static_cast<size_t>(jb) * nt + (nu - 1)) * kJb + k] =
              j <= nt ? c[at(nu, ot + j)] : 0.0;
        }
    // The block lies above the diagonal (t < s, or the upper triangle of a
    // diagonal block); the lower triangle is copied from it below.
    const Block b{ns, nt, isym == 1, pt, c + at(1, os + 1), panels, a + at(ot + 1, os + 1)};
    if (avx2)
      transform_block_avx2(b);
    else
      transform_block_sse2(b);
    if (isym != 1) ioffb += static_cast<long>(ns) * nt;
  }
  for (int i = 1; i <= n; ++i)
    for (int k = 1; k <= i; ++k) a[at(i, k)] = a[at(k, i)];
}

void scri1(Run& run, int nsym, const double* p) {
  long next = 0;
  for (int s = 1; s <= nsym; ++s) {
    const int n = run.ints.nb(s);
    scri8(run, p + next, n);
    next += n * (n + 1) / 2;
  }
}

void scri8(Run& run, const double* p, int n) {
  long next = 0;
  for (int i = 1; i <= n; ++i) {
    run.io.write(kUnitReport, "(10f8.4)", fio::Items().all(p + next, i));
    next += i;
  }
}

bool lird(std::string_view field, int decimals, double& value) {
  std::string s;
  for (char ch : field)
    if (ch != ' ') s.push_back(ch);
  size_t k = 0;
  const size_t n = s.size();
  auto digit = [&](size_t at) { return at < n && std::isdigit(static_cast<unsigned char>(s[at])); };
  std::string sign;
  if (k < n && (s[k] == '+' || s[k] == '-')) {
    if (s[k] == '-') sign = "-";
    ++k;
  }
  std::string digits;
  long after_point = 0;
  bool point = false;
  while (digit(k)) digits.push_back(s[k++]);
  if (k < n && s[k] == '.') {
    point = true;
    ++k;
    while (digit(k)) {
      digits.push_back(s[k++]);
      ++after_point;
    }
  }
  if (digits.empty()) return false;
  long exponent = 0;
  if (k < n) {
    if (std::strchr("EeDdQq", s[k])) ++k;
    else if (s[k] != '+' && s[k] != '-') return false;
    bool negative = false;
    if (k < n && (s[k] == '+' || s[k] == '-')) negative = s[k++] == '-';
    if (!digit(k)) return false;
    while (digit(k)) {
      // Anything past a few thousand is an overflow or underflow anyway.
      if (exponent < 100000) exponent = exponent * 10 + (s[k] - '0');
      ++k;
    }
    if (k != n) return false;
    if (negative) exponent = -exponent;
  }
  exponent -= after_point + (point ? 0 : decimals);
  value = std::strtod((sign + digits + "e" + std::to_string(exponent)).c_str(), nullptr);
  // A value that overflows to infinity is damage, not a coefficient.
  return std::isfinite(value);
}

}  // namespace ciprop
