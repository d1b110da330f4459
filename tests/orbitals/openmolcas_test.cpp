// The files of current OpenMolcas (MOLCAS=22) and the #INPORB orbital
// files: generated cases of every symmetry count compared with C^T P C
// computed by dense products, the layouts recognised from the files, and the
// damaged or contradictory files that must stop the run naming the file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "orbitals/molcas_run.hpp"
#include "tools/mkcase/make_case.hpp"

namespace {

using molcasrun::describe;
using molcasrun::expect_operators;
using molcasrun::Stage;

// Between them the operators of these cases take every symmetry 1..8; odd
// seeds write SEWARD's order of the table of contents, even ones another.
const mkcase::Description kOne = describe(22, 1, {3}, {2}, {4}, {1}, {1}, {1, 1, 1}, 21);
const mkcase::Description kTwo =
    describe(22, 2, {2, 1}, {1, 1}, {3, 2}, {1, 0}, {0, 1}, {1, 2, 2}, 22);
const mkcase::Description kFour = describe(22, 4, {2, 1, 0, 1}, {1, 1, 0, 0}, {2, 2, 0, 1},
                                           {0, 1, 0, 0}, {1, 0, 0, 1}, {2, 3, 4}, 23);
const mkcase::Description kEight =
    describe(22, 8, {1, 0, 1, 0, 1, 0, 0, 1}, {1, 1, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 0, 1, 1, 0},
             {1, 0, 0, 0, 0, 0, 0, 1}, {0, 0, 0, 1, 0, 0, 0, 1}, {2, 3, 5}, 24);
const mkcase::Description kEightOther =
    describe(22, 8, {2, 1, 1, 0, 2, 1, 0, 1}, {2, 1, 1, 1, 0, 0, 1, 0}, {6, 5, 4, 3, 5, 4, 3, 2},
             {1, 1, 0, 0, 1, 0, 0, 0}, {1, 0, 1, 0, 0, 0, 0, 1}, {8, 4, 2}, 25);

TEST(OpenMolcas, MoMatricesEqualTheDenseTransformForEverySymmetryCount) {
  for (const auto& d : {kOne, kTwo, kFour, kEight, kEightOther}) {
    SCOPED_TRACE(d.nsym);
    Stage st(d);
    ASSERT_EQ(st.lirone(), 0) << st.out.str() << st.err.str();
    ciprop::Run& r = *st.run;
    EXPECT_EQ(r.sym.nsym, d.nsym);
    EXPECT_EQ(r.orbi.nbtot, st.m.nbtot);
    for (int s = 1; s <= d.nsym; ++s) EXPECT_EQ(r.ints.nb(s), d.nbas(s));
    expect_operators(st, 0);
  }
}

bool has_line(const std::string& out, const std::string& line) {
  const auto lines = test::split_lines(out);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(OpenMolcas, ReportShowsTheRunFileTitleAndTheAddressUnit) {
  Stage st(kTwo);
  ASSERT_EQ(st.lirone(), 0) << st.err.str();
  const std::string out = st.out.str();
  EXPECT_TRUE(has_line(out, st.m.title.substr(0, 73))) << out;
  EXPECT_TRUE(has_line(out, st.m.title.substr(73))) << out;
  EXPECT_TRUE(has_line(out, " version de Molcas = 22"));
  EXPECT_TRUE(has_line(out, " valor de molvar = 512"));
  EXPECT_TRUE(has_line(out, " nombre de symetries 2"));
  EXPECT_TRUE(has_line(out, "  nombre d'orbitales gelees      1   0"));
  EXPECT_TRUE(has_line(out, "  nombre d'orbitales detruites      0   1"));
  // The overlap is the first record after the table of contents.
  EXPECT_EQ(st.run->ints.itoc(1), 2768);
  std::string title = st.m.orbital_title;
  title.resize(40, ' ');
  EXPECT_TRUE(has_line(out, " orbitales lues :" + title));

  // Without a RunFile the title is blank and nothing else changes.
  Stage bare(kTwo);
  std::filesystem::remove(bare.dir.path() / "RunFile");
  ASSERT_EQ(bare.lirone(), 0) << bare.err.str();
  EXPECT_TRUE(has_line(bare.out.str(), std::string(73, ' ')));
  expect_operators(bare, 0);
}

TEST(OpenMolcas, InporbLayoutsAreReadForEveryVersion) {
  struct {
    int version;
    const char* inporb;
    bool without_deleted;
  } layouts[] = {{5, "1.1", false}, {54, "2.0", false}, {4, "2.1", true},
                 {22, "1.0", false}, {22, "2.2", true}};
  for (const auto& l : layouts) {
    SCOPED_TRACE(std::to_string(l.version) + " " + l.inporb);
    mkcase::Description d = l.version == 22 ? kFour : kFour;
    d.molcas = l.version;
    d.inporb = l.inporb;
    d.inporb_without_deleted = l.without_deleted;
    Stage st(d);
    ASSERT_EQ(st.lirone(), 0) << st.out.str() << st.err.str();
    expect_operators(st, 0);
    if (l.without_deleted) {
      // The deleted orbitals are absent from the file and zero here: the
      // last orbital of symmetries 1 and 4.
      const int last1 = st.m.nb[0], last4 = st.m.nbtot;
      for (int mu = 1; mu <= st.m.nb[0]; ++mu) EXPECT_EQ(st.run->ints.orb(mu, last1), 0.0);
      for (int mu = 1; mu <= st.m.nb[3]; ++mu) EXPECT_EQ(st.run->ints.orb(mu, last4), 0.0);
    }
  }
}

// A damaged case must stop with a non-zero status and name what is wrong on
// standard error.
void expect_stop(const char* what, const mkcase::Description& d,
                 const std::function<void(Stage&)>& damage, const std::string& where) {
  SCOPED_TRACE(what);
  Stage st(d);
  damage(st);
  EXPECT_NE(st.lirone(), 0);
  EXPECT_NE(st.err.str().find(where), std::string::npos) << st.err.str() << st.out.str();
}

void copy_from(Stage& to, const mkcase::Description& d, const char* file) {
  Stage other(d);
  std::filesystem::copy_file(other.dir.path() / file, to.dir.path() / file,
                             std::filesystem::copy_options::overwrite_existing);
}

TEST(OpenMolcas, MolcasVersionAndFilesMustAgree) {
  mkcase::Description old = kFour;
  old.molcas = 5;
  expect_stop("old files read as current ones", old,
              [](Stage& s) { s.run->hacer.molcas = 22; },
              "not a TraOne of current OpenMolcas (MOLCAS=22)");
  expect_stop("current files read as old ones", kFour,
              [](Stage& s) { s.run->hacer.molcas = 5; },
              "TraOne '" );
  expect_stop("current files read as old ones: the message", kFour,
              [](Stage& s) { s.run->hacer.molcas = 54; },
              "file of current OpenMolcas (MOLCAS=22), but the run reads MOLCAS=54");
  expect_stop("an old OneInt among current files", kFour,
              [&](Stage& s) { copy_from(s, old, "OneInt"); },
              "OneInt '" );
  expect_stop("an old OneInt among current files: the message", kFour,
              [&](Stage& s) { copy_from(s, old, "OneInt"); },
              "an old MOLCAS layout (MOLCAS=4, 5 or 54), but the run reads MOLCAS=22");
  expect_stop("a current OneInt among old files", old,
              [&](Stage& s) { copy_from(s, kFour, "OneInt"); },
              "file of current OpenMolcas (MOLCAS=22), but the run reads MOLCAS=5");
  expect_stop("an orbital file without #INPORB header", kFour,
              [&](Stage& s) { copy_from(s, old, "INPORB"); },
              "no #INPORB header: an orbital file of an old MOLCAS layout");
}

TEST(OpenMolcas, SymmetriesOfTheRunMustBeThoseOfOneInt) {
  expect_stop("ISX contradicts the file", kFour, [](Stage& s) { s.run->symxyz(1) = 3; },
              "component x (entry 2 of itoc) is of symmetry 2 in the file, the run gives it "
              "symmetry 3 (ISX)");
  expect_stop("ISZ contradicts the file", kEight, [](Stage& s) { s.run->symxyz(3) = 1; },
              "is of symmetry 5 in the file, the run gives it symmetry 1 (ISZ)");
  expect_stop("a product table other than OpenMolcas's", kEight,
              [](Stage& s) {
                // The same group with the irreps 4 and 5 named the other way,
                // which no relabelling of OpenMolcas's own order gives.
                const int p[9] = {0, 1, 2, 3, 5, 4, 6, 7, 8};
                auto& m = s.run->sym.mult;
                for (int a = 1; a <= 8; ++a)
                  for (int b = 1; b <= 8; ++b) m(a, b) = p[((p[a] - 1) ^ (p[b] - 1)) + 1];
              },
              "symmetry product table of the Info file is not OpenMolcas's");
}

TEST(OpenMolcas, TruncatedOrInconsistentFilesAreRefusedNamingThem) {
  const long kTocEnd = 1417216;
  expect_stop("OneInt ends inside its table of contents", kTwo,
              [&](Stage& s) { s.truncate("OneInt", kTocEnd - 8); }, "OneInt '");
  expect_stop("OneInt ends inside the overlap", kTwo,
              [&](Stage& s) { s.truncate("OneInt", kTocEnd + 100); }, "OneInt '");
  expect_stop("TraOne ends before the deleted counts", kTwo,
              [](Stage& s) { s.truncate("TraOne", 3000); }, "TraOne '");
  expect_stop("no dipole z in the table of contents", kOne,
              [](Stage& s) { s.put_int("OneInt", 168 + 40 * 4 + 7, 0x33 << 0); },
              "no component z (entry 4 of itoc) in the table of contents");
  expect_stop("frozen and deleted counts swapped", kOne,
              [](Stage& s) {
                s.run->orbi.ngel(1) = 2;
                s.run->orbi.ndel(1) = 0;
              },
              "symmetry 1 has 1 frozen and 1 deleted orbitals in MOTRA, NGEL and NDEL give 2 "
              "and 0");
  // Records are padded to 512 bytes: ten more functions overrun them.
  auto bigger_basis = [](Stage& s) {
    s.put_int64("TraOne", 1536, s.d.nbas(1) + 10);
    s.put_int64("TraOne", 2048, s.d.nbas(1) + 10 - s.d.ngel[0] - s.d.ndel[0]);
  };
  expect_stop("TraOne's basis count against the RunFile's", kTwo, bigger_basis,
              "RunFile '");
  expect_stop("TraOne's basis count against OneInt's records", kTwo,
              [&](Stage& s) {
                bigger_basis(s);
                std::filesystem::remove(s.dir.path() / "RunFile");
              },
              "past the next record");
  expect_stop("a RunFile that is not one", kTwo, [](Stage& s) { s.put_int("RunFile", 0, 7); },
              "not a RunFile");
}

// The byte of a word of the RunFile's tables (0 addresses, 1 lengths,
// 3 types) for the slot of a label; the tables' blocks are header words 6 to 9.
long runfile_word(const Stage& s, const std::string& label, int table) {
  const std::string b = s.dir.read("RunFile");
  auto word = [&](size_t at) {
    int64_t v;
    std::memcpy(&v, b.data() + at, 8);
    return static_cast<size_t>(v);
  };
  const size_t slot = b.find((label + std::string(16, ' ')).substr(0, 16), 512 * word(32));
  return static_cast<long>(512 * word(40 + 8 * table) + 8 * ((slot - 512 * word(32)) / 16));
}

// Every record and disk address is checked against what is read there
// before it is used: a type word, a length, an address past the file's end
// or beyond the four-byte range.
TEST(OpenMolcas, RecordsAndDiskAddressesAreCheckedBeforeUse) {
  const int64_t huge = int64_t{1} << 55;  // times 512 overflows
  const struct {
    const char* what;
    std::function<void(Stage&)> damage;
    const char* where;
  } rows[] = {
      {"nBas of characters",
       [](Stage& s) { s.put_int64("RunFile", runfile_word(s, "nBas", 3), 3); },
       "record \"nBas\" (slot 1018) has the type 3 (characters), 1 (integers) expected"},
      {"nBas shorter than nSym",
       [](Stage& s) { s.put_int64("RunFile", runfile_word(s, "nBas", 1), 1); },
       "record \"nBas\" holds 1 basis counts for the 2 symmetries"},
      {"nBas past the end",
       [&](Stage& s) { s.put_int64("RunFile", runfile_word(s, "nBas", 0), huge); },
       "record \"nBas\" (slot 1018) has the disk address 36028797018963968"},
      {"the label table past the end", [&](Stage& s) { s.put_int64("RunFile", 32, huge); },
       "the table of labels (header word 5) has the disk address 36028797018963968"},
      {"an entry at the address of the one before",
       [](Stage& s) {
         int64_t x;
         std::memcpy(&x, s.dir.read("OneInt").data() + 280, 8);
         s.put_int64("OneInt", 320, x);
       },
       "and entry 4 (MLTPL  2) have the same disk address"},
      {"an OneInt address beyond 2^32",
       [](Stage& s) { s.put_int64("OneInt", 200, (int64_t{1} << 32) + 2768); },
       "entry 1 (MLTPL  0) has the disk address 4294970064"},
  };
  for (const auto& row : rows) expect_stop(row.what, kTwo, row.damage, row.where);
}

TEST(OpenMolcas, DamagedInporbFilesAreRefusedNamingThem) {
  auto rewrite = [](Stage& s, const std::function<void(std::vector<std::string>&)>& edit) {
    s.edit_lines("INPORB", edit);
  };
  // Lines: 0 #INPORB, 1 #INFO, 2 title, 3 UHF NSYM WFTYPE, 4 NBAS, 5 NORB,
  // ..., 10 #ORB, 11 the heading of the first orbital, 12 its coefficients.
  const struct {
    const char* what;
    std::function<void(std::vector<std::string>&)> edit;
    const char* where;
  } cases[] = {
      {"unknown version", [](auto& l) { l[0] = "#INPORB 3.0"; }, "version '3.0' unknown"},
      {"unrestricted", [](auto& l) { l[3] = "       1       2       0"; }, "unrestricted"},
      {"basis count", [](auto& l) { l[4] = l[4].substr(0, 8) + "       6"; },
       "NBAS 6 of symmetry 2"},
      {"too few orbitals", [](auto& l) { l[5] = l[5].substr(0, 8) + "       3"; },
       "NORB 3 of symmetry 2"},
      {"headings out of order", [](auto& l) { l[11] = "* ORBITAL    1    2"; },
       "where orbital 1 of symmetry 1 belongs"},
      {"a coefficient garbled", [](auto& l) { l[12][5] = 'x'; }, "coefficient 1 of orbital 1"},
      {"ends in the orbitals",
       [](auto& l) {
         while (l.back() != "#OCC") l.pop_back();
         l.pop_back();
         l.pop_back();
       },
       "end of file before"},
      {"next section too early",
       [](auto& l) {
         auto occ = std::find(l.begin(), l.end(), "#OCC");
         l.erase(occ - 1);
       },
       "section #OCC reached"},
      {"the last line of the last orbital written twice",
       [](auto& l) {
         auto occ = std::find(l.begin(), l.end(), "#OCC");
         l.insert(occ, *(occ - 1));
       },
       "more coefficients of orbital 5 of symmetry 2 than the 5 basis functions of its symmetry"},
      {"a coefficient added to a line", [](auto& l) { l[13] += "  1.00000000000000E+00"; },
       "more coefficients of orbital 1 of symmetry 1 than the 7 basis functions"},
      {"an orbital more than NORB",
       [](auto& l) {
         auto occ = std::find(l.begin(), l.end(), "#OCC");
         l.insert(occ, {"* ORBITAL    2    6", *(occ - 1)});
       },
       "heading '* ORBITAL    2    6' after the last orbital that NORB of #INFO announces"},
  };
  for (const auto& c : cases)
    expect_stop(c.what, kTwo, [&](Stage& s) { rewrite(s, c.edit); }, std::string(c.where));
  // Every failure names the unit and the file.
  expect_stop("named", kTwo, [&](Stage& s) { rewrite(s, cases[2].edit); }, "unit 1, file '");
}

}  // namespace

namespace {

// The numbers of the report line that starts with the label.
std::vector<double> report_row(const std::string& out, const std::string& label) {
  std::vector<double> v;
  for (const auto& line : test::split_lines(out)) {
    const auto start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, label.size() + 1, label + " ") != 0)
      continue;
    std::istringstream s(line.substr(start + label.size()));
    for (double x; s >> x;) v.push_back(x);
  }
  return v;
}

