// The multireference address of a determinant of a list, straight from the
// list, for the list checks, which meet every determinant of a list once.
// The list is decoded once: its entries, read as words, give the active
// occupation as two strings of CAS positions and the holes and particles
// outside the active orbitals.  The configuration of the occupation is then
// numbered from tables over the sets of CAS positions (its doubly occupied
// ones, and its singly occupied ones among the positions the doubles leave
// free), where a walk over the positions would take one step per active
// orbital, and its base address, the hole and particle counts its class
// admits and the offsets of its blocks are flat tables of the list path.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "detspace/excitation.hpp"
#include "detspace/list_entries.hpp"
#include "detspace/mr_tables.hpp"

namespace ciprop {

struct MrListTables {
  MrListTables(const Run& run, const MrRecords& r, unsigned reference);
  int address(int n, const int* a, const int* b, bool* inside) const;

  // A set of CAS positions (bit k-1 for position k): its size and the
  // product of the symmetries of its positions in CAS order.
  struct Positions {
    std::uint8_t count = 0, sym = 1;
  };
  // A configuration: its base address, the first row of its class in the
  // block offsets, and the (nt, np) its class admits (bit 3 nt + np).
  struct Configuration {
    int base = 0, row = 0;
    unsigned admits = 0;
  };
  // What the address takes from an active occupation: its electrons, its
  // open shells (their count, the product of their symmetries, which of
  // them carry the alpha electron, packed from bit 0, and how many) and the
  // number of its configuration (0 outside nelac-2..nelac+2).
  struct Occupation {
    int iconf = 0;
    std::uint8_t ne = 0, nso = 0, sym = 1, nalpha = 0;
    std::uint16_t alpha = 0;
  };
  // Active spaces of at most this many orbitals have a table of every
  // occupation (2^(2 noac) entries of 12 bytes, small enough to stay in the
  // caches); larger ones number each occupation from the sets' tables.
  static constexpr int kOccupationTable = 7;

  // Rank (from 1) of the set of positions `set` (bit p-1 for position p), of
  // k elements, among the k-subsets of 1..n, as set_rank ranks them.
  long long rank(unsigned set, int n, int k) const {
    if (n > colex_bits) return set_rank(r, n, k, set);
    if (k <= 2) return colex[set] + 1;
    // Lexicographic: all k-subsets less the colexicographic rank of the set
    // read from position n down.
    const unsigned reversed = (unsigned(flip[set & 0xff]) << 8 | flip[set >> 8]) >> (16 - n);
    return r.binom(n, k) - colex[reversed];
  }
  // The bits of v where mask has a one, packed from bit 0 (both below
  // 2^noac).
  unsigned squeeze(unsigned v, unsigned mask) const {
    return packed[mask & 0xff][v & 0xff] |
           unsigned(packed[mask >> 8][v >> 8]) << sets[mask & 0xff].count;
  }
  Occupation occupation(unsigned alpha, unsigned beta) const;
  // The number of the configuration of the doubly occupied positions d and
  // the singly occupied ones s, as configuration_number gives it: the
  // doubles ranked among all positions, the singles among those the doubles
  // leave free.
  int number(unsigned d, unsigned s, int ndo, int nso) const {
    const unsigned free = ~d & unsigned(sets.size() - 1);
    return r.cfg_offset(ndo, nso) +
           int(rank(d, r.noac, ndo) +
               (rank(squeeze(s, free), r.noac - ndo, nso) - 1) * r.binom(r.noac, ndo));
  }

