// Spectra: root NUMERO(1) of the first vector file (or the roots that
// RACINESA lists from it) against the roots that RACINES lists from the
// second, on generated cases of a complete active space, a DDCI space whose
// two vector files have different symmetries and a multireference space.
// Every pair must give, in the table, in the results file and in the run's
// records, what a run of that pair alone gives, and the generator's
// brute-force moments; the pairs must not depend on how many passes the
// memory allowed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <string>
#include <vector>

#include "density/results_file.hpp"
#include "density/absorption_picture.hpp"
#include "tests/density/generated_run.hpp"
#include "tests/support/xml_fault.hpp"
#include "tools/mkcase/density.hpp"

namespace {

using namespace ciprop;
using namespace generated;

// One run of the case folder with its own "&RHO" roots.
struct Outcome {
  int status = 0;
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<Run> run = std::make_unique<Run>(out, in, err);
  std::string json;
};

struct Spectrum : DensityRun {
  std::vector<int> listed;  // RACINES
  int calcro = 1;

  void make_case(mkcase::Description d, int nroots = 4) {
    d.nroots = nroots;
    d.ioper = 0;
    make(d);
  }

  // The case's input with `roots` for NUMERO and the case's CALCRO; the
  // results file's text is kept for the run in process.
  std::unique_ptr<Outcome> run_with(const std::string& roots, long long ket_memory = 0) {
    std::ifstream f("input");
    std::string input((std::istreambuf_iterator<char>(f)), {});
    input = std::regex_replace(input, std::regex("NUMERO=[0-9]+,[0-9]+,"), roots);
    input = std::regex_replace(input, std::regex("CALCRO=[0-9]"),
                               "CALCRO=" + std::to_string(calcro));
    std::ofstream("BID93") << input;
    auto o = std::make_unique<Outcome>();
    ciprop::Run& r = *o->run;
    r.ket_memory = ket_memory;
    try {
      r.dim = kDim;
      r.io.open(kUnitListing, "BID75", fio::Status::Unknown, fio::Form::Formatted);
      r.io.open(kUnitInput, "BID93", fio::Status::Old, fio::Form::Formatted);
      run_stages(r, Stage::OpenFiles, Stage::Moments, [&](Stage s) {
        if (s == Stage::OpenFiles) r.switches.packed_lists = c.d.packed;
      });
      o->json = results_json(r, "test");
    } catch (const fio::StopRun& s) {
      o->status = s.status == 0 ? -1 : s.status;
    }
    r.io.close_all();
    return o;
  }

  std::string racines() const {
    std::string s = "NUMERO=1,RACINES=";
    for (int r : listed) s += std::to_string(r) + ",";
    return s;
  }

  // The spectrum against one run per listed root and against the
  // generator's densities.
  void expect_every_pair_as_alone() {
    std::vector<std::pair<int, int>> want;
    for (int r : listed) want.emplace_back(1, r);
    expect_pairs_as_alone(racines(), want);
  }

