// The property integrals in the orbital basis: generated MOLCAS files of
// every layout version and several symmetry groups, compared with C^T P C
// computed independently by dense products; the operator choice; and the
// damaged or missing files that must stop the run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <tuple>

#include "orbitals/molcas_run.hpp"
#include "tools/mkcase/make_case.hpp"

namespace {

using molcasrun::at;
using molcasrun::describe;
using molcasrun::expect_operators;
using molcasrun::slice;
using molcasrun::Stage;

struct Case {
  const char* name;
  mkcase::Description d;
};

std::vector<Case> cases() {
  return {
      {"version 5, one symmetry, frozen and deleted",
       describe(5, 1, {3}, {2}, {4}, {1}, {1}, {1, 1, 1}, 11)},
      {"version 4, two symmetries, z in symmetry 2",
       describe(4, 2, {2, 1}, {1, 1}, {3, 2}, {1, 0}, {0, 1}, {1, 1, 2}, 12)},
      {"version 54, four symmetries, no operator totally symmetric, symmetry 3 empty",
       describe(54, 4, {2, 1, 0, 1}, {1, 1, 0, 0}, {2, 2, 0, 1}, {0, 1, 0, 0}, {1, 0, 0, 0},
                {2, 3, 4}, 13)},
      {"version 54, eight symmetries",
       describe(54, 8, {1, 0, 1, 0, 1, 0, 0, 1}, {1, 1, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 0, 1, 1, 0},
                {1, 0, 0, 0, 0, 0, 0, 1}, {0, 0, 0, 1, 0, 0, 0, 1}, {2, 3, 5}, 14)},
      {"version 5, eight symmetries, larger blocks",
       describe(5, 8, {2, 1, 1, 0, 2, 1, 0, 1}, {2, 1, 1, 1, 0, 0, 1, 0}, {6, 5, 4, 3, 5, 4, 3, 2},
                {1, 1, 0, 0, 1, 0, 0, 0}, {1, 0, 1, 0, 0, 0, 0, 1}, {8, 4, 2}, 15)},
  };
}

TEST(Lirone, MoMatricesEqualTheDenseTransformInEveryLayout) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    Stage st(c.d);
    ASSERT_EQ(st.lirone(), 0) << st.err.str();
    ciprop::Run& r = *st.run;
    EXPECT_EQ(r.sym.nsym, c.d.nsym);
    EXPECT_EQ(r.orbi.nbtot, st.m.nbtot);
    for (int s = 1; s <= c.d.nsym; ++s) EXPECT_EQ(r.orbi.nbas(s), c.d.nbas(s));
    EXPECT_EQ(r.symxxyyzz(1), st.m.symmetry[4]);
    EXPECT_EQ(r.symxxyyzz(2), st.m.symmetry[5]);
    EXPECT_EQ(r.symxxyyzz(3), st.m.symmetry[7]);
    expect_operators(st, 0);
  }
}

// The transformation as plain quadruple loops per block, sums from zero in
// the order mu (outer), nu (inner): the program must give the same bits.
void plain_calij(ciprop::Run& r, double* a, const double* p, int g, int n) {
  const auto& nb = r.ints.nb;
  const auto& c = r.ints.orb;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) a[(i - 1) + 500 * (j - 1)] = 0.0;
  long offb = 0;
  for (int s = 1; s <= r.sym.nsym; ++s) {
    const int t = r.sym.mult(s, g);
    if (t > s || (g != 1 && t == s)) continue;
    const int os = r.ints.ioffo(s), ot = r.ints.ioffo(t);
    for (int i = 1; i <= nb(s); ++i)
      for (int j = 1; j <= nb(t); ++j) {
        double sum = 0.0;
        for (int mu = 1; mu <= nb(s); ++mu)
          for (int nu = 1; nu <= nb(t); ++nu) {
            const int hi = std::max(mu, nu), lo = std::min(mu, nu);
            const double pmn = g == 1 ? p[r.ints.ioffp(s) + hi * (hi - 1) / 2 + lo - 1]
                                      : p[offb + (mu - 1) + (nu - 1) * nb(s)];
            sum += c(mu, os + i) * c(nu, ot + j) * pmn;
          }
        a[(ot + j - 1) + 500 * (os + i - 1)] = sum;
      }
    if (g != 1) offb += nb(s) * nb(t);
  }
  for (int i = 1; i <= n; ++i)
    for (int k = 1; k <= i; ++k) a[(i - 1) + 500 * (k - 1)] = a[(k - 1) + 500 * (i - 1)];
}

