// Reference configurations.  A multireference space takes every active
// configuration whose electron count is within iplus of the reference count;
// its distance to the nearest reference (the number of electrons to move,
// counted twice) and its electron change decide how many holes in the
// inactive orbitals and particles in the virtual orbitals its determinants
// may add: together they may excite at most two electrons from a reference
// (one in the single-excitation modes).  The admitted configurations take
// consecutive address ranges in the order they are enumerated here.
#include "detspace/reference_configurations.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "detspace/mr_tables.hpp"
#include "core/print.hpp"
#include "fortio/list_read.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

namespace {

bool is_one_of(const FChar<4>& g, std::initializer_list<const char*> modes) {
  for (const char* m : modes)
    if (g == m) return true;
  return false;
}

// Allowed change of the active electron count.
int iplus(const FChar<4>& g) {
  if (g == "MRC ") return 0;
  if (is_one_of(g, {"MRM ", "MRTM"})) return 1;
  return 2;
}

// The modes whose name begins with "MRT" ignore the references: every
// configuration counts as at the distance its electron change forces.
bool by_electron_count(const FChar<4>& g) { return g.c[0] == 'M' && g.c[1] == 'R' && g.c[2] == 'T'; }

// Distance of iocc to the nearest reference, 5 when none is within 4.
int distance(const MrRecords& r, const int* iocc) {
  int best = 5;
  for (int k = 1; k <= r.nref && best > 0; ++k) {
    int s = 0;
    for (int j = 1; j <= r.noac && s <= 4; ++j) s += std::abs(iocc[j - 1] - r.iocref(j, k));
    if (s < best) best = s;
  }
  return best;
}

// Hole (particle) choices of n holes at orbital level: their number, their
// symmetry and their open shells.
struct Choice {
  long long count;
  int sym, open;
};
int choices(const MrRecords& r, int n, const Arr1<int, 1, 8>& per_sym, int total, Choice* out) {
  int m = 0;
  if (n == 0) out[m++] = {1, 1, 0};
  if (n == 1)
    for (int s = 1; s <= r.nsym; ++s) out[m++] = {per_sym(s), s, 1};
  if (n == 2) {
    out[m++] = {total, 1, 0};
    for (int s = 1; s <= r.nsym; ++s)
      out[m++] = {static_cast<long long>(per_sym(s)) * (per_sym(s) - 1) / 2, 1, 2};
    for (int s = 1; s <= r.nsym; ++s)
      for (int t = s + 1; t <= r.nsym; ++t)
        out[m++] = {static_cast<long long>(per_sym(s)) * per_sym(t), r.mult(s, t), 2};
  }
  return m;
}

// The lines of the enumeration at print level above 2, on the report: how a
// user sees which configurations a reference set admits, with their classes,
// sizes and base addresses.  Silent otherwise.
class Listing {
 public:
  Listing(Run& run, bool on) : run_(run), on_(on) {}
  bool on() const { return on_; }
  void line(const fio::Items& items) const { run_.io.list(kUnitReport, items); }

