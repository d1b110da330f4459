// The natural orbitals and natural transition orbitals that a run writes:
// read back from the files as any program reads them, they give back the
// density the run formed, are orthonormal in the overlap of the basis, and
// give the report's moments with the integrals of the basis; a run on the
// natural orbitals gives the same moments again.
#include "density/natural_orbitals.hpp"

#include <Eigen/Dense>
#include <cstring>
#include <regex>

#include "density/generated_run.hpp"
#include "density/results_file.hpp"

namespace {

using namespace ciprop;
using generated::DensityRun;
using Matrix = Eigen::MatrixXd;
namespace fs = std::filesystem;

// An #INPORB 2.x file as OpenMolcas reads one: the counts of #INFO, then
// the coefficients of #ORB (nbas x norb per symmetry) and the numbers of
// #OCC, past the lines that begin with '*'.
struct OrbitalFile {
  std::vector<Matrix> coef;
  std::vector<std::vector<double>> occ;
};

OrbitalFile read_orbital_file(const std::string& text) {
  auto numbers = [&](const char* section) {
    std::istringstream in(text.substr(text.find(section) + 1));
    std::string line, kept;
    for (std::getline(in, line); std::getline(in, line) && line[0] != '#';)
      if (line[0] != '*') kept += line + "\n";
    return std::istringstream(kept);
  };
  std::istringstream info = numbers("\n#INFO"), orb = numbers("\n#ORB"), occ = numbers("\n#OCC");
  int uhf = 0, nsym = 0, kind = 0;
  info >> uhf >> nsym >> kind;
  std::vector<int> nbas(static_cast<size_t>(nsym)), norb(nbas);
  for (int& n : nbas) info >> n;
  for (int& n : norb) info >> n;
  OrbitalFile f;
  for (int s = 0; s < nsym; ++s) {
    f.coef.emplace_back(nbas[size_t(s)], norb[size_t(s)]);
    for (int m = 0; m < norb[size_t(s)]; ++m)
      for (int mu = 0; mu < nbas[size_t(s)]; ++mu) orb >> f.coef.back()(mu, m);
    f.occ.emplace_back(size_t(norb[size_t(s)]));
    for (double& x : f.occ.back()) occ >> x;
  }
  return f;
}

// A packed matrix of the integral stage (the lower triangles of a totally
// symmetric operator, the rectangles t < s of another) over the whole basis.
Matrix unpacked(const ciprop::Run& r, const double* p, int g) {
  const OrbitalRecords& o = r.ints;
  Matrix a = Matrix::Zero(o.ntot, o.ntot);
  long next = 0;
  for (int s = 1; s <= r.sym.nsym; ++s) {
    const int t = r.sym.mult(s, g);
    if (t > s || (t == s && g != 1)) continue;
    for (int mu = 1; mu <= o.nb(s); ++mu)
      for (int nu = 1; nu <= (g == 1 ? mu : o.nb(t)); ++nu)
        a(o.ioffo(s) + mu - 1, o.ioffo(t) + nu - 1) = a(o.ioffo(t) + nu - 1, o.ioffo(s) + mu - 1) =
            g == 1 ? p[o.ioffp(s) + mu * (mu - 1) / 2 + nu - 1]
                   : p[next + (mu - 1) + (nu - 1) * o.nb(s)];
    if (g != 1) next += long(o.nb(s)) * o.nb(t);
  }
  return a;
}

void expect_orbitals(const BlockOrbitals& o, const std::vector<std::vector<double>>& columns,
                     const std::vector<double>& values) {
  for (int k = 0; k < o.n; ++k) {
    EXPECT_NEAR(o.values[size_t(k)], values[size_t(k)], 1e-15) << k;
    for (int i = 0; i < o.n; ++i)
      EXPECT_NEAR(o.vectors[size_t(k * o.n + i)], columns[size_t(k)][size_t(i)], 1e-14)
          << k << "," << i;
  }
}

// Where the decompositions leave a choice: orbitals the density couples to
// no other stay those of the orbital file; values descend, equal ones (to
// 1e-10) in the order of their largest coefficients; that coefficient is
// positive, and a particle orbital takes the sign of its hole orbital.
TEST(NaturalOrbitals, OrderAndSignsAreFixed) {
  // Frozen, inactive at 2 but for rounding, two coupled, virtual, deleted.
  std::vector<double> d(36, 0.0);
  d[0] = 2, d[7] = 2 - 4e-16, d[14] = 0.5, d[21] = 1.5, d[15] = d[20] = -0.3;
  const double split = std::sqrt(0.34), up = std::hypot(0.3, 0.5 + split),
               down = std::hypot(0.3, 0.5 - split);
  expect_orbitals(natural_orbitals(d.data(), 6, 6, 1, 1),
                  {{1, 0, 0, 0, 0, 0},
                   {0, 1, 0, 0, 0, 0},
                   {0, 0, -0.3 / up, (0.5 + split) / up, 0, 0},
                   {0, 0, 0.3 / down, (split - 0.5) / down, 0, 0},
                   {0, 0, 0, 0, 1, 0},
                   {0, 0, 0, 0, 0, 1}},
                  {2, 2 - 4e-16, 1 + split, 1 - split, 0, 0});
  // Holes 0 and 2 into particle 0, hole 1 into particle 2: two pairs of
  // weight 0.5 (the first but for rounding), ordered by their hole orbitals.
  std::vector<double> t(12, 0.0);
  t[0] = 0.3, t[2] = 0.4, t[7] = -0.5;
  const TransitionOrbitals o = transition_orbitals(t.data(), 3, 3, 4);
  expect_orbitals(o.holes, {{0, 1, 0}, {0.6, 0, 0.8}, {0.8, 0, -0.6}}, {0.5, 0.5, 0});
  expect_orbitals(o.particles, {{0, 0, -1, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}},
                  {0.5, 0.5, 0, 0});
}

struct OrbitalFiles : DensityRun {
  std::string input;