TEST(Lirone, TransformationGivesTheBitsOfThePlainLoops) {
  mkcase::Description big = describe(5, 1, {4}, {3}, {6}, {0}, {0}, {1, 1, 1}, 16);
  for (const mkcase::Description& d : {big, cases()[1].d, cases()[2].d, cases()[4].d}) {
    Stage st(d);
    ASSERT_EQ(st.lirone(), 0) << st.err.str();
    ciprop::Run& r = *st.run;
    const double* packed[9] = {r.ints.pxq.data(),  r.ints.pyq.data(),  r.ints.pzq.data(),
                               r.ints.pxxq.data(), r.ints.pxyq.data(), r.ints.pxzq.data(),
                               r.ints.pyyq.data(), r.ints.pyzq.data(), r.ints.pzzq.data()};
    std::vector<double> want(500 * 500);
    for (int c = 0; c < mkcase::kComponents; ++c) {
      SCOPED_TRACE(mkcase::kComponentNames[c]);
      plain_calij(r, want.data(), packed[c], st.m.symmetry[c], r.ints.ntot);
      const double* got = slice(r, c);
      for (int j = 1; j <= r.ints.ntot; ++j)
        for (int i = 1; i <= r.ints.ntot; ++i)
          ASSERT_EQ(got[(i - 1) + 500 * (j - 1)], want[(i - 1) + 500 * (j - 1)]) << i << "," << j;
    }
  }
}

TEST(Lirone, IoperChoosesTheOperatorsButTheOrbitalsAreAlwaysRead) {
  for (int ioper : {1, 2, 3, -1}) {
    SCOPED_TRACE(ioper);
    mkcase::Description d = cases()[1].d;
    d.ioper = ioper;
    Stage st(d);
    ASSERT_EQ(st.lirone(), 0) << st.err.str();
    expect_operators(st, ioper);
  }
}

TEST(Lirone, ReportOfTheCountsAndTheTitles) {
  mkcase::Description d = cases()[1].d;  // version 4, nbas 7 and 5, ngel 1 0, ndel 0 1
  Stage st(d);
  ASSERT_EQ(st.lirone(), 0) << st.err.str();
  auto lines = test::split_lines(st.out.str());
  auto has = [&](const std::string& l) {
    return std::find(lines.begin(), lines.end(), l) != lines.end();
  };
  EXPECT_TRUE(has(" nombre de symetries 2"));
  EXPECT_TRUE(has("  nombre d'orbitales par symetrie avant gel"));
  EXPECT_TRUE(has("  nombre d'orbitales par symetrie apres gel"));
  EXPECT_TRUE(has("   7   5"));
  EXPECT_TRUE(has("   6   4"));
  EXPECT_TRUE(has("  nombre d'orbitales gelees      1   0"));
  EXPECT_TRUE(has("  nombre d'orbitales detruites      0   1"));
  EXPECT_TRUE(has(st.m.title.substr(0, 73)));
  EXPECT_TRUE(has(st.m.title.substr(73)));
  EXPECT_TRUE(has(" nombre d orbitales par symetrie 7 5"));
  EXPECT_TRUE(has(" nombre d orbitales 12"));
  EXPECT_TRUE(has(" version de Molcas = 4"));
  EXPECT_TRUE(has(" valor de molvar = 1024"));
  std::string orbtitle = st.m.orbital_title;
  orbtitle.resize(40, ' ');
  EXPECT_TRUE(has(" orbitales lues :" + orbtitle));
}

TEST(Lirone, VersionComesFromTheCostGroup) {
  mkcase::Description files = cases()[1].d;  // version 4
  Stage st(files, " &COST MOLCAS=4 &END\n");
  st.run->hacer.molcas = 5;                   // what "&RHC" said
  ASSERT_EQ(st.lirone(), 0) << st.err.str();
  EXPECT_EQ(st.run->hacer.molcas, 4);
  expect_operators(st, 0);

  Stage unknown(files, " &COST MOLCAS=6 &END\n");
  EXPECT_EQ(unknown.lirone(), fio::kStatusError);
  EXPECT_NE(unknown.out.str().find("version de Molcas non prevue : 6"), std::string::npos);
}

