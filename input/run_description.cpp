#include "input/run_description.hpp"

#include <algorithm>
#include <span>
#include <string>

#include "core/print.hpp"
#include "fortio/namelist_out.hpp"
#include "fortio/stop.hpp"
#include "input/namelist.hpp"
#include "input/open_files.hpp"

namespace ciprop {

namespace {

constexpr std::string_view kRule = "--------------------------------------";

// The integrals are always read in double precision; the flag is reported
// for the record and never set.
constexpr bool kYdp = false;

std::string info_file(Run& run) { return "the Info file " + run.io.name(kUnitInfo); }
std::string vrt_name(Run& run) { return run.io.name(kUnitVrt); }
std::string vrt_file(Run& run) { return "the run description " + vrt_name(run); }

void check_counts(Run& run, const InfoFile& info) {
  if (run.sym.nsym < 1 || run.sym.nsym > kMaxSym)
    refuse(run, {"fichier Info : nombre de symetries hors limites (1 a 8) : nsym=", run.sym.nsym},
           info_file(run) + ": NSYM of &COST_AO is " + std::to_string(run.sym.nsym) +
               "; a point group has 1 to 8 irreducible representations");
  if (info.norb < 0 || info.norb > kMaxOrb)
    refuse(run, {"fichier Info : nombre d orbitales hors limites (0 a 500) : norb=", info.norb},
           info_file(run) + ": NORB of &COST_MO is " + std::to_string(info.norb) +
               "; this program takes 0 to " + std::to_string(kMaxOrb) + " orbitals");
}

// The product table indexes every symmetry table of the run: its block over
// the symmetries present must name symmetries of the group.
void check_table(Run& run) {
  for (int j = 1; j <= run.sym.nsym; ++j)
    for (int i = 1; i <= run.sym.nsym; ++i)
      if (run.sym.mult(i, j) < 1 || run.sym.mult(i, j) > run.sym.nsym)
        refuse(run, {"fichier Info : table ITS hors limites (1 a nsym) : i, j, its=",
                     i, j, run.sym.mult(i, j)},
               info_file(run) + ": the product table ITS of &COST_AO gives " +
                   std::to_string(i) + " x " + std::to_string(j) + " = " +
                   std::to_string(run.sym.mult(i, j)) + ", not a symmetry 1 to NSYM=" +
                   std::to_string(run.sym.nsym));
}

void check_orbitals(Run& run, const InfoFile& info) {
  if (info.noc < 0 || info.noc > info.norb)
    refuse(run, {"fichier Info : orbitales occupees hors limites (0 a norb) : noc=", info.noc},
           info_file(run) + ": NOC of &COST_MO is " + std::to_string(info.noc) +
               ", not 0 to NORB=" + std::to_string(info.norb));
  for (int i = 1; i <= info.norb; ++i)
    if (run.sym.isym(i) < 1 || run.sym.isym(i) > run.sym.nsym)
      refuse(run, {"fichier Info : symetrie hors limites (1 a nsym) : orbitale, itsym=", i,
                   run.sym.isym(i)},
             info_file(run) + ": ITSYM of &COST_MO gives orbital " + std::to_string(i) +
                 " the symmetry " + std::to_string(run.sym.isym(i)) + ", not 1 to NSYM=" +
                 std::to_string(run.sym.nsym) + " (ITSYM needs one value per orbital)");
}

// Every active orbital is an orbital of the CI, listed once; the state has
// one of the symmetries of the Info file.
void check_active(Run& run) {
  const Cs& cs = run.cs;
  for (int k = 1; k <= cs.noac; ++k) {
    int a = cs.numac(k);
    if (a < 1 || a > run.orb.norb)
      refuse(run, {"orbitale active hors limites (1 a norb) : numac=", a},
             vrt_file(run) + ": NUMAC(" + std::to_string(k) + ") of &VRT is " +
                 std::to_string(a) + ", not an orbital 1 to NORB=" + std::to_string(run.orb.norb) +
                 " of the Info file");
    for (int l = 1; l < k; ++l)
      if (cs.numac(l) == a)
        refuse(run, {"orbitale active donnee deux fois : numac=", a},
               vrt_file(run) + ": NUMAC of &VRT lists orbital " + std::to_string(a) + " twice");
  }
  if (cs.is0 < 1 || cs.is0 > run.sym.nsym)
    refuse(run, {"symetrie de l etat hors limites (1 a nsym) : is0=", cs.is0},
           vrt_file(run) + ": IS0 of &VRT is " + std::to_string(cs.is0) +
               ", not a symmetry 1 to NSYM=" + std::to_string(run.sym.nsym) + " of the Info file");
}

void banner(Run& run, std::string_view title) {
  run.io.write_line(kUnitReport, "");
  run.io.list(kUnitReport, {kRule});
  run.io.list(kUnitReport, {title});
  run.io.list(kUnitReport, {kRule});
  run.io.write_line(kUnitReport, "");
}

bool read_vrt(Run& run) {
  Cs& cs = run.cs;
  cs.noac = 0;
  cs.numac.fill(0);
  cs.nelac = 0;
  cs.is0 = 1;
  cs.ms2 = 0;
  if (!run.io.is_open(kUnitVrt)) return false;
  std::string text;
  int ierr = 0;
  lecnam(run, "&VRT", text, kUnitVrt, ierr, 0);
  if (ierr != 0) return false;
  nameli(run, text, cs.noac, "NOAC");
  nameli(run, text, cs.numac.data(), "NUMAC", 4, kMaxActive);
  nameli(run, text, cs.nelac, "NELAC");
  nameli(run, text, cs.is0, "IS0");
  nameli(run, text, cs.ms2, "MS2");
  nameli(run, text, run.det.ndet, "NDET");
  namela(run, text, run.prep.gener, "GENER");
  if (cs.noac < 0 || cs.noac > kMaxActive)
    refuse(run, {"nombre d orbitales actives hors limites (0 a 16) : noac=", cs.noac},
           vrt_file(run) + ": NOAC of &VRT is " + std::to_string(cs.noac) +
               "; this program takes 0 to " + std::to_string(kMaxActive) + " active orbitals");
  fio::NamelistOut(run.io, kUnitListing, "VRT")
      .add("NOAC", cs.noac)
      .add("NUMAC", std::span<const int>(cs.numac.data(), kMaxActive))
      .add("NELAC", cs.nelac)
      .add("IS0", cs.is0)
      .add("MS2", cs.ms2)
      .add("GENER", run.prep.gener.view())
      .end();
  scrinam(run, "NAMELIST VRT   ");
  return true;
}

// Occupied orbitals per spin and the reference's active electrons per spin,
// for 2 Sz = ms2 <= 0 (beta electrons in excess); the spin-orbitals of beta
// spin repeat the orbitals and their symmetries.
void derive_counts(Run& run) {
  Cs& cs = run.cs;
  Orb& orb = run.orb;
  orb.noca = orb.nocc;
  orb.nocb = orb.nocc - cs.ms2 / 2;
  if (cs.noac != 10) cs.numac(cs.noac + 1) = 0;
  for (int j = 1; j <= orb.norb; ++j) {
    orb.iorb(j) = j;
    orb.iorb(orb.norb + j) = j;
    run.sym.isym(orb.norb + j) = run.sym.isym(j);
  }
  orb.noca = orb.nocc - (1 - cs.ms2) / 2;
  run.prep.nca0 = cs.nelac / 2 + cs.ms2 / 2;
  run.prep.ncb0 = (cs.nelac + 1) / 2 - cs.ms2 / 2;
}

void report(Run& run) {
  const Orb& orb = run.orb;
  const Sym& sym = run.sym;
  run.io.write(kUnitReport, "(A50,10I4)", {"norb     ", orb.norb});
  run.io.write(kUnitReport, "('     double precision pour les integrales ydp '      ,l8)", {kYdp});
  run.io.write(kUnitReport, "(A50,10I4)", {"nombre de symetries   nsym     ", sym.nsym});
  run.io.write(kUnitReport, "(A50,10I4)",
               {"nombre d orbitales occupees alpha   noca     ", orb.noca});
  run.io.write(kUnitReport, "(A50,10I4)",
               {"nombre d orbitales occupees beta    nocb     ", orb.nocb});
  run.io.write_line(kUnitReport, "");
  run.io.list(kUnitReport, {"symetrie des orbitales"});
  scriorb(run, sym.isym.data(), orb.norb);
  if (run.pr.nprint > 0) {
    run.io.list(kUnitReport, {"table de multiplication"});
    for (int i = 1; i <= sym.nsym; ++i) {
      fio::Items row;
      for (int j = 1; j <= sym.nsym; ++j) row << sym.mult(i, j);
      run.io.write(kUnitReport, "(20i4)", row);
    }
  }
}

}  // namespace

void scriorb(Run& run, const int* values, int n) {
  for (int k0 = 1; k0 <= n; k0 += 20) {
    int k1 = std::min(n, k0 + 19);
    fio::Items numbers, row;
    for (int k = k0; k <= k1; ++k) {
      numbers << k;
      row << values[k - 1];
    }
    run.io.write(kUnitReport, "(20i3)", numbers);
    run.io.write(kUnitReport, "(20i3)", row);
    run.io.write_line(kUnitReport, "");
  }
}

bool lirinfo(Run& run, InfoFile& info, bool ydp) {
  std::string ao, mo;
  int ierr = 0;
  lecnam(run, "&COST_AO", ao, kUnitInfo, ierr, 0);
  run.io.rewind(kUnitInfo);
  lecnam(run, "&COST_MO", mo, kUnitInfo, ierr, 0);
  if (ierr != 0) return false;
  // Both groups are gathered before either is decoded.
  run.namelist_group = group_source(run, "&COST_AO", kUnitInfo);
  nameli(run, ao, run.sym.nsym, "NSYM");
  nameli(run, ao, run.sym.mult.data(), "ITS", 4, kMaxSym * kMaxSym);
  run.namelist_group = group_source(run, "&COST_MO", kUnitInfo);
  nameli(run, mo, info.norb, "NORB");
  check_counts(run, info);
  nameli(run, mo, info.noc, "NOC");
  nameli(run, mo, run.sym.isym.data(), "ITSYM", 4, kMaxOrb);
  check_table(run);
  check_orbitals(run, info);
  nameld(run, mo, info.enuc, "ENUC");
  namell(run, mo, info.ycl, "YCL");
  fio::NamelistOut(run.io, kUnitListing, "IJ")
      .add("NSYM", run.sym.nsym)
      .add("NORB", info.norb)
      .add("NOC", info.noc)
      .add("YDP", ydp)
      .add("ENUC", info.enuc)
      .add("YCL", info.ycl)
      .end();
  run.io.rewind(kUnitListing);
  return true;
}

void lircd(Run& run) {
  banner(run, "          LECTURE DES FILES         ");
  if (!read_vrt(run)) {
    run.io.list(kUnitReport, {"on n'a pas trouve de fichier vrt"});
    if (!run.io.is_open(kUnitVrt))
      fio::stop_io(run.io,
                   "input/output error: the run description file (VRT, VRT1 of &ROFIL) does "
                   "not exist");
    return;
  }
  run.io.close(kUnitVrt);
  Cs& cs = run.cs;
  if (cs.ms2 > 0) {
    cs.ms2 = -cs.ms2;
    run.io.list(kUnitReport, {"ms2 doit etre negatif  on change son signe"});
    run.io.list(kUnitReport, {"ms2", cs.ms2});
  }
  InfoFile info;
  // Keys absent from the Info file leave the counts as they were.
  info.norb = run.orb.norb;
  info.noc = run.orb.nocc;
  info.enuc = run.orb.enuc;
  if (!lirinfo(run, info, kYdp)) {
    run.io.list(kUnitReport, {"on n'a pas trouve de fichier Info"});
    return;
  }
  run.orb.norb = info.norb;
  run.orb.nocc = info.noc;
  run.orb.enuc = info.enuc;
  check_active(run);
  derive_counts(run);
  report(run);
  banner(run, "        FIN DE LECTURE DES FILES         ");
  calc(run);
}

void calc(Run& run) {
  auto& c = run.combs.c;
  for (int i = 0; i <= 20; ++i)
    for (int j = -1; j <= 19; ++j) c(i, j) = i >= j ? -50 : 0;
  int top = run.cs.noac + 4;
  for (int i = 0; i <= top; ++i) {
    c(i, -1) = 0;
    c(i, 0) = 1;
    c(i, 1) = i;
    c(i, i) = 1;
    c(0, 0) = 1;
    for (int j = 2; j <= top && j <= i; ++j) c(i, j) = (i - j + 1) * c(i, j - 1) / j;
  }
  // Only the modes built on reference configurations tabulate the active
  // configurations; the others hold any active space of up to 16 orbitals.
  if (run.prep.gener.c[0] == 'M' && run.prep.gener.c[1] == 'R')
    verdim(run, "calcul MRS  ndimcs trop grand :  ndimcs=", ndimcs(run), kMaxNdimcs,
           "the number of active configurations of " + std::to_string(run.cs.nelac) + " +/- 2 electrons in " +
               std::to_string(run.cs.noac) + " active orbitals (&VRT of " + vrt_name(run) + ")",
           "a multireference mode takes fewer active orbitals");
}

// Configurations of the active space: i doubly and j singly occupied
// orbitals among noac, holding between nelac - 2 and nelac + 2 electrons.
long long ndimcs(const Run& run) {
  const auto& c = run.combs.c;
  int noac = run.cs.noac, nelac = run.cs.nelac;
  long long n = 0;
  for (int i = std::max(nelac - noac - 2, 0); i <= std::min((nelac + 2) / 2, noac); ++i)
    for (int j = std::max(nelac - 2 * i - 2, 0); j <= std::min(nelac - 2 * i + 2, noac - i); ++j)
      n += static_cast<long long>(c(noac - i, j)) * c(noac, i);
  return n;
}

}  // namespace ciprop