  // A bundled example in the scratch folder, its binary files unpacked.
  void load(const fs::path& src, const std::string& text) {
    for (const auto& e : fs::directory_iterator(src))
      fs::copy_file(e.path(), dir.path() / e.path().filename(),
                    fs::copy_options::overwrite_existing);
    ASSERT_EQ(std::system(
                  ("cd '" + dir.path().string() + "' && gzip -df *.gz 2>/dev/null; true").c_str()),
              0);
    fs::current_path(dir.path());
    dir.write("BID93", input = text);
  }
  void make(const mkcase::Description& d) {
    DensityRun::make(d);
    input = dir.read("BID93");
  }

  // The files of the density in run.dens.mat, symmetry block by block.
  void expect_files(double electrons) {
    const ciprop::Run& r = *run;
    const OrbitalAnalysis& a = r.dens.orbitals;
    const bool state = r.dens.state;
    ASSERT_EQ(a.files.size(), state ? 1u : 2u);
    const OrbitalFile holes = read_orbital_file(dir.read(a.files[0]));
    const OrbitalFile parts = state ? holes : read_orbital_file(dir.read(a.files[1]));
    ASSERT_EQ(holes.coef.size() + parts.coef.size(), 2u * size_t(r.sym.nsym));
    const OrbitalRecords& o = r.ints;
    const int n = o.ntot, between = state ? 1 : r.sym.mult(r.dens.isym1, r.dens.isym2);
    const Matrix s = unpacked(r, o.ovl.data(), 1);
    const Eigen::Map<const Matrix, 0, Eigen::OuterStride<>> c(o.orb.data(), n, n,
                                                              Eigen::OuterStride<>(500));
    const Eigen::Map<const Matrix, 0, Eigen::OuterStride<>> d(r.dens.mat.data(), n, n,
                                                              Eigen::OuterStride<>(500));
    Matrix h = Matrix::Zero(n, n), p = Matrix::Zero(n, n);  // the pairs over the whole basis
    std::vector<double> w;
    for (int sh = 1; sh <= r.sym.nsym; ++sh) {
      const int sp = r.sym.mult(sh, between), i = o.ioffo(sh), j = o.ioffo(sp);
      const Matrix &x = holes.coef[size_t(sh - 1)], &y = parts.coef[size_t(sp - 1)];
      const std::vector<double>& v = holes.occ[size_t(sh - 1)];
      for (size_t k = 0; k < v.size(); ++k) {
        EXPECT_NEAR(v[k], a.values[size_t(sh - 1)][k], 1e-14 * (1 + std::abs(v[k]))) << "#OCC";
        EXPECT_EQ(k < parts.occ[size_t(sp - 1)].size() ? parts.occ[size_t(sp - 1)][k] : 0.0,
                  long(k) < y.cols() ? v[k] : 0.0)
            << "the weight of a particle is that of its hole";
      }
      for (const auto& [z, at] : {std::pair{&x, i}, std::pair{&y, j}}) {
        const Matrix overlap = z->transpose() * s.block(at, at, z->rows(), z->rows()) * *z;
        EXPECT_LT((overlap - Matrix::Identity(z->cols(), z->cols())).cwiseAbs().maxCoeff(), 1e-10);
      }
      // The block of the density over the basis, and over the orbitals (the
      // file's orbitals solved for in the coefficients of the orbital file).
      const int k = int(std::min(x.cols(), y.cols()));
      const Eigen::Map<const Eigen::VectorXd> wk(v.data(), k);
      const Matrix ao = x.leftCols(k) * wk.asDiagonal() * y.leftCols(k).transpose();
      const Matrix want = c.block(0, i, x.rows(), x.rows()) * d.block(i, j, x.rows(), y.rows()) *
                          c.block(0, j, y.rows(), y.rows()).transpose();
      EXPECT_LT((ao - want).cwiseAbs().maxCoeff(), 1e-12) << "symmetry " << sh;
      const Matrix ux = c.block(0, i, x.rows(), x.cols()).colPivHouseholderQr().solve(x);
      const Matrix uy = c.block(0, j, y.rows(), y.cols()).colPivHouseholderQr().solve(y);
      const Matrix mo = ux.leftCols(k) * wk.asDiagonal() * uy.leftCols(k).transpose();
      EXPECT_LT((mo - d.block(i, j, x.cols(), y.cols())).cwiseAbs().maxCoeff(), 1e-12) << sh;
      for (int m = 0; m < k; ++m) {
        h.col(long(w.size())).segment(i, x.rows()) = x.col(m);
        p.col(long(w.size())).segment(j, y.rows()) = y.col(m);
        w.push_back(v[size_t(m)]);
      }
    }
    if (state) {
      EXPECT_NEAR(Eigen::Map<const Eigen::VectorXd>(w.data(), long(w.size())).sum(), electrons,
                  1e-10);
    }
    // The electronic moments: minus the sum over the pairs of weight times
    // <hole| P |particle>, P over the basis, in the order x y z xx xy xz yy
    // yz zz.
    const Moments& m = r.dens.moments;
    const double el[9] = {m.dip_el[0],  m.dip_el[1],  m.dip_el[2],  m.quad_el[0], m.quad_el[1],
                          m.quad_el[2], m.quad_el[3], m.quad_el[4], m.quad_el[5]};
    const std::pair<const double*, int> ops[9] = {{o.pxq.data(), r.symxyz(1)},
                                                  {o.pyq.data(), r.symxyz(2)},
                                                  {o.pzq.data(), r.symxyz(3)},
                                                  {o.pxxq.data(), 1},
                                                  {o.pxyq.data(), r.symxxyyzz(1)},
                                                  {o.pxzq.data(), r.symxxyyzz(2)},
                                                  {o.pyyq.data(), 1},
                                                  {o.pyzq.data(), r.symxxyyzz(3)},
                                                  {o.pzzq.data(), 1}};
    for (int q = 0; q < 9; ++q) {
      if (q < 3 ? !m.dipoles : !m.quadrupoles) continue;
      const Matrix prop = unpacked(r, ops[q].first, ops[q].second);
      double e = 0;
      for (size_t k = 0; k < w.size(); ++k) e -= w[k] * h.col(long(k)).dot(prop * p.col(long(k)));
      EXPECT_NEAR(e, el[q], 1e-10 * (1 + std::abs(e))) << "component " << q;
    }
    std::string names;
    for (const auto& f : a.files) names += (names.empty() ? "\"" : ", \"") + f + "\"";
    EXPECT_NE(results_json(*run, "test").find("\"orbital_files\": [" + names + "]"),
              std::string::npos);
  }