  // The run of `roots` forms the pairs `expected` (from, to), in this order;
  // each as the run of that pair alone and as the generator's densities
  // give it.  The report is that of the run of its first pair, `first`.
  void expect_pairs_as_alone(const std::string& roots,
                             const std::vector<std::pair<int, int>>& expected,
                             std::pair<int, int> first = {1, 0}) {
    if (first.second == 0) first = expected.front();
    const auto all = run_with(roots);
    ASSERT_EQ(all->status, 0) << all->out.str() << all->err.str();
    const std::vector<PairResult>& pairs = all->run->dens.pairs;
    ASSERT_EQ(pairs.size(), expected.size());
    const std::vector<std::string> rows = table(all->out.str());
    ASSERT_EQ(rows.size(), expected.size()) << all->out.str();
    const std::vector<std::string> in_file = pair_objects(all->json);
    ASSERT_EQ(in_file.size(), expected.size()) << all->json;
    const std::vector<mkcase::Moments> brute = brute_force(expected);
    // Two columns more with RACINESA: the first root and its energy.
    const size_t shift = all->run->ronum.nracinesa > 0 ? 2 : 0;
    const auto report = run_with("NUMERO=" + std::to_string(first.first) + "," +
                                 std::to_string(first.second) + ",");
    // The report of the first pair is that of its own run, line for line,
    // up to the echo of the input.
    EXPECT_EQ(after_echo(all->out.str()).substr(0, after_echo(report->out.str()).size()),
              after_echo(report->out.str()));
    for (size_t k = 0; k < expected.size(); ++k) {
      const auto [from, to] = expected[k];
      SCOPED_TRACE("pair " + std::to_string(from) + " " + std::to_string(to));
      ASSERT_EQ(std::pair(pairs[k].root1, pairs[k].root), expected[k]);
      const auto alone =
          run_with("NUMERO=" + std::to_string(from) + "," + std::to_string(to) + ",");
      ASSERT_EQ(alone->status, 0) << alone->out.str();
      const Moments& m = pairs[k].moments;
      const Moments& want = alone->run->dens.moments;
      EXPECT_EQ(pairs[k].state, from == to && c.d.is0_a() == c.d.is0);
      EXPECT_EQ(pairs[k].deltae, alone->run->ronum.deltae);
      expect_close(values(m), values(want));
      // The table's columns: |mu|**2 and f of a transition, the total dipole
      // of a state.
      const std::vector<double> row = numbers(rows[k]);
      ASSERT_EQ(row.size(), 7u + shift) << rows[k];
      if (pairs[k].state) {
        for (int x = 0; x < 3; ++x)
          EXPECT_NEAR(row[shift + 4 + size_t(x)], printed(alone->out.str(), x), 1e-8);
      } else {
        expect_close({row[shift + 5], row[shift + 6]}, {want.amu_el * want.amu_el, want.fosc},
                     1e-13);
      }
      // The pair in the results file: the members and numbers of the run of
      // that pair alone.
      std::string single = all_but_head(alone->json);
      expect_same_json(in_file[k], single);
      // The generator's brute-force moments.
      const mkcase::Moments& b = brute[k];
      const double got[9] = {m.dip_el[0],  m.dip_el[1],  m.dip_el[2],  m.quad_el[0], m.quad_el[1],
                             m.quad_el[2], m.quad_el[3], m.quad_el[4], m.quad_el[5]};
      for (int x = 0; x < 9; ++x)
        EXPECT_NEAR(got[x], b.el[size_t(x)], 1e-10 * (1 + std::abs(b.el[size_t(x)])));
      if (!pairs[k].state) EXPECT_NEAR(m.fosc, b.fosc, 1e-12 * (1 + std::abs(b.fosc)));
    }
  }

  std::vector<mkcase::Moments> brute_force(const std::vector<std::pair<int, int>>& pairs) const {
    std::vector<mkcase::StatePair> states;
    for (const auto& [from, to] : pairs)
      states.push_back({&c.a->roots.coef[size_t(from - 1)], &c.b->roots.coef[size_t(to - 1)]});
    const auto ro = mkcase::one_particle_densities(c.a->dets, c.b->dets, c.layout, states);
    std::vector<mkcase::Moments> m;
    for (size_t k = 0; k < pairs.size(); ++k) {
      const auto [from, to] = pairs[k];
      const double de = c.b->roots.energies[size_t(to - 1)] - c.a->roots.energies[size_t(from - 1)];
      const bool state = from == to && c.a == c.b;
      m.push_back(mkcase::moments(c.molcas, mkcase::expand_density(c.d, ro[k], state), de));
    }
    return m;
  }

  static std::vector<double> values(const Moments& m) {
    std::vector<double> v(m.dip_el, m.dip_el + 3);
    v.insert(v.end(), m.quad_el, m.quad_el + 6);
    v.insert(v.end(), m.theta_el, m.theta_el + 6);
    v.insert(v.end(), {m.theta_eff, m.amu_el, m.amu_tot, m.fosc});
    return v;
  }