  const MrRecords& r;
  ListEntries entries;
  std::vector<Positions> sets;  // 2^noac
  // The colexicographic rank from 0 of every set of colex_bits positions or
  // fewer (the sum over its i-th smallest position p of C(p - 1, i)): those
  // of the active positions and of the open shells with up to four holes
  // and particles among them, at most 16.
  int colex_bits = 0;
  std::vector<std::uint16_t> colex;
  std::uint8_t flip[256];       // a byte read from its high bit down
  std::uint8_t packed[256][256];  // by mask and value: squeeze of bytes
  std::vector<Configuration> configurations;  // by number, from 1
  std::vector<Occupation> occupations;  // by alpha | beta << noac, or none
  // The offsets of the blocks of r.offmrs in a table as small as the run's
  // classes: by class and singly occupied count (the row), particle class
  // and hole class.
  int particle_classes = 0, hole_classes = 0;
  std::vector<int> offsets;
};

MrListTables::MrListTables(const Run& run, const MrRecords& rec, unsigned reference)
    : r(rec),
      entries(run, reference),
      sets(std::size_t{1} << rec.noac),
      colex_bits(std::min(16, rec.noac + 4)),
      colex(std::size_t{1} << colex_bits) {
  for (unsigned set = 0; set < sets.size(); ++set) {
    Positions& s = sets[set];
    for (unsigned m = set; m != 0; m &= m - 1) {
      s.sym = std::uint8_t(r.mult(s.sym, r.asym(std::countr_zero(m) + 1)));
      ++s.count;
    }
  }
  for (unsigned set = 0; set < colex.size(); ++set) {
    int i = 0;
    for (unsigned m = set; m != 0; m &= m - 1)
      colex[set] = std::uint16_t(colex[set] + r.binom(std::countr_zero(m), ++i));
  }
  for (unsigned byte = 0; byte < 256; ++byte) {
    flip[byte] = 0;
    for (int b = 0; b < 8; ++b) flip[byte] |= std::uint8_t(((byte >> b) & 1u) << (7 - b));
  }
  for (unsigned mask = 0; mask < 256; ++mask)
    for (unsigned v = 0; v < 256; ++v) {
      unsigned out = 0, k = 0;
      for (int b = 0; b < 8; ++b)
        if ((mask >> b) & 1u) out |= ((v >> b) & 1u) << k++;
      packed[mask][v] = std::uint8_t(out);
    }

  particle_classes = 2 + 2 * r.nsym;
  hole_classes = 1 + 2 * r.nsym;
  const int rows = kMaxMrClass * (r.noac + 1);
  offsets.assign(std::size_t(rows) * particle_classes * hole_classes, 0);
  for (int klass = 1; klass <= kMaxMrClass; ++klass)
    for (int isolc = 0; isolc <= r.noac; ++isolc)
      for (int ip = 1; ip <= particle_classes; ++ip)
        for (int it = 1; it <= hole_classes; ++it)
          offsets[((std::size_t((klass - 1) * (r.noac + 1) + isolc) * particle_classes + ip - 1) *
                   hole_classes) + it - 1] = int(r.offmrs(klass, ip, it, isolc));
  configurations.assign(std::size_t(r.ndimcs0) + 1, Configuration{});
  for (int iconf = 1; iconf <= r.ndimcs0; ++iconf) {
    Configuration& c = configurations[iconf];
    const int klass = r.klass(iconf);
    if (klass < 1 || klass > kMaxMrClass) continue;
    const ClassRange range = class_range(klass);
    c.base = r.base(iconf);
    c.row = (klass - 1) * (r.noac + 1);
    for (int nt = range.mint; nt <= range.maxt; ++nt)
      c.admits |= 1u << (3 * nt + nt + range.minp - range.mint);
  }
  if (r.noac > kOccupationTable) return;
  occupations.resize(std::size_t{1} << 2 * r.noac);
  for (unsigned alpha = 0; alpha < sets.size(); ++alpha)
    for (unsigned beta = 0; beta < sets.size(); ++beta)
      occupations[alpha | beta << r.noac] = occupation(alpha, beta);
}

MrListTables::Occupation MrListTables::occupation(unsigned alpha, unsigned beta) const {
  const unsigned doubles = alpha & beta, singles = alpha ^ beta;
  const Positions &d = sets[doubles], &s = sets[singles];
  Occupation o;
  o.ne = std::uint8_t(2 * d.count + s.count);
  o.nso = s.count;
  o.sym = s.sym;
  o.nalpha = sets[alpha & singles].count;
  o.alpha = std::uint16_t(squeeze(alpha, singles));
  if (o.ne >= r.nelac - 2 && o.ne <= r.nelac + 2) o.iconf = number(doubles, singles, d.count, s.count);
  return o;
}

// mr_address's layout: the configuration's base, the offset of the block of
// its class, open shells and hole and particle classes, then the spin
// pattern fastest, the holes, the particles.
int MrListTables::address(int n, const int* a, const int* b, bool* inside) const {
  ListEntries::Outside t, p;
  std::uint64_t occ = 0;
  if (!entries.read(n, a, b, t, p, occ)) return 0;
  // The words count the holes (particles) outside but do not tell two apart.
  if ((t.n == 2 && t.slot[0] == t.slot[1]) || (p.n == 2 && p.slot[0] == p.slot[1])) return 0;
  const unsigned alpha = unsigned(occ) & 0xffffu, beta = unsigned(occ >> 16) & 0xffffu;
  const Occupation o =
      occupations.empty() ? occupation(alpha, beta) : occupations[alpha | beta << r.noac];
  if (o.ne - r.nelac != t.n - p.n) return 0;
  const Configuration& c = configurations[o.iconf];
  if ((c.admits >> (3 * t.n + p.n) & 1u) == 0) return 0;

  const int it[2] = {int(t.slot[0]) + 1, int(t.slot[1]) + 1};
  const int ip[2] = {int(p.slot[0]) + 1, int(p.slot[1]) + 1};
  const MrPair h = mr_pair(r, t.n, it, true), q = mr_pair(r, p.n, ip, false);
  if (q.sym != r.mult(r.is0, r.mult(o.sym, h.sym))) return 0;
  const int isol = h.isol + o.nso + q.isol;
  const int nalpha = h.nalpha + o.nalpha + q.nalpha;
  if (2 * nalpha - isol != r.ms2) return 0;
  const unsigned pattern = h.alpha | unsigned(o.alpha) << h.isol | q.alpha << (h.isol + o.nso);
  const int pc = r.niips(p.n, q.isol, q.sym), hc = r.niits(h.isol, h.sym);
  if (pc == 0 || hc == 0) return 0;
  const int offset =
      offsets[(std::size_t(c.row + o.nso) * particle_classes + pc - 1) * hole_classes + hc - 1];
  const long long iadr = c.base + offset + rank(pattern, isol, nalpha) +
                         ((q.index - 1) * r.ndett(t.n, h.isol, h.sym) + h.index - 1) *
                             r.binom(isol, nalpha);
  if (iadr < 1 || iadr > r.ntotal) return 0;
  if (inside) *inside = t.n == 0 && p.n == 0;
  return int(iadr);
}

namespace {

// The lists may be read directly when the files' reference is the space's:
// it fills the inactive orbitals and leaves the virtual ones empty, fills
// the active orbitals trad fills, and the orbital classes the lists are read
// by are the tables' own.
bool lists_readable(const Run& run, const MrRecords& r) {
  for (int o = 1; o <= run.orb.norb; ++o) {
    const int c = run.cs.itype(o);
    if (c != r.oclass(o) || (c == 1 && !run.prep.yref(o)) || (c == 3 && run.prep.yref(o)))
      return false;
  }
  return files_match_cas(run);
}

}  // namespace

// The tables of the list path are built here, with the object.
MrAddressTables::MrAddressTables(Run& run) : MrAddressTables(run, nullptr) {}

MrAddressTables::MrAddressTables(Run& run, std::unique_ptr<MrRecords> own)
    : AddressTables(run), own_(std::move(own)), r_(own_ ? *own_ : run.dets.mr) {
  if (!lists_readable(run, r_)) return;
  unsigned reference = 0;
  for (int k = 1; k <= run.cs.noac; ++k)
    if (run.prep.yac(k)) reference |= 1u << (k - 1);
  list_ = std::make_unique<const MrListTables>(run, r_, reference);
}

MrAddressTables::~MrAddressTables() = default;

int MrAddressTables::list_address(int n, const int* a, const int* b, bool* inside) const {
  return list_ ? list_->address(n, a, b, inside) : 0;
}

}  // namespace ciprop