  // Runs again with the natural orbitals of the state as ORB1 and, from the
  // density file, a density diagonal in them with their occupations: the
  // vectors still refer to the old orbitals but no longer enter, and the
  // moments must be those of the first run.
  void expect_same_moments_on_natural_orbitals() {
    const ciprop::Run& first = *run;
    fs::copy_file(first.dens.orbitals.files[0], "NatOrb.in");
    int norb = 0;
    for (int s = 1; s <= first.sym.nsym; ++s) norb += first.sy2.norbs(s);
    std::vector<double> dens(size_t(norb) * norb, 0.0);
    for (int k = 1; k <= norb; ++k) {
      const int s = first.sym.isym(k);
      dens[size_t(k - 1) * (norb + 1)] =
          first.dens.orbitals
              .values[size_t(s - 1)][size_t(first.orbi.ngel(s) + first.sy3.itorbi(k) - 1)];
    }
    const uint32_t bytes = uint32_t(dens.size() * 8);
    const std::string mark(reinterpret_cast<const char*>(&bytes), 4);
    std::string records;
    for (int root = 1; root <= first.ronum.numero(1); ++root)
      records += mark + std::string(reinterpret_cast<const char*>(dens.data()), bytes) + mark;
    dir.write("dens", records);
    std::string text = input;
    text.replace(text.find(" &ROFIL\n"), 8, " &ROFIL\n ORB1='NatOrb.in',\n");
    if (auto at = text.find("CALCRO=1"); at != std::string::npos) text[at + 7] = '0';
    dir.write("BID93", text);
    const Moments before = first.dens.moments;
    out.str("");
    run = std::make_unique<ciprop::Run>(out, in, err);
    ASSERT_EQ(execute(), 0) << out.str() << err.str();
    EXPECT_NE(out.str().find("se lee del fichero dens"), std::string::npos);
    const Moments& after = run->dens.moments;
    for (int k = 0; k < 9; ++k) {
      const double x = k < 3 ? before.dip_el[k] : before.quad_el[k - 3];
      EXPECT_NEAR(k < 3 ? after.dip_el[k] : after.quad_el[k - 3], x, 1e-10 * (1 + std::abs(x)))
          << k;
    }
  }
};

// Generated cases: modes, symmetries, layouts, frozen and deleted orbitals,
// states and transitions (between states of two symmetries too).
struct GeneratedCase {
  const char* name;
  const char* gener;
  generated::Layout layout;
  int nelac, root2, is0a;
  std::array<int, 8> ngel, ndel;
  int molcas;
  bool without_deleted;
};
void PrintTo(const GeneratedCase& g, std::ostream* os) { *os << g.name; }

struct GeneratedFiles : OrbitalFiles, ::testing::WithParamInterface<GeneratedCase> {};

TEST_P(GeneratedFiles, GiveBackTheDensityAndTheMoments) {
  const GeneratedCase& g = GetParam();
  mkcase::Description d = generated::describe(g.layout, g.nelac, 0, g.gener);
  d.root2 = g.root2;
  d.is0a = g.is0a;
  d.ngel = g.ngel;
  d.ndel = g.ndel;
  d.molcas = g.molcas;
  d.inporb_without_deleted = g.without_deleted;
  d.symxyz = {1, g.layout.nsym > 1 ? 2 : 1, 1};
  make(d);
  ASSERT_EQ(execute(Stage::OrbitalFiles), 0) << out.str() << err.str();
  int frozen = 0;
  for (int k : g.ngel) frozen += k;
  expect_files(d.nelac + 2 * d.ninac_total() + 2 * frozen);
  EXPECT_EQ(err.str(), "");
  if (g.root2 == 1) expect_same_moments_on_natural_orbitals();
}

using G = GeneratedCase;
using generated::kEightSym, generated::kFourSym, generated::kOneSym, generated::kTwoSym;
INSTANTIATE_TEST_SUITE_P(
    Cases, GeneratedFiles,
    testing::Values(G{"CasState", "CAS ", kTwoSym, 4, 1, 0, {1, 0}, {0, 1}, 5, false},
                    G{"DdciState", "DDCI", kFourSym, 4, 1, 0, {0, 1, 0, 1}, {1}, 22, true},
                    G{"MrddState", "MRDD", kOneSym, 4, 1, 0, {2}, {1}, 4, false},
                    G{"CasTransition", "CAS ", kTwoSym, 4, 2, 0, {1, 0}, {0, 1}, 5, false},
                    G{"DdciTransition", "DDCI", kEightSym, 2, 2, 0, {}, {}, 54, false},
                    G{"TousTwoSymmetries", "TOUS", kFourSym, 4, 2, 2, {1}, {0, 0, 1}, 22, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A stored density that is not symmetric has natural orbitals of its
// symmetric part only; the run says so.
TEST_F(OrbitalFiles, AnAsymmetricStoredDensityIsTold) {
  mkcase::Description d = generated::describe(generated::kOneSym, 4, 0, "CAS ");
  d.root2 = 1;
  make(d);
  std::string dens = dir.read("dens");
  double x;
  std::memcpy(&x, dens.data() + 12, 8);
  x += 1e-3;
  std::memcpy(dens.data() + 12, &x, 8);
  dir.write("dens", dens);
  ASSERT_EQ(execute(Stage::OrbitalFiles), 0) << out.str() << err.str();
  EXPECT_EQ(
      err.str().rfind("ciprop: warning: ciprop.NatOrb: the density differs by up to 0.0005 ", 0),
      0u)
      << err.str();
}

// A spectrum with ORBNAT=2: the orbital files of every pair, each as a run
// of that pair alone writes them, and their table before " FIN".
TEST(OrbitalFilesOfASpectrum, EveryListedRootAsInARunOfItsPairAlone) {
  test::ScratchDir dir;
  mkcase::Description d = generated::describe(generated::kTwoSym, 4, 0, "DDCI");
  d.nroots = 3;
  d.ioper = 1;
  mkcase::make_case(d, dir.path().string());
  const std::string input = dir.read("input");
  auto with = [&](const std::string& roots) {
    const test::RunResult r = test::run_binary(
        dir, std::regex_replace(input, std::regex("NUMERO=[0-9]+,[0-9]+,"), roots));
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  };
  const std::string report = with("NUMERO=1,RACINES=2,3,1,ORBNAT=2,");
  for (const char* lines :
       {"\n orbitales naturelles de transition des racines 1 3\n fichiers ciprop.NtoHole.3 "
        "ciprop.NtoParticle.3\n poids, trous de symetrie 1, particules de symetrie 1\n",
        "\n orbitales naturelles de la racine 1\n fichier ciprop.NatOrb.1\n"})
    EXPECT_NE(report.find(lines), std::string::npos) << lines << report;
  EXPECT_NE(dir.read("ciprop-results.json")
                .find("\"orbital_files\": [\"ciprop.NtoHole\", \"ciprop.NtoParticle\", "
                      "\"ciprop.NtoHole.2\", \"ciprop.NtoParticle.2\", \"ciprop.NtoHole.3\", "
                      "\"ciprop.NtoParticle.3\", \"ciprop.NatOrb.1\"]"),
            std::string::npos);
  const std::string holes = dir.read("ciprop.NtoHole.3"),
                    particles = dir.read("ciprop.NtoParticle.3"),
                    natural = dir.read("ciprop.NatOrb.1");
  EXPECT_EQ(with("NUMERO=1,3,").find(" orbitales naturelles"), std::string::npos);
  EXPECT_EQ(holes + particles, dir.read("ciprop.NtoHole") + dir.read("ciprop.NtoParticle"));
  with("NUMERO=1,1,");
  EXPECT_EQ(natural, dir.read("ciprop.NatOrb"));
  // One CI run in both files: each pair is reported from its lower root, so
  // pair 3 -> 1 is 1 -> 3, its density turned, its files those of 1 -> 3.
  fs::copy_file(dir.path() / "daveca", dir.path() / "davecb", fs::copy_options::overwrite_existing);
  fs::copy_file(dir.path() / "deta", dir.path() / "detb", fs::copy_options::overwrite_existing);
  with("NUMERO=1,3,");
  const OrbitalFile alone[] = {read_orbital_file(dir.read("ciprop.NtoHole")),
                               read_orbital_file(dir.read("ciprop.NtoParticle"))};
  with("RACINESA=3,RACINES=1,ORBNAT=2,");
  const OrbitalFile turned[] = {read_orbital_file(dir.read("ciprop.NtoHole.1.3")),
                                read_orbital_file(dir.read("ciprop.NtoParticle.1.3"))};
  for (int f = 0; f < 2; ++f) {
    ASSERT_EQ(turned[f].coef.size(), alone[f].coef.size());
    for (size_t s = 0; s < alone[f].coef.size(); ++s)
      EXPECT_LT((turned[f].coef[s] - alone[f].coef[s]).cwiseAbs().maxCoeff(), 1e-12) << f << s;
  }
}

const fs::path kExamples = fs::path(CIPROP_SOURCE_DIR) / "example";

TEST_F(OrbitalFiles, PsiFourExampleTransitionAndState) {
  for (const char* roots : {"1,2", "2,2"}) {
    SCOPED_TRACE(roots);
    load(kExamples / "case",
         std::string(" &ROFIL\n &END\n &RHO NDEL=1,0,0,0, NGEL=1,0,0,0, NUMERO=") + roots +
             ", ISX=3,ISY=4,ISZ=1 /\n &RHC IPROP=0, MOLCAS=5, CALCRO=1 /\n &COST MOLCAS=5 /\n");
    out.str("");
    run = std::make_unique<ciprop::Run>(out, in, err);
    ASSERT_EQ(execute(Stage::OrbitalFiles), 0) << out.str() << err.str();
    expect_files(10.0);
    if (roots[0] == roots[2]) expect_same_moments_on_natural_orbitals();
  }
}

// RASSCF's orbitals of the example are the natural orbitals of its state:
// the occupations of the lowest root are those RASSCF wrote in #OCC, to the
// precision of the 11-digit integrals that the CI was solved on.
TEST_F(OrbitalFiles, OpenMolcasExampleOccupationsAreThoseOfRasscf) {
  std::ifstream text(kExamples / "openmolcas" / "case" / "input");
  load(kExamples / "openmolcas" / "case", std::string(std::istreambuf_iterator<char>(text), {}));
  ASSERT_EQ(execute(Stage::OrbitalFiles), 0) << out.str() << err.str();
  expect_files(10.0);
  const OrbitalFile rasscf = read_orbital_file(dir.read("RasOrb"));
  for (size_t s = 0; s < 4; ++s)
    for (size_t k = 0; k < rasscf.occ[s].size(); ++k)
      EXPECT_NEAR(run->dens.orbitals.values[s][k], rasscf.occ[s][k], 1e-12)
          << s + 1 << " " << k + 1;
  expect_same_moments_on_natural_orbitals();
}

}  // namespace