  static void expect_close(const std::vector<double>& a, const std::vector<double>& b,
                           double rel = 1e-12) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k)
      EXPECT_NEAR(a[k], b[k], rel * std::max(std::abs(b[k]), 1e-300)) << "value " << k;
  }

  // The rows of the spectrum table.
  static std::vector<std::string> table(const std::string& out) {
    std::vector<std::string> rows;
    size_t head = out.find(" racine     energie");
    if (head == std::string::npos) head = out.find("  depuis   vers");
    if (head == std::string::npos) return rows;
    std::istringstream s(out.substr(out.find('\n', head) + 1));
    for (std::string line; std::getline(s, line) && line.find("****") == std::string::npos;)
      rows.push_back(line);
    return rows;
  }

  static std::vector<double> numbers(const std::string& line) {
    std::vector<double> v;
    std::istringstream s(line);
    for (std::string w; s >> w;)
      if (w != "etat" && w != "-") v.push_back(std::stod(w));
    return v;
  }

  // Total column of mux, muy or muz in a report.
  static double printed(const std::string& out, int x) {
    const char* labels[3] = {"  mux ", "  muy ", "  muz "};
    const size_t k = out.find(labels[x]);
    std::istringstream s(out.substr(k + 6));
    double el = 0, nuc = 0, tot = 0;
    s >> el >> nuc >> tot;
    return tot;
  }

  // The report past the echo of "&RHO" and "&RHC", whose text differs.
  static std::string after_echo(const std::string& out) {
    return out.substr(out.find("======", out.find("NAMELIST RHO,RH") + 40));
  }

  // The objects of "pairs", and a single-pair file from "roots" on.
  static std::vector<std::string> pair_objects(const std::string& json) {
    std::vector<std::string> objects;
    size_t k = json.find("\"pairs\": [");
    while (k != std::string::npos && (k = json.find("\n    {", k)) != std::string::npos) {
      const size_t e = json.find("\n    }", k);
      objects.push_back(json.substr(k + 6, e - k - 6));
      k = e;
    }
    return objects;
  }
  static std::string all_but_head(const std::string& json) {
    std::string s = json.substr(json.find("\"roots\""));
    return std::regex_replace(s, std::regex("\"units\": \"[^\"]*\","), "");
  }

  // Same members in the same order, numbers equal to 1e-12 relative.
  static void expect_same_json(const std::string& a, const std::string& b) {
    const std::regex number("-?[0-9][0-9.eE+-]*");
    auto skeleton = [&](const std::string& s) {
      std::string t = std::regex_replace(s, number, "#");
      auto layout = [](char ch) { return std::isspace(ch) || ch == '{' || ch == '}'; };
      t.erase(std::remove_if(t.begin(), t.end(), layout), t.end());
      return t;
    };
    auto all = [&](const std::string& s) {
      std::vector<double> v;
      for (auto it = std::sregex_iterator(s.begin(), s.end(), number);
           it != std::sregex_iterator(); ++it)
        v.push_back(std::stod(it->str()));
      return v;
    };
    EXPECT_EQ(skeleton(a), skeleton(b));
    expect_close(all(a), all(b));
  }
};

TEST_F(Spectrum, CompleteActiveSpaceWithTheStateItselfComputedAndStored) {
  make_case(describe(kFourSym, 3, -1, "CAS "));
  listed = {3, 1, 4, 2};
  for (int cr : {1, 0}) {
    SCOPED_TRACE("CALCRO=" + std::to_string(cr));
    calcro = cr;
    expect_every_pair_as_alone();
  }
  // The first pair a state density from the file, the others computed.
  listed = {1, 2};
  expect_every_pair_as_alone();
}

TEST_F(Spectrum, DdciVectorsOfDifferentSymmetryInOneOrManyPasses) {
  mkcase::Description d = describe(kFourSym, 4, 0, "DDCI");
  d.is0 = 2;
  d.is0a = 1;
  d.symxyz = {2, 3, 1};  // x carries the symmetry of the transitions
  make_case(d);
  listed = {2, 4, 1, 3};
  expect_every_pair_as_alone();
  // Room for one root at a time beside the work array: three passes for
  // the three roots past the first, and the same numbers to the bit.
  const auto one = run_with(racines());
  const auto many = run_with(racines(), 1);
  ASSERT_EQ(many->status, 0) << many->out.str();
  EXPECT_EQ(one->run->dens.passes, 1);
  EXPECT_EQ(many->run->dens.passes, 3);
  for (size_t k = 0; k < listed.size(); ++k)
    EXPECT_EQ(values(many->run->dens.pairs[k].moments), values(one->run->dens.pairs[k].moments));
}