// The whole program on a generated case whose files carry OpenMolcas's
// names ($Project.OneInt ...), found through PREFIX: the printed moments
// are the generator's brute-force ones.
TEST(OpenMolcas, WholeRunWithOpenMolcasNamesUnderPrefix) {
  mkcase::Description d = kFour;
  d.nelac = 2;
  d.nroots = 2;
  d.root1 = 1;
  d.root2 = 2;
  test::ScratchDir dir;
  mkcase::make_case(d, dir.path().string());
  const std::pair<const char*, const char*> names[] = {
      {"OneInt", "OneInt"}, {"TraOne", "TraOne"}, {"RunFile", "RunFile"}, {"INPORB", "RasOrb"},
      {"vrt", "vrt"},       {"Info", "Info"},     {"deta", "deta"},       {"detb", "detb"},
      {"daveca", "daveca"}, {"davecb", "davecb"}, {"dens", "dens"}};
  for (const auto& [from, to] : names)
    std::filesystem::rename(dir.path() / from, dir.path() / (std::string("water.") + to));
  std::string input = dir.read("input");
  input.replace(input.find("&ROFIL"), 6, "&ROFIL PREFIX='water.',");
  const auto r = test::run_binary(dir, input);
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_NE(r.out.find("ouverture de la file water.RunFile"), std::string::npos);
  EXPECT_NE(r.out.find("0pen filewater.RasOrb"), std::string::npos);
  int compared = 0;
  for (const auto& line : test::split_lines(dir.read("expected"))) {
    std::istringstream s(line);
    std::string name;
    s >> name;
    if (name.rfind("mu", 0) != 0) continue;
    std::vector<double> want;
    for (double x; s >> x;) want.push_back(x);
    const auto got = report_row(r.out, name);
    ASSERT_EQ(got.size(), 3u) << name;
    EXPECT_NEAR(got[0], want[0], 1e-12 * std::max(1.0, std::fabs(want[0]))) << name;
    EXPECT_NEAR(got[1], want[1], 1e-7 * std::max(1.0, std::fabs(want[1]))) << name;
    ++compared;
  }
  EXPECT_EQ(compared, 9);
}

}  // namespace
