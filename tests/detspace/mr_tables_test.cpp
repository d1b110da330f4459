// The multireference space against its definition.  Every determinant with at
// most two holes and two particles is judged here on its explicit
// occupations (electron change, distance of its active occupation to the
// nearest reference, how many electrons it excites in all); the address
// tables must number the ones the mode admits 1..T once each and answer 0
// for all the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "detspace/address.hpp"
#include "detspace/mr_tables.hpp"
#include "detspace/reference_configurations.hpp"
#include "fortio/stop.hpp"
#include "input/run_description.hpp"
#include "tests/detspace/tables_case.hpp"
#include "tools/mkcase/make_case.hpp"

namespace {

using ciprop::SplitDet;
using mkcase::Description;
using tables::Tables;

const char* const kMrModes[] = {"MR  ", "MRS ", "MRD2", "MRDD", "MRT2",
                                "MRTD", "MRT ", "MRM ", "MRTM", "MRC "};

using tables::stop_status;

using Occupation = std::vector<int>;  // 0, 1, 2 per active position

std::string occmrs(const std::vector<Occupation>& refs) {
  std::string s = std::to_string(refs.size()) + "\n";
  for (const Occupation& r : refs) {
    for (int x : r) s += char('0' + x);
    s += "\n";
  }
  return s;
}

// The lowest occupation of nelac electrons, and ones that move electrons
// from it: the references of a case.
Occupation aufbau(int noac, int nelac) {
  Occupation o(noac, 0);
  for (int k = 0; k < noac && nelac > 0; ++k) {
    o[k] = std::min(2, nelac);
    nelac -= o[k];
  }
  return o;
}

// One electron from the highest occupied position to the lowest position
// with room above it.
Occupation excite(Occupation o) {
  int from = -1, to = -1;
  for (int k = 0; k < int(o.size()); ++k)
    if (o[k] > 0) from = k;
  for (int k = int(o.size()) - 1; k > from; --k)
    if (o[k] < 2) to = k;
  if (from >= 0 && to >= 0) {
    --o[from];
    ++o[to];
  }
  return o;
}

std::vector<std::vector<Occupation>> reference_sets(int noac, int nelac) {
  const Occupation a = aufbau(noac, nelac);
  Occupation more = a;  // one electron more than the space holds: accepted
  for (int& x : more)
    if (x < 2) {
      ++x;
      break;
    }
  return {{a}, {a, excite(a), excite(excite(a)), more}};
}

// What the definition admits for a determinant of nt holes, np particles
// and active occupation iocc.
struct Judge {
  std::string mode;
  std::vector<Occupation> refs;
  int nelac;

