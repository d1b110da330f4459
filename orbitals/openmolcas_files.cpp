#include "orbitals/openmolcas_files.hpp"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "orbitals/molcas_bytes.hpp"

namespace ciprop {

namespace {

constexpr long kBlock = 512;  // the unit of every disk address

// TraOne, one item per 512-byte block.
constexpr long kTraSymCount = 1024, kTraBasis = 1536, kTraKept = 2048, kTraFrozen = 2560,
               kTraDeleted = 3072;

// OneInt: id and version words, then the operator entries of the table of
// contents from byte 168, five eight-byte words each (label, unused,
// component, symmetry label, address), 16384 of them.
constexpr int64_t kOneIntId = 4101, kOneIntVersion = 1024;
constexpr long kTocFirst = 168, kTocEntry = 40, kTocEntries = 16384;
constexpr long kTocBytes = kTocFirst + kTocEntry * kTocEntries;

// RunFile: a header of 128 words, tables of 1024 labels (16 characters)
// and of their addresses, lengths and types.
constexpr int64_t kRunFileId = 34676777, kRunFileVersion = 4096;
constexpr int kRunLabels = 1024, kRunLabelLength = 16;

std::string version_text(int v) { return "MOLCAS=" + std::to_string(v); }

int small_count(Run& run, int k, long at, int lo, int hi, std::string_view what) {
  unsigned char b[8];
  if (read_some(run, k, at, b, 8) != 8)
    molcas_refuse(run, k, "file ends before byte " + std::to_string(at + 8) +
                              ": not a TraOne of current OpenMolcas (MOLCAS=22)");
  const int64_t v = le64(b);
  if (v < lo || v > hi)
    molcas_refuse(run, k, std::string(what) + " " + std::to_string(v) + " at byte " +
                              std::to_string(at) + " is not in " + std::to_string(lo) + ".." +
                              std::to_string(hi) +
                              ": not a TraOne of current OpenMolcas (MOLCAS=22)");
  return static_cast<int>(v);
}

// A disk address of a RunFile or OneInt table as a byte offset: the
// address counts 512-byte blocks from block `first` on, and the `nbytes`
// read there must lie inside the file.  The range is checked in blocks
// before any product is formed: a damaged word times 512 would overflow.
long block_offset(Run& run, int k, int64_t address, long first, long nbytes,
                  const std::string& what) {
  const long size = file_size(run, k);
  // Addresses are kept as four-byte integers (itoc).
  if (address < first || nbytes > size ||
      address > std::min<long>((size - nbytes) / kBlock, INT_MAX))
    molcas_refuse(run, k, what + " has the disk address " + std::to_string(address) +
                              " (512-byte blocks): " + std::to_string(nbytes) +
                              " bytes read there must lie between block " +
                              std::to_string(first) + " and the end of the file at byte " +
                              std::to_string(size));
  return static_cast<long>(address) * kBlock;
}

// The table of contents of a RunFile.
struct RunFileToc {
  std::vector<char> labels;
  std::vector<unsigned char> addr, len, type;  // 1024 eight-byte words each
};

bool open_runfile(Run& run, RunFileToc& toc) {
  if (run.filc(kComFile) < 0) return false;
  unsigned char h[kBlock];
  if (read_some(run, kComFile, 0, h, kBlock) < 72 || le64(h) != kRunFileId ||
      le64(h + 8) != kRunFileVersion)
    molcas_refuse(run, kComFile, "not a RunFile of current OpenMolcas (id 34676777, version "
                                 "4096), as MOLCAS=22 reads");
  // The header is block 0; the tables follow it.
  toc.labels.resize(kRunLabels * kRunLabelLength);
  read_at(run, kComFile,
          block_offset(run, kComFile, le64(h + 32), 1, kRunLabels * kRunLabelLength,
                       "the table of labels (header word 5)"),
          toc.labels.data(), kRunLabels * kRunLabelLength);
  const std::tuple<std::vector<unsigned char>*, int, const char*> tables[] = {
      {&toc.addr, 5, "addresses"}, {&toc.len, 6, "lengths"}, {&toc.type, 8, "types"}};
  for (auto [table, word, what] : tables) {
    table->resize(8 * kRunLabels);
    read_at(run, kComFile,
            block_offset(run, kComFile, le64(h + 8 * word), 1, 8 * kRunLabels,
                         std::string("the table of ") + what + " (header word " +
                             std::to_string(word + 1) + ")"),
            table->data(), 8 * kRunLabels);
  }
  return true;
}

// The types of RunFile records: eight-byte integers, doubles, characters.
enum RunFileType : int64_t { kRunIntegers = 1, kRunReals = 2, kRunCharacters = 3 };

std::string type_name(int64_t type) {
  if (type == kRunIntegers) return "1 (integers)";
  if (type == kRunReals) return "2 (reals)";
  if (type == kRunCharacters) return "3 (characters)";
  return std::to_string(type) + " (no type of the RunFile)";
}

// The record of a label, of the type its reader takes: its bytes and its
// length in elements; false when the RunFile has no such record.  A record
// of another type would be read as what it is not (characters as eight-byte
// integers run past the bytes that hold them).
bool runfile_record(Run& run, const RunFileToc& toc, std::string_view label, int64_t want,
                    std::vector<unsigned char>& bytes, long& count) {
  for (int i = 0; i < kRunLabels; ++i) {
    std::string_view l(toc.labels.data() + i * kRunLabelLength, kRunLabelLength);
    const size_t end = l.find_last_not_of(' ');
    if (l.substr(0, end == std::string_view::npos ? 0 : end + 1) != label) continue;
    const int64_t at = le64(toc.addr.data() + 8 * i), n = le64(toc.len.data() + 8 * i),
                  type = le64(toc.type.data() + 8 * i);
    // A free slot: address -1, type 0.
    if (at < 0 || type == 0) return false;
    const std::string record =
        "record \"" + std::string(label) + "\" (slot " + std::to_string(i + 1) + ")";
    if (type != want)
      molcas_refuse(run, kComFile, record + " has the type " + type_name(type) + ", " +
                                       type_name(want) + " expected");
    if (n < 0 || n > 1 << 24)
      molcas_refuse(run, kComFile, record + " of length " + std::to_string(n));
    count = static_cast<long>(n);
    const long nbytes = type == kRunCharacters ? count : 8 * count;
    const long offset = block_offset(run, kComFile, at, 1, nbytes, record);
    bytes.resize(static_cast<size_t>(nbytes));
    read_at(run, kComFile, offset, bytes.data(), nbytes);
    return true;
  }
  return false;
}

std::string runfile_text(Run& run, const RunFileToc& toc, std::string_view label) {
  std::vector<unsigned char> b;
  long n = 0;
  if (!runfile_record(run, toc, label, kRunCharacters, b, n)) return "";
  return std::string(b.begin(), b.end());
}

std::string trim(std::string s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

}  // namespace

std::string symmetry_key(std::string_view name) {
  auto key = [](char c) { return std::string("IS") + static_cast<char>(c - 'a' + 'A'); };
  if (name.size() == 1) return key(name[0]);
  if (name[0] == name[1]) return "totally symmetric";
  return key(name[0]) + " x " + key(name[1]);
}

void read_motra_counts(Run& run, MotraCounts& c) {
  need_file(run, kTraOne);
  c.nsym = small_count(run, kTraOne, kTraSymCount, 1, 8, "symmetry count");
  for (int s = 1; s <= 8; ++s) {
    const long w = 8L * (s - 1);
    c.nbas(s) = small_count(run, kTraOne, kTraBasis + w, 0, kMaxOrb, "basis count");
    c.kept(s) = small_count(run, kTraOne, kTraKept + w, 0, kMaxOrb, "kept-orbital count");
    c.nfro(s) = small_count(run, kTraOne, kTraFrozen + w, 0, kMaxOrb, "frozen-orbital count");
    c.ndel(s) = small_count(run, kTraOne, kTraDeleted + w, 0, kMaxOrb, "deleted-orbital count");
  }
}

void check_motra_split(Run& run, const MotraCounts& c) {
  for (int s = 1; s <= std::clamp(run.sym.nsym, 0, 8); ++s)
    if (run.orbi.ngel(s) != c.nfro(s) || run.orbi.ndel(s) != c.ndel(s))
      molcas_refuse(run, kTraOne,
                    "symmetry " + std::to_string(s) + " has " + std::to_string(c.nfro(s)) +
                        " frozen and " + std::to_string(c.ndel(s)) +
                        " deleted orbitals in MOTRA, NGEL and NDEL give " +
                        std::to_string(run.orbi.ngel(s)) + " and " +
                        std::to_string(run.orbi.ndel(s)));
}

void check_traone_layout(Run& run) {
  // An old TraOne has its symmetry count at byte 264; the current one has
  // zeros there (its table of contents ends at byte 40) and the count on
  // the third block.
  unsigned char b[kTraSymCount + 8];
  if (read_some(run, kTraOne, 0, b, sizeof b) < static_cast<long>(sizeof b)) return;
  const int64_t nsym = le64(b + kTraSymCount);
  if (le32(b + 264) == 0 && nsym >= 1 && nsym <= 8)
    molcas_refuse(run, kTraOne, "file of current OpenMolcas (" + version_text(kMolcasCurrent) +
                                    "), but the run reads " + version_text(run.hacer.molcas));
}

void check_oneint_layout(Run& run, const unsigned char* header, long n) {
  const bool current = n >= 16 && le64(header) == kOneIntId;
  const bool wanted = run.hacer.molcas == kMolcasCurrent;
  if (current && le64(header + 8) != kOneIntVersion)
    molcas_refuse(run, kOneInt, "OpenMolcas file of unknown version " +
                                    std::to_string(le64(header + 8)) + " (1024 expected)");
  if (current && !wanted)
    molcas_refuse(run, kOneInt, "file of current OpenMolcas (" + version_text(kMolcasCurrent) +
                                    "), but the run reads " + version_text(run.hacer.molcas));
  if (!current && wanted)
    molcas_refuse(run, kOneInt,
                  "no id 4101 at byte 0: a file of an old MOLCAS layout (MOLCAS=4, 5 or 54), "
                  "but the run reads " + version_text(kMolcasCurrent));
}

void runfile_title(Run& run, char* title) {
  std::memset(title, ' ', 143);
  RunFileToc toc;
  if (!open_runfile(run, toc)) return;
  // The user's title of Gateway, then SEWARD's own line.
  const std::string user = trim(runfile_text(run, toc, "SewardXTitle")).substr(0, 73);
  const std::string seward = trim(runfile_text(run, toc, "Seward Title")).substr(0, 70);
  std::memcpy(title, user.data(), user.size());
  std::memcpy(title + 73, seward.data(), seward.size());
}

void read_oneint_toc(Run& run) {
  OrbitalRecords& r = run.ints;
  std::vector<unsigned char> t(kTocBytes);
  if (read_some(run, kOneInt, 0, t.data(), kTocBytes) != kTocBytes)
    molcas_fault(run, kOneInt, "file ends inside its table of contents");
  r.itoc.fill(0);
  r.tocsym.fill(0);
  r.tocend.fill(0);
  // The address of every entry, and the entry's name for the messages.
  std::vector<std::pair<int64_t, std::string>> places;
  for (long e = 0; e < kTocEntries; ++e) {
    const unsigned char* p = t.data() + kTocFirst + kTocEntry * e;
    if (std::all_of(p, p + 8, [](unsigned char b) { return b == 0xff; })) break;
    const std::string_view label(reinterpret_cast<const char*>(p), 8);
    const int64_t comp = le64(p + 16), sym = le64(p + 24), addr = le64(p + 32);
    const std::string name = "entry " + std::to_string(e + 1) + " (" + std::string(label) + ")";
    // Records lie past the table of contents and start inside the file.
    block_offset(run, kOneInt, addr, (kTocBytes + kBlock - 1) / kBlock, 8, name);
    places.push_back({addr, name});
    int entry = 0;
    if (label == "MLTPL  0" && comp == 1) entry = 1;
    if (label == "MLTPL  1" && comp >= 1 && comp <= 3) entry = 1 + static_cast<int>(comp);
    if (label == "MLTPL  2" && comp >= 1 && comp <= 6) entry = 4 + static_cast<int>(comp);
    if (entry == 0 || r.itoc(entry) != 0) continue;
    r.itoc(entry) = static_cast<int>(addr);
    r.tocsym(entry) = sym;
  }
  if (r.itoc(1) == 0) molcas_refuse(run, kOneInt, "no overlap (\"MLTPL  0\") in the table of contents");
  std::sort(places.begin(), places.end());
  // Every record has a place of its own: an entry moved onto another's
  // address would read that record (of the same length when both are
  // totally symmetric) in its stead.
  const auto same = [](const auto& a, const auto& b) { return a.first == b.first; };
  const auto shared = std::adjacent_find(places.begin(), places.end(), same);
  if (shared != places.end())
    molcas_refuse(run, kOneInt, shared->second + " and " + std::next(shared)->second +
                                    " have the same disk address " +
                                    std::to_string(shared->first) +
                                    ": the table of contents is damaged");
  for (int k = 1; k <= 14; ++k) {
    auto next = std::upper_bound(places.begin(), places.end(), int64_t{r.itoc(k)},
                                 [](int64_t a, const auto& p) { return a < p.first; });
    if (r.itoc(k) != 0 && next != places.end()) r.tocend(k) = kBlock * next->first;
  }
}

void check_runfile_counts(Run& run, int nsym, const Arr1<int, 1, 8>& nb) {
  RunFileToc toc;
  if (!open_runfile(run, toc)) return;
  std::vector<unsigned char> labels, values, bas;
  long nl = 0, nv = 0, ncount = 0;
  if (runfile_record(run, toc, "iScalar labels", kRunCharacters, labels, nl) &&
      runfile_record(run, toc, "iScalar values", kRunIntegers, values, nv)) {
    // The names of the scalars, 16 characters each, and their values slot
    // by slot.
    for (long i = 0; i < nl / kRunLabelLength; ++i) {
      std::string l(labels.begin() + i * kRunLabelLength, labels.begin() + (i + 1) * kRunLabelLength);
      if (trim(l) != "nSym") continue;
      if (i >= nv)
        molcas_refuse(run, kComFile, "record \"iScalar values\" holds " + std::to_string(nv) +
                                         " values, none for nSym (slot " + std::to_string(i + 1) +
                                         " of \"iScalar labels\")");
      const int64_t v = le64(values.data() + 8 * i);
      if (v != nsym)
        molcas_refuse(run, kComFile, "nSym " + std::to_string(v) + " differs from TraOne's " +
                                         std::to_string(nsym));
    }
  }
  if (!runfile_record(run, toc, "nBas", kRunIntegers, bas, ncount)) return;
  if (ncount < nsym)
    molcas_refuse(run, kComFile, "record \"nBas\" holds " + std::to_string(ncount) +
                                     " basis counts for the " + std::to_string(nsym) +
                                     " symmetries of TraOne");
  for (int s = 1; s <= nsym; ++s) {
    const int64_t v = le64(bas.data() + 8 * (s - 1));
    if (v != nb(s))
      molcas_refuse(run, kComFile, "nBas of symmetry " + std::to_string(s) + " is " +
                                       std::to_string(v) + ", TraOne has " + std::to_string(nb(s)));
  }
}

void check_component(Run& run, int entry, int isym, std::string_view name) {
  const OrbitalRecords& r = run.ints;
  const std::string what = "component " + std::string(name) + " (entry " + std::to_string(entry) +
                           " of itoc)";
  if (r.itoc(entry) == 0)
    molcas_refuse(run, kOneInt, "no " + what + " in the table of contents");
  const int64_t label = r.tocsym(entry);
  const int64_t bit = int64_t{1} << (isym - 1);
  if (label != bit) {
    std::string irreps;
    for (int g = 1; g <= 8; ++g)
      if (label & (int64_t{1} << (g - 1))) irreps += (irreps.empty() ? "" : ", ") + std::to_string(g);
    if (label & bit)
      molcas_refuse(run, kOneInt, what + " has parts in the symmetries " + irreps +
                                      " (an origin off the symmetry elements), which the "
                                      "program cannot take");
    molcas_refuse(run, kOneInt, what + " is of symmetry " + (irreps.empty() ? "none" : irreps) +
                                    " in the file, the run gives it symmetry " +
                                    std::to_string(isym) + " (" + symmetry_key(name) + ")");
  }
  // OpenMolcas stores the block (i, j) of a component whose label has bit
  // g-1 set when (i-1) xor (j-1) = g-1: the run's product table must agree.
  long size = 0;
  for (int s = 1; s <= run.sym.nsym; ++s) {
    const int t = run.sym.mult(s, isym);
    if (t != (((s - 1) ^ (isym - 1)) + 1))
      molcas_refuse(run, kOneInt, "the symmetry product table of the Info file is not "
                                  "OpenMolcas's: " + std::to_string(s) + " x " +
                                      std::to_string(isym) + " = " + std::to_string(t));
    if (isym == 1) size += r.nb(s) * (r.nb(s) + 1) / 2;
    else if (t < s) size += static_cast<long>(r.nb(s)) * r.nb(t);
  }
  const long end = kBlock * r.itoc(entry) + 8 * (size + 4);
  if (r.tocend(entry) != 0 && end > r.tocend(entry))
    molcas_refuse(run, kOneInt, what + " would run from byte " +
                                    std::to_string(kBlock * r.itoc(entry)) + " to byte " +
                                    std::to_string(end) + ", past the next record at byte " +
                                    std::to_string(r.tocend(entry)) +
                                    ": the basis counts do not fit this file");
}

}  // namespace ciprop