 private:
  Run& run_;
  bool on_;
};

// `calnim`: determinants of one configuration (nso singly occupied orbitals
// of product symmetry iscas) under its class, counted from the orbital
// choices of its holes and particles and the spin patterns of all its open
// shells, independently of the block layout.  The listing shows the running
// count after each hole count.
long long calnim(const MrRecords& r, int nso, int iscas, const ConfigurationClass& c,
                 const Listing& listing) {
  Choice holes[40], parts[40];
  long long nim = 0;
  for (int nt = c.mint; nt <= c.maxt; ++nt) {
    const int np = nt + c.minp - c.mint;
    const int nh = choices(r, nt, r.nts, r.ninac, holes);
    const int npc = choices(r, np, r.nps, r.nvirt, parts);
    for (int a = 0; a < nh; ++a)
      for (int b = 0; b < npc; ++b) {
        if (r.mult(holes[a].sym, parts[b].sym) != r.mult(iscas, r.is0)) continue;
        const int nsol = nso + holes[a].open + parts[b].open;
        const int twice = nsol + r.ms2;
        if (twice < 0 || twice % 2 != 0 || twice / 2 > nsol) continue;
        nim += holes[a].count * parts[b].count * r.binom(nsol, twice / 2);
      }
    if (listing.on()) listing.line({"calnim nt,np,nim", nt, np, nim});
  }
  return nim;
}

// Lexicographic successor of an ascending k-subset of 1..n; false after the
// last one.
bool next_subset(int* s, int k, int n) {
  int j = k - 1;
  while (j >= 0 && s[j] == n - k + j + 1) --j;
  if (j < 0) return false;
  ++s[j];
  for (int m = j + 1; m < k; ++m) s[m] = s[m - 1] + 1;
  return true;
}

void first_subset(int* s, int k) {
  for (int j = 0; j < k; ++j) s[j] = j + 1;
}

// Classes every configuration of ndo doubly and nso singly occupied orbitals,
// doubles outer and singles inner, each in lexicographic order, and gives
// the admitted ones consecutive address ranges from iadttp on.
void class_group(Run& run, MrRecords& r, int ndo, int nso, std::vector<int>& seen, int& round,
                 long long& iadttp, const Listing& listing) {
  const FChar<4>& g = run.prep.gener;
  const int noac = r.noac, nelc = 2 * ndo + nso - r.nelac;
  if (listing.on()) listing.line({"ndo,nso", ndo, nso});
  int dbl[16], sgl[16], rest[16];
  first_subset(dbl, ndo);
  do {
    ++round;  // a configuration may be met only once per set of doubles
    int nrest = 0;
    for (int k = 1, j = 0; k <= noac; ++k) {
      if (j < ndo && dbl[j] == k)
        ++j;
      else
        rest[nrest++] = k;
    }
    first_subset(sgl, nso);
    do {
      int iocc[16] = {};
      for (int j = 0; j < ndo; ++j) iocc[dbl[j] - 1] = 2;
      int iscas = 1;
      for (int j = 0; j < nso; ++j) {
        iocc[rest[sgl[j] - 1] - 1] = 1;
        iscas = r.mult(iscas, r.asym(rest[sgl[j] - 1]));
      }
      const int iconf = configuration_number(r, iocc);
      if (iconf < 1 || iconf > r.ndimcs0 || seen[iconf] == round)
        refuse(run, fio::Items{"adressage cas deja vu"}.all(iocc, 16),
               "an active configuration is numbered twice by the configuration tables (" +
                   std::to_string(run.cs.noac) + " active orbitals, NELAC=" +
                   std::to_string(run.cs.nelac) + " in the run description)");
      const int difref = by_electron_count(g) ? std::abs(nelc) : distance(r, iocc);
      const ConfigurationClass c = tpmms(g, nelc, difref);
      r.klass(iconf) = static_cast<std::uint8_t>(c.klass);
      if (listing.on())
        listing.line(fio::Items{"iconf", iconf, " iocc"}.all(iocc, noac)
                     << " difref" << difref << " mint,maxt,minp,maxp" << c.mint << c.maxt
                     << c.minp << c.maxp << " klass" << c.klass);
      if (!c.admitted()) continue;
      const long long nim = calnim(r, nso, iscas, c, listing);
      const long long blocks = r.cfg_size(c.klass, nso, iscas);
      // The address of a determinant is its configuration's base plus its
      // place in the blocks: both counts must be the same number.
      if (nim != blocks)
        refuse(run, {"mrs1  nombre de determinants incoherent : iconf, calnim, blocs=", iconf, nim,
                     blocks},
               "active configuration " + std::to_string(iconf) + " counts " +
                   std::to_string(nim) + " determinants by its class and " +
                   std::to_string(blocks) + " by the configuration tables");
      r.base(iconf) = static_cast<int>(iadttp);
      if (listing.on()) listing.line({"nim,iadttp", nim, iadttp});
      seen[iconf] = round;
      iadttp += nim;
      // Addresses are 4-byte integers.
      verdim(run, "mrs1  espace CI trop grand :  ntotal=", iadttp, INT_MAX,
             "the size of the multireference CI space", "addresses are 4-byte integers");
    } while (next_subset(sgl, nso, noac - ndo));
  } while (next_subset(dbl, ndo, noac));
}

}  // namespace

bool multireference(const FChar<4>& gener) { return gener.c[0] == 'M' && gener.c[1] == 'R'; }

ConfigurationClass tpmms(const FChar<4>& g, int nelc, int difref) {
  ConfigurationClass c;
  auto set = [&](int mint, int maxt) {
    c.mint = mint;
    c.maxt = maxt;
  };
  const bool mono = is_one_of(g, {"MRM ", "MRTM"});
  if (mono) {
    if (nelc == 0 && difref == 0) set(0, 1);
    if (nelc == 0 && difref == 2) set(0, 0);
    if (nelc == 1 && difref == 1) set(1, 1);
    if (nelc == -1 && difref == 1) set(0, 0);
  } else {
    static constexpr struct {
      int nelc, difref, mint, maxt;
    } kRules[] = {{0, 0, 0, 2},  {0, 2, 0, 1},  {0, 4, 0, 0},  {1, 1, 1, 2}, {1, 3, 1, 1},
                  {2, 2, 2, 2},  {-1, 1, 0, 1}, {-1, 3, 0, 0}, {-2, 2, 0, 0}};
    for (const auto& rule : kRules)
      if (rule.nelc == nelc && rule.difref == difref) set(rule.mint, rule.maxt);
  }
  if (g == "MRC ") {
    if (nelc == 0 && difref == 0)
      set(0, 0);
    else
      set(2, 0);
  }
  c.minp = c.mint - nelc;
  c.maxp = c.maxt - nelc;
  // The doubles-limited modes drop the highest excitation of a class: two
  // holes with two particles ("MRDD", "MRTD"), or any three of them ("MRD2",
  // "MRT2").
  const int most = is_one_of(g, {"MRDD", "MRTD"}) ? 3 : is_one_of(g, {"MRD2", "MRT2"}) ? 2 : 4;
  if (c.maxt + c.maxp > most) {
    --c.maxt;
    --c.maxp;
  }
  if (c.maxt >= c.mint) {
    static constexpr int kOffset[6] = {0, 3, 5, 8, 9, 11};
    c.klass = c.minp + kOffset[c.mint + c.maxt * (c.maxt + 1) / 2] + 1;
  }
  return c;
}