TEST(Lirone, Version54TakesTheEighthSymmetryFromTheOrbitalCounts) {
  Stage st(cases()[3].d);
  // Whatever the eighth entries of TraOne hold is not read.
  st.put_int("TraOne", 300, 77);
  st.put_int("TraOne", 332, 99);
  ASSERT_EQ(st.lirone(), 0) << st.out.str() << st.err.str();
  EXPECT_EQ(st.run->orbi.nbas(8), st.d.nbas(8));
  expect_operators(st, 0);
}

TEST(Lirone, FrozenAndDeletedCountsMustMatchTheIntegralFiles) {
  mkcase::Description d = cases()[1].d;
  Stage st(d);
  st.run->orbi.ngel(2) = 1;  // TraOne keeps 4 of the 5 orbitals of symmetry 2
  EXPECT_EQ(st.lirone(), fio::kStatusError);
  const std::string out = st.out.str();
  EXPECT_NE(out.find("  \n"
                     " *************************************\n"
                     " symetrie 2\n"
                     " mauvais nombre d'orbitales gelees et/ou detruites\n"
                     " ngel+ndel= 2, devrait valoir 1\n"
                     " *************************************\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("symetrie 1\n"), std::string::npos);
  EXPECT_NE(st.err.str().find("ciprop: MOLCAS file TraOne '"), std::string::npos) << st.err.str();
  EXPECT_NE(st.err.str().find("symmetry 2: 2 frozen and deleted in &RHO, 1 in TraOne"),
            std::string::npos)
      << st.err.str();
}

// A damaged case must stop with a non-zero status and a message naming what
// is wrong; `where` is looked for in standard error (or standard output for
// refusals that are not input/output errors).
void expect_stop(const char* what, const mkcase::Description& d,
                 const std::function<void(Stage&)>& damage, int status, const std::string& where) {
  SCOPED_TRACE(what);
  Stage st(d);
  damage(st);
  EXPECT_EQ(st.lirone(), status);
  const std::string text = status == fio::kStatusIoError ? st.err.str() : st.out.str();
  EXPECT_NE(text.find(where), std::string::npos) << text;
}

TEST(Lirone, MissingOrShortMolcasFilesStopTheRun) {
  const auto v5 = cases()[0].d, v4 = cases()[1].d, v54 = cases()[2].d;
  const int io = fio::kStatusIoError;
  expect_stop("no OneInt", v5, [](Stage& s) { std::filesystem::remove(s.dir.path() / "OneInt"); },
              io, "OneInt '");
  expect_stop("no TraOne", v4, [](Stage& s) { std::filesystem::remove(s.dir.path() / "TraOne"); },
              io, "TraOne");
  expect_stop("no ComFile, version 54", v54,
              [](Stage& s) { std::filesystem::remove(s.dir.path() / "ComFile"); }, io, "ComFile");
  expect_stop("OneInt ends inside the last nuclear value", v5,
              [](Stage& s) { s.truncate("OneInt", s.size("OneInt") - 4); }, io,
              "OneInt '");
  expect_stop("OneInt ends inside its header", v4, [](Stage& s) { s.truncate("OneInt", 2000); },
              io, "OneInt '");
  expect_stop("TraOne ends before the kept-orbital counts", v5,
              [](Stage& s) { s.truncate("TraOne", 310); }, io, "TraOne '");
  expect_stop("OneInt's basis counts split otherwise than TraOne's", v4,
              [](Stage& s) {
                s.put_int("OneInt", 2752, 6);
                s.put_int("OneInt", 2756, 5);
              },
              fio::kStatusError, "basis count 6 of symmetry 1, TraOne has 7");
  expect_stop("y at the address of x", v5,
              [](Stage& s) {
                int32_t x;
                std::memcpy(&x, s.dir.read("OneInt").data() + 192 + 20, 4);
                s.put_int("OneInt", 192 + 40, x);
              },
              fio::kStatusError, "the integrals of x (table of contents entry 2) share their address");
  expect_stop("ComFile without its NBAS label", v54,
              [](Stage& s) { s.put_int("ComFile", 80, 0x20202020); }, fio::kStatusError,
              "no label \"NBAS\"");
  expect_stop("more than 500 basis functions", v4,
              [](Stage& s) {
                // OneInt's counts, TraOne's, and its kept orbitals (1 frozen, 1 deleted).
                for (auto [file, at, v] : {std::tuple{"OneInt", 2752, 300}, {"OneInt", 2756, 201},
                                           {"TraOne", 268, 300}, {"TraOne", 272, 201},
                                           {"TraOne", 300, 299}, {"TraOne", 304, 200}})
                  s.put_int(file, at, v);
              },
              fio::kStatusError,
              "nombre total d'orbitales trop grand : 501");
}

// Files of the older layouts that contradict the keys or the version of the
// run: the stop names the key or both versions, not a damaged file.
TEST(Lirone, OldFilesRefuseKeysAndVersionsThatAreNotTheirs) {
  mkcase::Description v5 = cases()[2].d;  // x, y, z of symmetries 2, 3, 4
  v5.molcas = 5;
  expect_stop("ISX and ISY swapped", v5,
              [](Stage& s) { std::swap(s.run->symxyz(1), s.run->symxyz(2)); }, fio::kStatusError,
              "holds a component of symmetry 2: the symmetry ISX gives x does not match");
  expect_stop("a OneInt of version 5 read as 54", cases()[2].d,
              [&](Stage& s) {
                std::filesystem::copy_file(Stage(v5).dir.path() / "OneInt", s.dir.path() / "OneInt",
                                           std::filesystem::copy_options::overwrite_existing);
              },
              fio::kStatusError, "no label \"MLTPL 0\" in its first 672 bytes, where version 54");
}

TEST(Lirone, OrbitalFileMustHoldEveryOrbitalOfTheBasis) {
  const auto d = cases()[1].d;
  const int io = fio::kStatusIoError;
  auto rewrite = [](Stage& s, const std::function<void(std::vector<std::string>&)>& edit) {
    s.edit_lines("INPORB", edit);
  };
  expect_stop("last record missing", d,
              [&](Stage& s) { rewrite(s, [](auto& l) { l.pop_back(); }); }, io, "unit 1");
  expect_stop("a coefficient garbled", d,
              [&](Stage& s) { rewrite(s, [](auto& l) { l[3][5] = 'x'; }); }, io,
              "coefficient 5 of orbital 1 of symmetry 1");
  expect_stop("a record cut short", d,
              [&](Stage& s) { rewrite(s, [](auto& l) { l[2].resize(36); }); }, io,
              "coefficient 3 of orbital 1 of symmetry 1");
  expect_stop("a symmetry with fewer orbitals", d,
              [&](Stage& s) { rewrite(s, [](auto& l) { l.erase(l.begin() + 1, l.begin() + 3); }); },
              io, "INPORB");
  expect_stop("no orbital file at all", d,
              [](Stage& s) {
                s.open();
                s.run->io.close(1);
                s.run->orbnom(2) = "RasOrb";
              },
              io, "INPORB, RasOrb");
}

// The whole program on a generated run folder missing one of its MOLCAS
// inputs: no report that could pass for a result, a non-zero status and the
// missing file named on standard error.
TEST(Lirone, WholeRunWithoutAnIntegralOrOrbitalFileFails) {
  mkcase::Description d = cases()[1].d;
  d.nelac = 2;
  d.root2 = 2;
  for (const char* missing : {"OneInt", "TraOne", "INPORB"}) {
    SCOPED_TRACE(missing);
    test::ScratchDir dir;
    mkcase::make_case(d, dir.path().string());
    std::filesystem::remove(dir.path() / missing);
    auto r = test::run_binary(dir, dir.read("input"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(missing), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Todos los valores"), std::string::npos);
    EXPECT_NE(test::split_lines(r.out).back(), " FIN");
  }
}

TEST(Lird, ReadsFortranNumericFields) {
  struct {
    const char* field;
    double value;
  } good[] = {
      {"0.500000000000D+00", 0.5},     {"-.500000000000D+00", -0.5},
      {"0.100000000000-119", 1e-120},  {"0.123456789012D+03", 123.456789012},
      {"  1.5e3           ", 1500.0},  {" -2.5d-1", -0.25},
      {"+7.0Q1", 70.0},                {"1 . 2 5", 1.25},
      {"125", 125e-12},                {"125E2", 125e-10},
  };
  for (const auto& g : good) {
    double v = -99;
    EXPECT_TRUE(ciprop::lird(g.field, 12, v)) << g.field;
    EXPECT_EQ(v, g.value) << g.field;
  }
  for (const char* bad : {"", "                  ", "1.2.3", "abc", "1.0E", "1.0D+", "--1", ".",
                          "1.0 x", "0.5D+00*"}) {
    double v = 0;
    EXPECT_FALSE(ciprop::lird(bad, 12, v)) << bad;
  }
}

}  // namespace
