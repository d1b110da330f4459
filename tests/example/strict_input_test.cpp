// Input that cannot silently mean something else: refusals and warnings
// on standard error, with their exact texts and statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "example/water_case.hpp"

namespace {

using namespace water;
namespace fs = std::filesystem;

TEST(StrictInput, RefusalsNameTheGroupTheKeyAndWhatIsValid) {
  const std::string rho_keys =
      "NDEL, NGEL, NUMERO, ISX, ISY, ISZ, NPRINT, TWVEC, CALCUL, STOP, MEM, RACINES, RACINESA, "
      "LARGEUR, ORBNAT";
  const struct {
    std::string input, message;
  } cases[] = {
      {kRofil + " &RHO\n NPRNT=1,\n &END\n" + kRhc + kCost,
       "unknown key NPRNT in &RHO; its keys are " + rho_keys},
      // A longer name ending in a valid key is not that key.
      {kRofil + " &RHO\n XNPRINT=1,\n &END\n" + kRhc + kCost,
       "unknown key XNPRINT in &RHO; its keys are " + rho_keys},
      {" &ROFIL ORB2='x' &END\n" + kRho + kRhc + kCost,
       "unknown key ORB2 in &ROFIL; its keys are PREFIX, VRT1, VRT, INFO1, INFO, DETA1, DETA, "
       "DAVECA1, DAVECA, DETB1, DETB, DAVECB1, DAVECB, ORB1, ONEINT1, COMFILE1, TRAONE1, ORB, "
       "ONEINT, TRAONE, COMFILE"},
      // A key of another group.
      {kRofil + kRho + " &RHC IPROP=0, MOLCAS=5, ISX=3 /\n" + kCost,
       "unknown key ISX in &RHC; its keys are ISXY, ISXZ, ISYZ, IPROP, MOLCAS, CALCRO"},
      {kRofil + kRho + kRhc + " &COST MOLKAS=5 /\n",
       "unknown key MOLKAS in &COST; its keys are MOLCAS"},
      {kRofil + " &RHOO NPRINT=1 /\n" + kRho + kRhc + kCost,
       "unknown namelist group &RHOO on standard input (line 3); the groups are &ROFIL, &RHO, "
       "&RHC, &COST"},
      // Once blanks are gone the 2 stands between the 1 and ISX: without a
      // comma after it, NUMERO would take root 1 only and the 2 be lost.
      {kRofil + " &RHO NDEL=1,0,0,0, NGEL=1,0,0,0, NUMERO=1,2 ISX=3, ISY=4 /\n" + kRhc + kCost,
       "text '2' in &RHO belongs to no key; items are separated by commas"},
      {kRofil + " &RHO NDEL=1,0,0,0, NGEL=0*1,1,0,0,0, NUMERO=1,2, ISX=3, ISY=4 /\n" + kRhc + kCost,
       "repeat count '0' in &RHO is below 1; write n*value with n at least 1"},
      {kRofil + " &RHO NDEL=1,3*0, NGEL=1,-1*0, NUMERO=1,2, ISX=3, ISY=4 /\n" + kRhc + kCost,
       "repeat count '-1' in &RHO is below 1; write n*value with n at least 1"},
      {kRofil + kRho + kRhc + " &COST MOLCAS=54 /\n",
       "MOLCAS is 5 in &RHC and 54 in &COST; give one version"},
      {kRofil + " &RHO NDEL=1,0,0,0, NGEL=1,0,0,0, NUMERO=1,2, ORBNAT=3 /\n" + kRhc + kCost,
       "&RHO: ORBNAT = 3 (0 orbital files of the pair, 1 and their table, 2 and those of every "
       "listed root)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    test::ScratchDir dir;
    auto r = run_case(dir, c.input);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ciprop: " + c.message + "\n");
    EXPECT_EQ(last_line(r.out), " " + c.message);
    EXPECT_FALSE(fs::exists(dir.path() / "ciprop-results.json"));
  }
}

TEST(StrictInput, WarningsSayWhatTheRunUses) {
  const std::string rhc_defaults = "defaults used: IPROP=1 (dipole only), MOLCAS=5, CALCRO=0";
  const struct {
    std::string input;
    int status;
    std::vector<std::string> warnings;
  } cases[] = {
      {kRofil + kRho + kRhc, 0,
       {"no &COST group on standard input; the MOLCAS version of &RHC is used"}},
      // MOLCAS in &COST alone is no conflict.
      {kRofil + kRho + " &RHC IPROP=0 /\n" + kCost, 0, {}},
      {kRofil + " &RHO NDEL=1,0,0,0, NGEL=1,0,0,0, NUMERO=2, ISX=3, ISY=4 /\n" + kRhc + kCost, 0,
       {"NUMERO gives one root; roots 2 (first vector file) and 1 (second vector file) are used"}},
      // Values the run passes over.
      {kRofil + " &RHO NDEL=1,0,0,0, NGEL=1,0,0,0, NUMERO=1,2, ISX=3, ISY=4,\n"
                " STOP='FINI', MEM=100 /\n" + kRhc + kCost, 0,
       {"STOP='FINI' in &RHO names no stop point (ORDET, or FIN for the end); the run goes to "
        "its end",
        "MEM=100 in &RHO is below the default capacity of 8000000 determinants, which is used"}},
      // &RHC is passed over, and the search for it reaches the end: &COST
      // after it is not found either.
      {kRofil + kRhc + kRho + kCost, 0,
       {"&RHC is not read: it stands out of the order &ROFIL, &RHO, &RHC, &COST or after a "
        "missing group; " + rhc_defaults,
        "&COST is not read: it stands out of the order &ROFIL, &RHO, &RHC, &COST or after a "
        "missing group; the MOLCAS version of &RHC is used"}},
      {kRho + kRhc + kCost, 1,
       {"no &ROFIL group on standard input; the files are read from the working folder under "
        "their usual names (vrt, Info, deta, detb, daveca, davecb, INPORB, OneInt, TraOne)",
        "&RHO is not read: it stands out of the order &ROFIL, &RHO, &RHC, &COST or after a "
        "missing group; defaults used: NUMERO=1,1 (root 1 of both vector files), no frozen or "
        "deleted orbitals, ISX=ISY=ISZ=1",
        "&RHC is not read: it stands out of the order &ROFIL, &RHO, &RHC, &COST or after a "
        "missing group; " + rhc_defaults,
        "&COST is not read: it stands out of the order &ROFIL, &RHO, &RHC, &COST or after a "
        "missing group; the MOLCAS version of &RHC is used"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    test::ScratchDir dir;
    auto r = run_case(dir, c.input);
    EXPECT_EQ(r.status, c.status);
    std::vector<std::string> warnings;
    for (const auto& line : test::split_lines(r.err))
      if (line.rfind("ciprop: warning: ", 0) == 0) warnings.push_back(line.substr(17));
    EXPECT_EQ(warnings, c.warnings) << r.err;
    if (c.status == 0) EXPECT_EQ(last_line(r.out), " FIN");
  }
}

// The old traps of the file names, each told once; the run does what it
// always did.
TEST(FileNameWarnings, OrbitalFallbackAndPrefixesThatDoNotReachEveryName) {
  const std::string rest = kRho + kRhc + kCost;
  std::vector<std::string> warnings;
  auto run = [&](const test::ScratchDir& dir, const std::string& rofil, int status) {
    auto r = test::run_binary(dir, rofil + rest);
    EXPECT_EQ(r.status, status) << r.err;
    warnings.clear();
    for (const auto& line : test::split_lines(r.err))
      if (line.rfind("ciprop: warning: ", 0) == 0) warnings.push_back(line.substr(17));
  };
  const std::string names = "the CI file names (vrt, Info, deta, detb, daveca, davecb)";
  {
    test::ScratchDir dir;
    copy_case(dir);
    run(dir, " &ROFIL ORB1='orbitals.txt' &END\n", 0);
    EXPECT_EQ(warnings, std::vector<std::string>{
                            "ORB1 file 'orbitals.txt' does not open; the orbitals are read from INPORB"});
  }
  {
    // The case under sub/, and an INPORB left in the working folder.
    test::ScratchDir dir;
    fs::create_directory(dir.path() / "sub");
    for (const auto& e : fs::directory_iterator(kCase))
      fs::copy_file(e.path(), dir.path() / "sub" / e.path().filename());
    fs::copy_file(kCase / "INPORB", dir.path() / "INPORB");
    run(dir, " &ROFIL PREFIX='sub/' &END\n", 0);
    EXPECT_EQ(warnings, std::vector<std::string>{
                            "the orbitals are read from INPORB in the working folder, not from "
                            "under PREFIX 'sub/'"});
  }
  {
    // A prefix of 10 characters or more reaches the MOLCAS files only.
    test::ScratchDir dir;
    copy_case(dir);
    const std::string prefix = dir.path().string() + "/";
    run(dir, " &ROFIL PREFIX='" + prefix + "' &END\n", 0);
    EXPECT_EQ(warnings,
              (std::vector<std::string>{
                  "the orbitals are read from INPORB in the working folder, not from under PREFIX '" +
                      prefix + "'",
                  "PREFIX '" + prefix + "' does not reach " + names +
                      ": they are taken from the working folder (a prefix of 10 characters or more "
                      "is dropped there); give them with VRT1, INFO1, DETA1, DETB1, DAVECA1, "
                      "DAVECB1"}));
  }
  {
    test::ScratchDir dir;
    copy_case(dir);
    fs::remove(dir.path() / "INPORB");
    run(dir, " &ROFIL PREFIX='my run/' &END\n", 2);
    EXPECT_EQ(warnings, std::vector<std::string>{
                            "PREFIX 'my run/' reaches " + names +
                            " as 'my' (cut at its first blank); give them with VRT1, INFO1, DETA1, "
                            "DETB1, DAVECA1, DAVECB1"});
  }
}

// A stop whose message stands in the report says it on standard error too.
TEST(ErrorStops, TheReportsMessageIsRepeatedOnStandardError) {
  test::ScratchDir dir;
  auto r = run_case(dir, kRofil +
                             " &RHO NDEL=1,0,0,0, NGEL=1,0,0,0, NUMERO=1,5, ISX=3, ISY=4 /\n" +
                             kRhc + kCost);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(last_line(r.out), " vector file davecb: root 5 asked for, the file holds 2");
  EXPECT_EQ(r.err, "ciprop: vector file davecb: root 5 asked for, the file holds 2\n");
}

}  // namespace
