#include "orbitals/openmolcas_files.hpp"

#include <algorithm>
#include <cstring>
#include <string>
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
  toc.labels.resize(kRunLabels * kRunLabelLength);
  read_at(run, kComFile, kBlock * le64(h + 32), toc.labels.data(), kRunLabels * kRunLabelLength);
  for (auto [table, word] : {std::pair{&toc.addr, 5}, {&toc.len, 6}, {&toc.type, 8}}) {
    table->resize(8 * kRunLabels);
    read_at(run, kComFile, kBlock * le64(h + 8 * word), table->data(), 8 * kRunLabels);
  }
  return true;
}

// The record of a label: its bytes and its length in elements; false when
// the RunFile has no such record.
bool runfile_record(Run& run, const RunFileToc& toc, std::string_view label,
                    std::vector<unsigned char>& bytes, long& count) {
  for (int i = 0; i < kRunLabels; ++i) {
    std::string_view l(toc.labels.data() + i * kRunLabelLength, kRunLabelLength);
    const size_t end = l.find_last_not_of(' ');
    if (l.substr(0, end == std::string_view::npos ? 0 : end + 1) != label) continue;
    const int64_t at = le64(toc.addr.data() + 8 * i), n = le64(toc.len.data() + 8 * i),
                  type = le64(toc.type.data() + 8 * i);
    if (at < 0 || type < 1 || type > 3) return false;
    if (n < 0 || n > 1 << 24)
      molcas_refuse(run, kComFile, "record \"" + std::string(label) + "\" of length " +
                                       std::to_string(n));
    count = static_cast<long>(n);
    bytes.resize(static_cast<size_t>(type == 3 ? n : 8 * n));
    read_at(run, kComFile, kBlock * at, bytes.data(), static_cast<long>(bytes.size()));
    return true;
  }
  return false;
}

std::string runfile_text(Run& run, const RunFileToc& toc, std::string_view label) {
  std::vector<unsigned char> b;
  long n = 0;
  if (!runfile_record(run, toc, label, b, n)) return "";
  return std::string(b.begin(), b.end());
}

std::string trim(std::string s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// The key of the run that gives a component its symmetry.
std::string symmetry_key(std::string_view name) {
  auto key = [](char c) { return std::string("IS") + static_cast<char>(c - 'a' + 'A'); };
  if (name.size() == 1) return key(name[0]);
  if (name[0] == name[1]) return "totally symmetric";
  return key(name[0]) + " x " + key(name[1]);
}

}  // namespace

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
  std::vector<int64_t> addresses;
  for (long e = 0; e < kTocEntries; ++e) {
    const unsigned char* p = t.data() + kTocFirst + kTocEntry * e;
    if (std::all_of(p, p + 8, [](unsigned char b) { return b == 0xff; })) break;
    const std::string_view label(reinterpret_cast<const char*>(p), 8);
    const int64_t comp = le64(p + 16), sym = le64(p + 24), addr = le64(p + 32);
    if (addr * kBlock < kTocBytes || addr > (int64_t{1} << 40))
      molcas_refuse(run, kOneInt, "entry " + std::to_string(e + 1) + " (" + std::string(label) +
                                      ") has the address " + std::to_string(addr) +
                                      ", inside the table of contents");
    addresses.push_back(addr);
    int entry = 0;
    if (label == "MLTPL  0" && comp == 1) entry = 1;
    if (label == "MLTPL  1" && comp >= 1 && comp <= 3) entry = 1 + static_cast<int>(comp);
    if (label == "MLTPL  2" && comp >= 1 && comp <= 6) entry = 4 + static_cast<int>(comp);
    if (entry == 0 || r.itoc(entry) != 0) continue;
    r.itoc(entry) = static_cast<int>(addr);
    r.tocsym(entry) = sym;
  }
  if (r.itoc(1) == 0) molcas_refuse(run, kOneInt, "no overlap (\"MLTPL  0\") in the table of contents");
  std::sort(addresses.begin(), addresses.end());
  for (int k = 1; k <= 14; ++k) {
    auto next = std::upper_bound(addresses.begin(), addresses.end(), int64_t{r.itoc(k)});
    if (r.itoc(k) != 0 && next != addresses.end()) r.tocend(k) = kBlock * *next;
  }
}

void check_runfile_counts(Run& run, int nsym, const Arr1<int, 1, 8>& nb) {
  RunFileToc toc;
  if (!open_runfile(run, toc)) return;
  std::vector<unsigned char> labels, values, bas;
  long nl = 0, nv = 0, ncount = 0;
  if (runfile_record(run, toc, "iScalar labels", labels, nl) &&
      runfile_record(run, toc, "iScalar values", values, nv)) {
    for (long i = 0; i < nl / kRunLabelLength && i < nv; ++i) {
      std::string l(labels.begin() + i * kRunLabelLength, labels.begin() + (i + 1) * kRunLabelLength);
      if (trim(l) != "nSym") continue;
      const int64_t v = le64(values.data() + 8 * i);
      if (v != nsym)
        molcas_refuse(run, kComFile, "nSym " + std::to_string(v) + " differs from TraOne's " +
                                         std::to_string(nsym));
    }
  }
  if (!runfile_record(run, toc, "nBas", bas, ncount)) return;
  for (int s = 1; s <= nsym && s <= ncount; ++s) {
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