  bool admits(int nt, int np, const Occupation& iocc) const {
    int ne = 0;
    for (int x : iocc) ne += x;
    const int nelc = ne - nelac;
    if (nelc != nt - np) return false;
    const bool mono = mode == "MRM " || mode == "MRTM";
    const int iplus = mode == "MRC " ? 0 : mono ? 1 : 2;
    if (std::abs(nelc) > iplus) return false;
    int dist = 99;
    if (mode.rfind("MRT", 0) == 0) {
      dist = std::abs(nelc);
    } else {
      for (const Occupation& r : refs) {
        int s = 0;
        for (size_t k = 0; k < r.size(); ++k) s += std::abs(iocc[k] - r[k]);
        dist = std::min(dist, s);
      }
    }
    // The distance counts every moved electron twice; holes and particles
    // each count once more.  At most two excited electrons (one in the
    // single-excitation modes).
    if (dist < std::abs(nelc) || (dist - nelc) % 2 != 0) return false;
    if (nt + np + dist > (mono ? 2 : 4)) return false;
    if (mode == "MRC ") return dist == 0 && nt == 0 && np == 0;
    if (mode == "MRDD" || mode == "MRTD") return nt + np <= 3;
    if (mode == "MRD2" || mode == "MRT2") return nt + np <= 2;
    return true;
  }
};

// Every determinant of at most two holes and two particles, any spin and
// symmetry, with its split form and its judgement.
struct Probe {
  SplitDet split;
  int nt, np;
  Occupation iocc;
  int spin, sym;  // twice the spin projection; symmetry
};

template <class F>
void for_each_probe(const Description& d, F f) {
  const mkcase::OrbitalLayout l = mkcase::layout(d);
  const int norb = l.norb, noac = l.noac;
  std::vector<int> inactive, virt;
  for (int o = 1; o <= l.ninac; ++o) inactive.push_back(o);
  for (int o = l.ninac + noac + 1; o <= norb; ++o) virt.push_back(o);
  auto spin_orbitals = [&](const std::vector<int>& orbs) {
    std::vector<int> v;
    for (int o : orbs) v.push_back(o);
    for (int o : orbs) v.push_back(norb + o);
    return v;
  };
  auto subsets = [](const std::vector<int>& v) {
    std::vector<std::vector<int>> out{{}};
    for (size_t a = 0; a < v.size(); ++a) out.push_back({v[a]});
    for (size_t a = 0; a < v.size(); ++a)
      for (size_t b = a + 1; b < v.size(); ++b) out.push_back({v[a], v[b]});
    return out;
  };
  const auto holes = subsets(spin_orbitals(inactive));
  const auto parts = subsets(spin_orbitals(virt));
  auto sym_of = [&](int so) { return l.isym[(so > norb ? so - norb : so) - 1]; };
  for (unsigned am = 0; am < (1u << noac); ++am)
    for (unsigned bm = 0; bm < (1u << noac); ++bm) {
      const int ne = __builtin_popcount(am) + __builtin_popcount(bm);
      if (std::abs(ne - d.nelac) > 2) continue;
      Probe p;
      p.iocc.assign(noac, 0);
      p.split.nca = p.split.ncb = 0;
      int sym = 1, spin = 0;
      for (int k = 0; k < noac; ++k) {
        const int o = l.numac[k];
        if (am >> k & 1) {
          p.split.ia[p.split.nca++] = o;
          ++p.iocc[k];
          sym = d.mult[sym - 1][l.isym[o - 1] - 1];
          ++spin;
        }
        if (bm >> k & 1) {
          p.split.ib[p.split.ncb++] = o;
          ++p.iocc[k];
          sym = d.mult[sym - 1][l.isym[o - 1] - 1];
          --spin;
        }
      }
      for (const auto& h : holes)
        for (const auto& q : parts) {
          if (ne - d.nelac != int(h.size()) - int(q.size())) continue;
          SplitDet& s = p.split;
          p.nt = s.nt = int(h.size());
          p.np = s.np = int(q.size());
          s.ispt = s.ispp = 0;
          p.sym = sym;
          p.spin = spin;
          for (int k = 0; k < s.nt; ++k) {
            s.it[k] = h[k];
            s.ispt += h[k] > norb ? -1 : 1;
            p.sym = d.mult[p.sym - 1][sym_of(h[k]) - 1];
          }
          for (int k = 0; k < s.np; ++k) {
            s.ip[k] = q[k];
            s.ispp += q[k] > norb ? -1 : 1;
            p.sym = d.mult[p.sym - 1][sym_of(q[k]) - 1];
          }
          p.spin += s.ispp - s.ispt;  // a hole takes its spin away
          f(p);
        }
    }
}

// The addresses met in a group of determinants.
struct Range {
  int lo = 1 << 30, hi = 0, n = 0;
  void add(int a) {
    lo = std::min(lo, a);
    hi = std::max(hi, a);
    ++n;
  }
  bool consecutive() const { return hi - lo + 1 == n; }
};

// A determinant's active occupation and its hole and particle orbitals,
// without spins.
std::vector<int> spatial_key(const Probe& p, const Description& d) {
  const int norb = d.norb();
  std::vector<int> k(p.iocc.begin(), p.iocc.end());
  k.push_back(-1);
  for (int j = 0; j < p.nt; ++j) k.push_back(p.split.it[j] > norb ? p.split.it[j] - norb : p.split.it[j]);
  k.push_back(-1);
  for (int j = 0; j < p.np; ++j) k.push_back(p.split.ip[j] > norb ? p.split.ip[j] - norb : p.split.ip[j]);
  std::sort(k.begin() + d.noac() + 1, k.begin() + d.noac() + 1 + p.nt);
  std::sort(k.end() - p.np, k.end());
  return k;
}

// Ascending k-subsets of 1..n in lexicographic order.
std::vector<std::vector<int>> lex_subsets(int n, int k) {
  std::vector<std::vector<int>> out;
  std::vector<int> cur;
  auto rec = [&](auto&& self, int from) -> void {
    if (int(cur.size()) == k) {
      out.push_back(cur);
      return;
    }
    for (int x = from; x <= n; ++x) {
      cur.push_back(x);
      self(self, x + 1);
      cur.pop_back();
    }
  };
  rec(rec, 1);
  return out;
}

// Active occupations of nelac-2..nelac+2 electrons: by doubles count, singles
// count, set of doubles, set of singles among the remaining positions.
std::vector<Occupation> configurations_in_order(int noac, int nelac, const std::string& mode) {
  const int plus = mode == "MRC " ? 0 : (mode == "MRM " || mode == "MRTM") ? 1 : 2;
  std::vector<Occupation> out;
  for (int ndo = 0; ndo <= noac; ++ndo)
    for (int nso = 0; nso + ndo <= noac; ++nso) {
      if (std::abs(2 * ndo + nso - nelac) > plus) continue;
      for (const auto& dbl : lex_subsets(noac, ndo)) {
        std::vector<int> rest;
        for (int k = 1; k <= noac; ++k)
          if (std::find(dbl.begin(), dbl.end(), k) == dbl.end()) rest.push_back(k);
        for (const auto& sgl : lex_subsets(noac - ndo, nso)) {
          Occupation o(noac, 0);
          for (int k : dbl) o[k - 1] = 2;
          for (int k : sgl) o[rest[k - 1] - 1] = 1;
          out.push_back(o);
        }
      }
    }
  return out;
}

std::string trace(const Description& d, const std::string& mode, size_t nref) {
  std::ostringstream s;
  s << "mode '" << mode << "' nsym=" << d.nsym << " noac=" << d.noac() << " nelac=" << d.nelac
    << " ms2=" << d.ms2 << " is0=" << d.is0 << " references=" << nref;
  return s.str();
}

// Spaces on 1, 2 and 4 irreps, even and odd active electron counts, ms2 0,
// -1 and -2; some symmetries without inactive or virtual orbitals.
std::vector<Description> shapes() {
  return {mkcase::describe("CAS ", 1, {2}, {3}, {2}, 2, 0, 1),
          mkcase::describe("CAS ", 1, {1}, {4}, {2}, 3, -1, 1),
          mkcase::describe("CAS ", 2, {1, 1}, {2, 1}, {1, 1}, 4, 0, 2),
          mkcase::describe("CAS ", 2, {1, 0}, {1, 2}, {1, 2}, 3, -1, 1),
          mkcase::describe("CAS ", 2, {1, 1}, {2, 2}, {0, 2}, 4, -2, 1),
          mkcase::describe("CAS ", 4, {1, 0, 1, 0}, {1, 1, 1, 0}, {0, 1, 1, 1}, 2, 0, 3),
          mkcase::describe("CAS ", 4, {0, 1, 0, 1}, {1, 1, 0, 1}, {1, 0, 1, 0}, 3, -1, 4)};
}

// Tables of an MR mode built by the real stages, with the references given.
struct MrCase {
  Tables t;
  ciprop::MrAddressTables tables;
  int status = -1;
  MrCase(const Description& d, const std::string& mode, const std::vector<Occupation>& refs)
      : t(d, mode), tables(*t.run) {
    EXPECT_EQ(t.prepad(), -1) << t.out.str();
    t.dir.write("OCCMRS", occmrs(refs));
    classify(mode);
  }
  // The references again under another mode (the tables do not depend on it).
  void classify(const std::string& mode) {
    t.run->prep.gener.assign(mode);
    status = stop_status(
        [&] { ciprop::reference_configurations(*t.run, (t.dir.path() / "OCCMRS").string()); });
  }
};

// The addresses of the space the definition gives (spin projection ms2):
// 1..T once each, 0 for every other determinant; the spin patterns of one
// set of orbitals side by side; configurations in consecutive ranges in the
// order the references enumerate them (doubles, then singles, each set in
// lexicographic order).
void expect_numbered(const MrCase& c, const ciprop::AddressTables& tables, const Description& d,
                     const std::string& mode, const std::vector<Occupation>& refs, int ms2) {
  ASSERT_EQ(c.status, -1) << c.t.out.str() << c.t.err.str();
  ASSERT_EQ(c.t.run->dets.mr.ndimcs0, ciprop::ndimcs(*c.t.run));
  const Judge judge{mode, refs, d.nelac};
  const int size = tables.size();
  std::vector<char> seen(size + 1, 0);
  long long inside = 0;
  std::map<Occupation, Range> by_configuration;
  std::map<std::vector<int>, Range> by_orbitals;
  for_each_probe(d, [&](const Probe& p) {
    const int iadr = tables.address(p.split);
    if (p.spin == ms2 && p.sym == d.is0 && judge.admits(p.nt, p.np, p.iocc)) {
      ++inside;
      ASSERT_GE(iadr, 1);
      ASSERT_LE(iadr, size);
      ASSERT_FALSE(seen[iadr]) << "address " << iadr << " twice";
      seen[iadr] = 1;
      by_configuration[p.iocc].add(iadr);
      by_orbitals[spatial_key(p, d)].add(iadr);
    } else {
      ASSERT_EQ(iadr, 0) << "nt " << p.nt << " np " << p.np << " spin " << p.spin << " sym "
                         << p.sym;
    }
  });
  EXPECT_EQ(inside, size);
  for (const auto& [key, range] : by_orbitals) EXPECT_TRUE(range.consecutive());
  int next = 1;
  for (const Occupation& iocc : configurations_in_order(d.noac(), d.nelac, mode)) {
    auto it = by_configuration.find(iocc);
    if (it == by_configuration.end()) continue;
    EXPECT_EQ(it->second.lo, next);
    EXPECT_TRUE(it->second.consecutive());
    next = it->second.hi + 1;
  }
  EXPECT_EQ(next, size + 1);
}

// f(d, refs, mode, c) for every shape, set of references and mode, the
// tables of c classed under that mode.
template <class F>
void for_each_mr_case(F f) {
  for (const Description& d : shapes())
    for (const auto& refs : reference_sets(d.noac(), d.nelac)) {
      MrCase c(d, "MR  ", refs);
      for (const char* mode : kMrModes) {
        SCOPED_TRACE(trace(d, mode, refs.size()));
        c.classify(mode);
        f(d, refs, mode, c);
      }
    }
}

TEST(MrAddressing, EveryModeNumbersItsSpaceOneToTAndRefusesTheRest) {
  for_each_mr_case([](const Description& d, const std::vector<Occupation>& refs, const char* mode,
                      MrCase& c) {
    expect_numbered(c, c.tables, d, mode, refs, d.nca0() - d.ncb0());
  });
}

TEST(MrAddressing, TheTablesOfEverySymmetryNumberThatSymmetrysSpace) {
  // The first vector may be a state of another symmetry: its tables, built
  // beside the run's own without reading the references again, number the
  // space of its symmetry, and those of the run's symmetry are the run's.
  for_each_mr_case([](const Description& d, const std::vector<Occupation>& refs, const char* mode,
                      MrCase& c) {
    const std::string before = c.t.out.str();
    for (int s = 1; s <= d.nsym; ++s) {
      SCOPED_TRACE("symmetry " + std::to_string(s));
      Description other = d;
      other.is0 = s;
      const std::unique_ptr<ciprop::AddressTables> tables = ciprop::make_address_tables(*c.t.run, s);
      expect_numbered(c, *tables, other, mode, refs, d.nca0() - d.ncb0());
    }
    EXPECT_EQ(c.t.out.str(), before);
    EXPECT_EQ(c.t.run->dets.mr.is0, d.is0);
  });
}

TEST(MrAddressing, AnMs2OfTheOtherParityTakesTheSpinOfTheDeterminantFiles) {
  // The run description may give ms2 -1 for an even electron count; the
  // determinant files then hold as many alpha as beta active electrons
  // (nca0 = ncb0), and so must the space: spin patterns counted with ms2
  // itself would give overlapping addresses.
  for (const Description& d : {shapes()[0], shapes()[2]}) {
    const std::vector<Occupation> refs{aufbau(d.noac(), d.nelac)};
    MrCase c(d, "MR  ", refs);
    c.t.run->cs.ms2 = -1;
    ASSERT_EQ(c.t.prepad(), -1);
    c.classify("MR  ");
    expect_numbered(c, c.tables, d, "MR  ", refs, 0);
  }
}

TEST(MrAddressing, ReferenceFreeModesAreTheirSingleReferenceKin) {
  // The modes that ignore the references span the same determinants as
  // single-reference modes of the same orbitals.
  const std::pair<const char*, const char*> kin[] = {
      {"MRT ", "TOUS"}, {"MRTD", "DDCI"}, {"MRT2", "DDC2"}, {"MRTM", "MONO"}};
  for (const Description& d : shapes()) {
    MrCase c(d, "MRT ", {aufbau(d.noac(), d.nelac)});
    for (const auto& [mr, sr] : kin) {
      SCOPED_TRACE(trace(d, mr, 1));
      c.classify(mr);
      Description single = d;
      single.gener = sr;
      Tables s(single);
      ASSERT_EQ(s.prepad(), -1);
      EXPECT_EQ(c.tables.size(), s.run->dets.blocks.ntotal);
      for_each_probe(d, [&](const Probe& p) {
        ASSERT_EQ(c.tables.address(p.split) != 0, ciprop::in_space(*s.run, p.split))
            << "nt " << p.nt << " np " << p.np << " spin " << p.spin << " sym " << p.sym;
      });
    }
  }
}

TEST(MrAddressing, OneReferenceInMrcHoldsOnlyItsOwnConfigurationWithBaseZero) {
  const Description d = shapes()[2];
  const Occupation ref = aufbau(d.noac(), d.nelac);
  MrCase c(d, "MRC ", {ref});
  const ciprop::MrRecords& r = c.t.run->dets.mr;
  const int iconf = ciprop::configuration_number(r, ref.data());
  int admitted = 0;
  for (int i = 1; i <= r.ndimcs0; ++i) admitted += r.klass(i) >= 1 && r.klass(i) <= 14;
  EXPECT_EQ(admitted, 1);
  EXPECT_EQ(r.klass(iconf), 1);
  EXPECT_EQ(r.base(iconf), 0);
  EXPECT_TRUE(c.t.run->prep.ycas1);
}

// The density stage's shortcut against trad and the tables on the excited
// determinant's lists: every excitation of one spin of every determinant of
// the widest space of every symmetry, each mode, one and several references.
TEST(MrExcitations, AnswerAsTheFullPath) {
  std::map<std::string, long> inside;  // excitations into the space, by mode
  for_each_mr_case([&](const Description& d, const std::vector<Occupation>&, const char* mode,
                       MrCase& c) {
    ciprop::MrExcitations ex(*c.t.run, c.t.run->dets.mr);
    tables::for_each_excitation(
        d, true,
        [&](const mkcase::Excitation& e) {
          ASSERT_TRUE(ex.set(static_cast<int>(e.holes.size()), e.holes.data(), e.parts.data()));
        },
        [&](int si, int sj, const std::vector<int>& h, const std::vector<int>& p) {
          SplitDet s;
          int ierr = 0, got = 0;
          ciprop::trad(*c.t.run, static_cast<int>(h.size()), h.data(), p.data(), s, ierr);
          const int want = ierr == 0 ? c.tables.address(s) : 0;
          ASSERT_EQ(ex.locate(si, sj, got), want != 0) << "si " << si << " sj " << sj;
          if (want != 0) {
            ASSERT_EQ(got, want) << "si " << si << " sj " << sj;
          }
          inside[mode] += want != 0;
        });
  });
  // Every mode meets excitations into its space, so the shortcut is not
  // only compared on refusals.
  for (const char* mode : kMrModes) EXPECT_GT(inside[mode], 0) << mode;
}

TEST(MrTables, PairsAreRankedByTheirLargerElementLongerListsLexicographically) {
  Tables t(shapes()[0], "MR  ");
  ASSERT_EQ(t.prepad(), -1);
  const ciprop::MrRecords& built = t.run->dets.mr;
  const std::vector<std::vector<int>> pairs{{1, 2}, {1, 3}, {2, 3}, {1, 4}, {2, 4}, {3, 4}};
  const std::vector<std::vector<int>> triples{{1, 2, 3}, {1, 2, 4}, {1, 3, 4}, {2, 3, 4}};
  for (size_t k = 0; k < pairs.size(); ++k)
    EXPECT_EQ(ciprop::subset_rank(built, 4, 2, pairs[k].data()), long(k) + 1);
  for (size_t k = 0; k < triples.size(); ++k)
    EXPECT_EQ(ciprop::subset_rank(built, 4, 3, triples[k].data()), long(k) + 1);
  const int one = 3, none = 0;
  EXPECT_EQ(ciprop::subset_rank(built, 4, 1, &one), 3);
  EXPECT_EQ(ciprop::subset_rank(built, 4, 0, &none), 1);
}

TEST(MrTables, MoreActiveConfigurationsThanTheTablesHoldStop) {
  // Eleven active orbitals with ten electrons: 107999 configurations.
  Tables t(shapes()[0], "MRDD");
  t.run->cs.noac = 11;
  t.run->cs.nelac = 10;
  EXPECT_EQ(stop_status([&] { ciprop::prepads(*t.run); }), fio::kStatusError);
  EXPECT_NE(t.out.str().find(" ndimcs0 n'est pas assez grand\n"
                             " ndimcs0 doit valoir au moins 107999\n"),
            std::string::npos)
      << t.out.str();
}

TEST(MrTables, ADeterminantCountThatDisagreesWithTheBlocksStops) {
  const Description d = shapes()[0];
  Tables t(d, "MR  ");
  ASSERT_EQ(t.prepad(), -1);
  // Class 1 without open shells: 002, at distance 4 from the reference 200.
  t.run->dets.mr.cfg_size(1, 0, 1) += 1;
  t.dir.write("OCCMRS", occmrs({aufbau(d.noac(), d.nelac)}));
  EXPECT_EQ(stop_status([&] {
              ciprop::reference_configurations(*t.run, (t.dir.path() / "OCCMRS").string());
            }),
            fio::kStatusError);
  EXPECT_NE(t.out.str().find(" mrs1  nombre de determinants incoherent : iconf, calnim, blocs="),
            std::string::npos)
      << t.out.str();
}

TEST(MrReferences, AThousandReferencesAreReadAndOneMoreStops) {
  const Description d = shapes()[0];
  const Occupation ref = aufbau(d.noac(), d.nelac);
  for (int n : {1000, 1001}) {
    MrCase c(d, "MR  ", std::vector<Occupation>(n, ref));
    if (n == 1000) {
      EXPECT_EQ(c.status, -1);
      EXPECT_EQ(c.t.run->dets.mr.nref, 1000);
    } else {
      EXPECT_EQ(c.status, fio::kStatusError);
      EXPECT_NE(c.t.out.str().find(" parametre maxref pas assez grand. besoin\n"
                                   "                      1001 1000\n"),
                std::string::npos)
          << c.t.out.str();
    }
  }
}

TEST(MrReferences, MissingShortOrMalformedFilesAreRefusedNamingTheRecord) {
  const Description d = shapes()[1];  // four active orbitals
  const struct {
    const char* text;  // nullptr: no file
    const char* said;
  } cases[] = {
      {nullptr, "cannot open"},
      {"3\n2100\n1110\n", "end of file before reference 3 of 3 (record 4)"},
      {"2\n2100\n2300\n", "reference 2 of 2 (record 3) is not 4 occupations"},
      {"1\n210\n", "reference 1 of 1 (record 2)"},
      {"1\n21x0\n", "reference 1 of 1 (record 2)"},
      {"1\n 2100\n", "reference 1 of 1 (record 2)"},
      {"1\n21000\n", "reference 1 of 1 (record 2) is not 4 occupations"},
      {"1\n2100 first\n", "followed by blanks only: '2100 first'"},
      {"deux\n2100\n", "bad integer"},
      {"", "end of file"},
      {"-1\n", "record 1: -1 references; the multireference modes take 1 to 1000"},
      {"0\n", "record 1: 0 references"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.text ? k.text : "(no file)");
    Tables t(d, "MRDD");
    ASSERT_EQ(t.prepad(), -1);
    const auto path = t.dir.path() / "OCCMRS";
    if (k.text) t.dir.write("OCCMRS", k.text);
    const int status =
        stop_status([&] { ciprop::reference_configurations(*t.run, path.string()); });
    EXPECT_EQ(status, fio::kStatusIoError);
    const std::string err = t.err.str();
    EXPECT_NE(err.find("ciprop: input/output error on unit 27, file '" + path.string() + "'"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find(k.said), std::string::npos) << err;
    EXPECT_EQ(std::filesystem::exists(path), k.text != nullptr);
  }
}

TEST(MrReferences, PrintLevelThreeListsEachConfigurationAndLevelTwoNothing) {
  // Four active orbitals with three electrons, one inactive and two virtual
  // orbitals, the one reference 2100 in MRDD.
  const Description d = shapes()[1];
  const Occupation ref = aufbau(d.noac(), d.nelac);
  for (int nprint : {2, 3}) {
    Tables t(d, "MRDD");
    ASSERT_EQ(t.prepad(), -1);
    t.run->pr.nprint = nprint;
    t.dir.write("OCCMRS", occmrs({ref}));
    const std::string before = t.out.str();
    ASSERT_EQ(stop_status([&] {
                ciprop::reference_configurations(*t.run, (t.dir.path() / "OCCMRS").string());
              }),
              -1);
    const std::string listed = t.out.str().substr(before.size());
    if (nprint == 2) {
      EXPECT_EQ(listed, "");
      continue;
    }
    EXPECT_EQ(listed.rfind(" gener,iplus MRDD 2\n", 0), 0u) << listed;
    // The reference itself: no hole, or a hole with a particle (MRDD drops
    // the pair of each); one open shell with ms2 -1 has one spin pattern,
    // three with a hole and a particle: 1 + 1 inactive x 2 virtual x 3.
    const ciprop::MrRecords& r = t.run->dets.mr;
    const int iconf = ciprop::configuration_number(r, ref.data());
    EXPECT_NE(listed.find(" iconf " + std::to_string(iconf) +
                          " iocc 2 1 0 0 difref 0 mint,maxt,minp,maxp 0 1 0 1 klass 4\n"
                          " calnim nt,np,nim 0 0 1\n"
                          " calnim nt,np,nim 1 1 7\n"
                          " nim,iadttp 7 " + std::to_string(r.base(iconf)) + "\n"),
              std::string::npos)
        << listed;
  }
}

TEST(MrReferences, TrailingBlanksAndACountWithCommaAreRead) {
  const Description d = shapes()[1];
  Tables t(d, "MR  ");
  ASSERT_EQ(t.prepad(), -1);
  t.dir.write("OCCMRS", "\n  2, refs\n2100     \n1110\n");
  ASSERT_EQ(stop_status([&] {
              ciprop::reference_configurations(*t.run, (t.dir.path() / "OCCMRS").string());
            }),
            -1)
      << t.err.str();
  const ciprop::MrRecords& r = t.run->dets.mr;
  EXPECT_EQ(r.nref, 2);
  EXPECT_EQ(r.iocref(1, 2), 1);
  EXPECT_EQ(r.iocref(4, 1), 0);
}

}  // namespace

// The whole program in an MR mode: the reference file is required and never
// created.
TEST(MrInARun, TheReferenceFileIsRequiredAndNeverCreated) {
  test::ScratchDir dir;
  const Description d = shapes()[2];
  mkcase::make_case(d, dir.path().string());
  std::string vrt = dir.read("vrt");
  vrt.replace(vrt.find("CAS "), 4, "MRDD");
  dir.write("vrt", vrt);
  auto r = test::run_binary(dir, dir.read("input"));
  EXPECT_EQ(r.status, fio::kStatusIoError) << r.out << r.err;
  EXPECT_NE(r.err.find("ciprop: input/output error on unit 27, file 'OCCMRS'"), std::string::npos)
      << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "OCCMRS"));
}
