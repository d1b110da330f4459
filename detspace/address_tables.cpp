#include "detspace/address_tables.hpp"

#include <bit>

#include "detspace/categories.hpp"
#include "detspace/mr_tables.hpp"
#include "detspace/reference_configurations.hpp"

namespace ciprop {

SrAddressTables::SrAddressTables(Run& run) : SrAddressTables(run, run.cs.is0) {}

SrAddressTables::SrAddressTables(Run& run, int symmetry)
    : AddressTables(run), blocks_(std::make_unique<BlockTable>()) {
  block_offsets(run, symmetry, *blocks_);
  direct_ = files_match_cas(run) && symmetry_group(run);
  for (int k = 1; k <= run.cs.noac; ++k)
    if (run.prep.yac(k)) reference_ |= 1u << (k - 1);
}

int SrAddressTables::size() const { return static_cast<int>(blocks_->ntotal); }

int SrAddressTables::address(const SplitDet& d) const {
  if (!in_space(records(), *blocks_, d)) return 0;
  int iadr = 0;
  adrdet(records(), *blocks_, d, iadr);
  return iadr;
}

// A CAS space has neither holes nor particles.
bool SrAddressTables::active_only() const { return records().prep.gener == "CAS "; }

std::unique_ptr<ExcitationShortcut> SrAddressTables::excitation_shortcut() const {
  return std::make_unique<Excitations>(records(), *blocks_);
}

namespace {

// One or two holes (particles) outside the active orbitals, in increasing
// spin-orbital order as the lists give them: their spin balance and
// symmetry.
struct Outside {
  int n = 0, so[2] = {}, balance = 0, sym = 1;
  bool add(const Run& run, int s, int o) {
    if (n == 2 || (n == 1 && so[0] >= s)) return false;
    so[n++] = s;
    balance += s > run.orb.norb ? -1 : 1;
    sym = run.sym.mult(sym, run.sym.isym(o));
    return true;
  }
};

// Symmetry and rank of the active string of the CAS positions in mask.
void string_of(Run& run, unsigned mask, int& sym, int& rank) {
  int pos[kMaxActive], n = 0;
  sym = 1;
  for (unsigned m = mask; m != 0; m &= m - 1) {
    pos[n] = std::countr_zero(m) + 1;
    sym = run.sym.mult(sym, run.sym.isym(run.cs.numac(pos[n++])));
  }
  rank = string_rank(run, n, pos);
}

}  // namespace

// The list's holes leave the active strings of the reference or become the
// holes of the determinant, its particles enter them or become its
// particles; the marker of a missing electron stands for nothing.  Anything
// else is left to trad, which words its refusal.
int SrAddressTables::list_address(int n, const int* a, const int* b) const {
  if (!direct_) return 0;
  Run& run = records();
  const int norb = run.orb.norb, marker = 2 * norb + 1;
  unsigned mask[2] = {reference_, reference_};
  Outside t, p;
  for (int k = 0; k < n; ++k) {
    if (a[k] < 1 || a[k] > 2 * norb) return 0;
    const int s = a[k] > norb, o = a[k] - s * norb;
    const int c = run.cs.itype(o);
    if (c == 2) {
      const unsigned bit = 1u << (run.prep.inumac(o) - 1);
      if (!(mask[s] & bit)) return 0;
      mask[s] &= ~bit;
    } else if (c != 1 || !t.add(run, a[k], o)) {
      return 0;
    }
  }
  bool missing = false;
  for (int k = 0; k < n; ++k) {
    if (b[k] == marker && !missing) {
      missing = true;
      continue;
    }
    if (b[k] < 1 || b[k] > 2 * norb) return 0;
    const int s = b[k] > norb, o = b[k] - s * norb;
    const int c = run.cs.itype(o);
    if (c == 2) {
      const unsigned bit = 1u << (run.prep.inumac(o) - 1);
      if ((reference_ & bit) || (mask[s] & bit)) return 0;
      mask[s] |= bit;
    } else if (c != 3 || !p.add(run, b[k], o)) {
      return 0;
    }
  }
  const int nca = std::popcount(mask[0]), ncb = std::popcount(mask[1]);
  int isa = 1, isb = 1, ra = 1, rb = 1;
  string_of(run, mask[0], isa, ra);
  string_of(run, mask[1], isb, rb);
  const int isc = run.sym.mult(isa, isb);
  const BlockTable& blocks = *blocks_;
  const int icateg =
      block_category(run, blocks, nca, ncb, isc, t.n, t.sym, t.balance, p.n, p.sym, p.balance);
  if (icateg == 0) return 0;
  int iadrt = 0, iadrp = 0;
  adrt(run, t.n, t.so, t.balance, iadrt);
  adrp(run, p.n, p.so, p.balance, iadrp);
  const int ispc1 = run.util(30 + nca - ncb - run.dets.cas_spin);
  const int iadr = block_address(run, blocks, nca + ncb - run.cs.nelac, isc, ispc1, icateg, p.n,
                                 p.sym, p.balance, iadrt, iadrp,
                                 active_index(run, isc, isa, nca, ncb, ra, rb));
  // adrdet's look at one address goes through adrdet.
  return iadr == run.switches.stop_at_address ? 0 : iadr;
}

std::unique_ptr<AddressTables> make_address_tables(Run& run) {
  return make_address_tables(run, run.cs.is0);
}

std::unique_ptr<AddressTables> make_address_tables(Run& run, int symmetry) {
  if (!multireference(run.prep.gener)) return std::make_unique<SrAddressTables>(run, symmetry);
  if (symmetry == run.dets.mr.is0) return std::make_unique<MrAddressTables>(run);
  auto r = std::make_unique<MrRecords>();
  mr_space_of_symmetry(run, symmetry, *r);
  return std::make_unique<MrAddressTables>(run, std::move(r));
}

}  // namespace ciprop