void read_references(Run& run, std::string_view file, MrRecords& r) {
  fio::Units& io = run.io;
  io.open(kUnitReferences, file, fio::Status::Old, fio::Form::Formatted);
  const std::string use = "; give the OCCMRS of the CI run";
  const long long nref = fio::read_list_integer(io, kUnitReferences);
  verdim(run, "parametre maxref pas assez grand. besoin/dispo", nref, kMaxReferences,
         "OCCMRS, record 1: the number of references", "the multireference modes take 1 to " +
         std::to_string(kMaxReferences) + use);
  // Without a reference no configuration is admitted and the space is
  // empty.
  if (nref < 1)
    io.io_error(kUnitReferences, "record 1: " + std::to_string(nref) +
                                     " references; the multireference modes take 1 to " +
                                     std::to_string(kMaxReferences) + use);
  std::string rec;
  for (int k = 1; k <= nref; ++k) {
    const std::string which = "reference " + std::to_string(k) + " of " + std::to_string(nref) +
                              " (record " + std::to_string(k + 1) + ")";
    if (!io.read_line(kUnitReferences, rec)) io.io_error(kUnitReferences, "end of file before " + which);
    // One digit per active orbital from column 1 and nothing after them:
    // a longer reference belongs to another active space, and taking its
    // first digits would make another space.
    const size_t digits = std::min<size_t>(rec.size(), static_cast<size_t>(r.noac));
    if (rec.find_first_not_of("012") < digits || digits < static_cast<size_t>(r.noac) ||
        rec.find_first_not_of(' ', digits) != std::string::npos)
      io.io_error(kUnitReferences, which + " is not " + std::to_string(r.noac) +
                                       " occupations 0, 1 or 2 of the active orbitals from "
                                       "column 1, followed by blanks only: '" + rec + "'" + use);
    for (int j = 1; j <= r.noac; ++j) r.iocref(j, k) = static_cast<std::int8_t>(rec[j - 1] - '0');
  }
  io.close(kUnitReferences);
  r.nref = static_cast<int>(nref);
}

namespace {

// Every active configuration within iplus electrons of the reference count,
// classed against the references of r, the admitted ones given their base
// addresses in enumeration order.
void classify_configurations(Run& run, MrRecords& r, const Listing& listing) {
  const int plus = iplus(run.prep.gener), noac = r.noac, nelac = r.nelac;
  if (listing.on()) listing.line({"gener,iplus ", run.prep.gener.view(), plus});
  for (int i = 1; i <= r.ndimcs0; ++i) {
    r.klass(i) = 0;
    r.base(i) = 0;
  }
  std::vector<int> seen(static_cast<size_t>(r.ndimcs0) + 1, 0);
  int round = 0;
  long long iadttp = 0;
  for (int ndo = std::max(0, nelac - plus - noac); ndo <= std::min((nelac + plus) / 2, noac); ++ndo)
    for (int nso = std::max(0, nelac - plus - 2 * ndo);
         nso <= std::min(noac - ndo, nelac + plus - 2 * ndo); ++nso)
      class_group(run, r, ndo, nso, seen, round, iadttp, listing);
  r.ntotal = iadttp;
}

}  // namespace

void reference_configurations(Run& run, std::string_view file) {
  Prep& p = run.prep;
  MrRecords& r = run.dets.mr;
  p.ycas1 = p.gener == "CAS " || p.gener == "MRC ";
  p.ymono = p.gener == "MONO" || p.gener == "MRM " || p.gener == "MRTM";
  read_references(run, file, r);
  classify_configurations(run, r, Listing(run, run.pr.nprint > 2));
}

// The classes of the configurations do not depend on the symmetry of the
// state; their blocks, and with them the base addresses, do.
void mr_space_of_symmetry(Run& run, int symmetry, MrRecords& r) {
  r = run.dets.mr;
  r.is0 = symmetry;
  lay_out_blocks(r);
  classify_configurations(run, r, Listing(run, false));
}

void mrs1(Run& run) { reference_configurations(run, "OCCMRS"); }

}  // namespace ciprop