// Every pair among the six roots of one CI run (one list and one vector
// file for both), in one run: each transition once, from the lower root to
// the higher whichever order the lists give, and each root with itself a
// state.  The table does not depend on the thread count, and the picture
// has a stick for each of the fifteen transitions.
TEST_F(Spectrum, AllPairsOfOneCiRun) {
  const struct {
    Layout layout;
    int nelac, ms2;
    const char* gener;
    std::vector<int> bras;
    int calcro;
  } cases[] = {{kFourSym, 4, 0, "DDCI", {1, 2, 3, 4, 5, 6}, 1},
               {kFourSym, 3, -1, "CAS ", {6, 5, 4, 3, 2, 1}, 1},
               {kTwoSym, 4, 0, "MRDD", {1, 2, 3, 4, 5, 6}, 0}};
  for (const auto& t : cases) {
    SCOPED_TRACE(t.gener);
    mkcase::Description d = describe(t.layout, t.nelac, t.ms2, t.gener);
    d.one_list = true;
    d.refs = {"2200", "2020"};
    if (t.gener[0] != 'M') d.refs.clear();
    make_case(d, 6);
    calcro = t.calcro;
    std::string roots = "RACINESA=";
    for (int r : t.bras) roots += std::to_string(r) + ",";
    roots += "\n RACINES=1,2,3,4,5,6,";
    std::vector<std::pair<int, int>> expected;
    for (int a : t.bras)
      for (int b = 1; b <= 6; ++b)
        if (const std::pair p(std::min(a, b), std::max(a, b));
            std::find(expected.begin(), expected.end(), p) == expected.end())
          expected.push_back(p);
    expect_pairs_as_alone(roots, expected, {t.bras.front(), 1});

    std::string tables[2];
    for (int threads : {1, 2}) {
      setenv("CIPROP_THREADS", std::to_string(threads).c_str(), 1);
      const auto o = run_with(roots);
      const std::string out = o->out.str();
      tables[threads - 1] = out.substr(out.find(" spectre :"));
    }
    unsetenv("CIPROP_THREADS");
    EXPECT_EQ(tables[0], tables[1]);
    std::ifstream f{std::string(kSpectrumPicture)};
    const std::string svg((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(test::xml_fault(svg), "");
    size_t sticks = 0;
    for (size_t k = 0; (k = svg.find("class=\"stick\"", k)) != std::string::npos; ++k) ++sticks;
    EXPECT_EQ(sticks, 15u);
  }
}

// Roots of two vector files of different symmetries: every listed root of
// the first against every listed root of the second, as listed, in one
// pass or, with room for one root of each file at a time, in four (two
// batches of the first file's roots, two of the second's), to the bit.
TEST_F(Spectrum, EveryRootOfTheFirstFileAgainstEveryListedRootOfTheSecond) {
  mkcase::Description d = describe(kFourSym, 4, 0, "DDCI");
  d.is0 = 2;
  d.is0a = 1;
  d.symxyz = {2, 3, 1};
  make_case(d);
  const std::string roots = "RACINESA=2,1,3,\n RACINES=1,3,4,";
  expect_pairs_as_alone(roots,
                        {{2, 1}, {2, 3}, {2, 4}, {1, 1}, {1, 3}, {1, 4}, {3, 1}, {3, 3}, {3, 4}});
  const auto one = run_with(roots);
  const auto many = run_with(roots, 1);
  ASSERT_EQ(many->status, 0) << many->out.str();
  EXPECT_EQ(one->run->dens.passes, 1);
  EXPECT_EQ(many->run->dens.passes, 4);
  for (size_t k = 0; k < one->run->dens.pairs.size(); ++k)
    EXPECT_EQ(values(many->run->dens.pairs[k].moments), values(one->run->dens.pairs[k].moments));
}

TEST_F(Spectrum, MultireferenceSpace) {
  mkcase::Description d = describe(kTwoSym, 4, 0, "MRDD");
  d.refs = {"2200", "2020"};
  make_case(d);
  listed = {4, 2, 1};
  calcro = 0;
  expect_every_pair_as_alone();
}

// A listed root that the second vector file does not hold is refused before
// the run reads its run description.
TEST_F(Spectrum, ARootBeyondTheFileIsRefusedBeforeAnyWork) {
  make_case(describe(kOneSym, 4, 0, "DDCI"));
  listed = {2, 5, 1};
  const auto o = run_with(racines());
  EXPECT_EQ(o->status, fio::kStatusError);
  EXPECT_NE(o->out.str().find("RACINES(2) = 5, but the vector file davecb holds 4 roots"),
            std::string::npos)
      << o->out.str();
  EXPECT_EQ(o->out.str().find("&VRT"), std::string::npos) << o->out.str();
  EXPECT_EQ(o->out.str().find("lecture des vecteurs"), std::string::npos);
}

}  // namespace
