#include "input/open_files.hpp"

#include <climits>
#include <span>
#include <vector>

#include "core/unit_numbers.hpp"
#include "core/print.hpp"
#include "fortio/namelist_out.hpp"
#include "fortio/stop.hpp"
#include "input/byte_files.hpp"
#include "input/run_description.hpp"
#include "input/input_checks.hpp"
#include "input/namelist.hpp"

namespace ciprop {

namespace {

constexpr std::string_view kRule = "===========================";
constexpr std::string_view kRule60 =
    "============================================================";

std::string_view rtrim(std::string_view s) {
  size_t n = s.find_last_not_of(' ');
  return n == std::string_view::npos ? std::string_view() : s.substr(0, n + 1);
}

bool blank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

// The keys of the run options, as lirdav decodes them.
constexpr std::string_view kRhoKeys[] = {"NDEL",   "NGEL",    "NUMERO",   "ISX",     "ISY",
                                         "ISZ",    "NPRINT",  "TWVEC",    "CALCUL",  "STOP",
                                         "MEM",    "RACINES", "RACINESA", "LARGEUR", "ORBNAT"};

// A value that no integer of the input can be (the decoder refuses anything
// beyond four bytes): tells a left-out element from a given one.
constexpr int kNotGiven = INT_MIN;

// "RACINES" (roots of the second vector file) and "RACINESA" (of the
// first): the roots a spectrum pairs, in their order.  The first listed
// root is root `which` of NUMERO, which may then be left out but not
// contradict it.
void listed_roots(Run& run, std::string& text, std::string_view key, int which, bool given,
                  int& count, Arr1<int, 1, kMaxListedRoots>& listed) {
  Arr1<int, 1, kMaxListedRoots> roots;
  roots.fill(kNotGiven);
  nameli(run, text, roots, key);
  const std::string name(key);
  int n = 0;
  for (int k = 1; k <= kMaxListedRoots; ++k)
    if (roots(k) != kNotGiven) n = k;
  for (int k = 1; k <= n; ++k) {
    const std::string item = "&RHO: " + name + "(" + std::to_string(k) + ")";
    if (roots(k) == kNotGiven)
      refuse_input(run, item + " is not given; the roots are listed from " + name +
                            "(1) on without a gap");
    if (roots(k) < 1)
      refuse_input(run, item + " = " + std::to_string(roots(k)) + " is not a root (1 or more)");
  }
  if (n == 0) return;
  const std::string numero = "NUMERO(" + std::to_string(which) + ")";
  if (given && run.ronum.numero(which) != roots(1))
    refuse_input(run, "&RHO: " + numero + " = " + std::to_string(run.ronum.numero(which)) +
                          " but " + name + "(1) = " + std::to_string(roots(1)) +
                          "; the first listed root is " + (which == 1 ? "the first" : "the second") +
                          " root of NUMERO: leave " + numero + " out or give it the same value");
  run.ronum.numero(which) = roots(1);
  count = n;
  for (int k = 1; k <= n; ++k) listed(k) = roots(k);
}

// "LARGEUR": the width of the bands of the spectrum's picture.
void band_width(Run& run, std::string& text) {
  run.ronum.largeur = 0.3;
  nameld(run, text, run.ronum.largeur, "LARGEUR");
  if (!(run.ronum.largeur > 0.0 && run.ronum.largeur < 100.0))
    refuse_input(run, "&RHO: LARGEUR = " + std::to_string(run.ronum.largeur) +
                          " eV; the full width at half maximum of the bands lies between 0 and "
                          "100 eV");
}

constexpr std::string_view kRhcKeys[] = {"ISXY", "ISXZ", "ISYZ", "IPROP", "MOLCAS", "CALCRO"};

// The keys of "&ROFIL".  A key ending in 1 names a file whole; when it is
// blank the name is the prefix joined to the base name of the key without
// the 1.
struct Rofil {
  FChar<kNameLength> prefix, vrt1, vrt, info1, info, deta1, deta, daveca1, daveca, detb1, detb,
      davecb1, davecb, orb1, oneint1, traone1, comfile1, orb, oneint, traone, comfile;

  Rofil() {
    for (auto* key : {&prefix, &vrt1, &info1, &deta1, &daveca1, &detb1, &davecb1, &orb1,
                      &oneint1, &traone1, &comfile1, &orb})
      key->assign("");
    vrt.assign("vrt");
    info.assign("Info");
    deta.assign("deta");
    daveca.assign("daveca");
    detb.assign("detb");
    davecb.assign("davecb");
    oneint.assign("OneInt");
    traone.assign("TraOne");
    comfile.assign("ComFile");
  }
};

// The decoding order matters: a key written without a value takes the next
// quoted value of the group (VRT1=,VRT='x' gives x to VRT1).  "ORB",
// "ONEINT", "TRAONE" and "COMFILE" are decoded so that the group is checked
// whole, but the MOLCAS base names stay fixed.
void read_rofil(Run& run, Rofil& f) {
  std::string text;
  int ierr = 0;
  lecnam(run, "&ROFIL", text, kUnitInput, ierr, 1);
  if (ierr != 0) return;
  const std::string given = text;
  const std::pair<FChar<kNameLength>*, std::string_view> keys[] = {
      {&f.prefix, "PREFIX"},   {&f.vrt1, "VRT1"},       {&f.vrt, "VRT"},
      {&f.info1, "INFO1"},     {&f.info, "INFO"},       {&f.deta1, "DETA1"},
      {&f.deta, "DETA"},       {&f.daveca1, "DAVECA1"}, {&f.daveca, "DAVECA"},
      {&f.detb1, "DETB1"},     {&f.detb, "DETB"},       {&f.davecb1, "DAVECB1"},
      {&f.davecb, "DAVECB"},   {&f.orb1, "ORB1"},       {&f.oneint1, "ONEINT1"},
      {&f.comfile1, "COMFILE1"}, {&f.traone1, "TRAONE1"}, {&f.orb, "ORB"},
      {&f.oneint, "ONEINT"},   {&f.traone, "TRAONE"},   {&f.comfile, "COMFILE"}};
  std::vector<std::string_view> names;
  for (const auto& [target, key] : keys) {
    namela(run, text, *target, key);
    names.push_back(key);
  }
  check_items(run, "&ROFIL", given, text, names);
}

void echo_rofil(Run& run, const Rofil& f) {
  fio::NamelistOut(run.io, kUnitListing, "ROFIL")
      .add("PREFIX", f.prefix.view())
      .add("VRT", f.vrt.view())
      .add("VRT1", f.vrt1.view())
      .add("INFO", f.info.view())
      .add("INFO1", f.info1.view())
      .add("DETA", f.deta.view())
      .add("DETA1", f.deta1.view())
      .add("DETB", f.detb.view())
      .add("DETB1", f.detb1.view())
      .add("DAVECA", f.daveca.view())
      .add("DAVECA1", f.daveca1.view())
      .add("DAVECB", f.davecb.view())
      .add("DAVECB1", f.davecb1.view())
      .end();
  scrinam(run, "NAMELIST ROFIL");
}

// The orbital file is an input of MOLCAS: opened read-only.  Candidates in
// turn: the user's name, INPORB, then the prefixed RasOrb and ScfOrb.
void open_orbitals(Run& run, const Rofil& f) {
  int tried = 0;
  auto attempt = [&](std::string_view name) {
    run.orbnom(++tried) = std::string(rtrim(name));
    return run.io.try_open_readonly(kUnitOrbitals, name, fio::Form::Formatted);
  };
  if (f.orb1.c[0] != ' ' && attempt(f.orb1.view())) {
    run.io.list(kUnitReport, {"Open file ", f.orb1.view()});
    return;
  }
  if (attempt("INPORB")) {
    run.io.list(kUnitReport, {"0pen file INPORB"});
    return;
  }
  std::string name;
  int len = 0;
  colle(run, f.prefix.view(), "RasOrb", name, len);
  if (attempt(std::string_view(name).substr(0, len))) {
    run.io.list(kUnitReport, {"0pen file", std::string_view(name).substr(0, len)});
    return;
  }
  colle(run, f.prefix.view(), "ScfOrb", name, len);
  if (attempt(std::string_view(name).substr(0, len))) {
    run.io.list(kUnitReport, {"0pen file ", std::string_view(name).substr(0, len)});
    return;
  }
  run.io.list(kUnitReport, {"no orbital file found"});
}

// OneInt, TraOne and ComFile, in this order, into filc(1), filc(3), filc(2).
// Current OpenMolcas (MOLCAS=22) has the RunFile in place of ComFile.
void open_molcas(Run& run, const Rofil& f) {
  const std::string_view run_info = run.hacer.molcas == 22 ? "RunFile" : "ComFile";
  const struct {
    int slot;
    std::string_view base;
    const FChar<kNameLength>& full;
  } files[] = {{1, "OneInt", f.oneint1}, {3, "TraOne", f.traone1}, {2, run_info, f.comfile1}};
  for (const auto& m : files) {
    std::string composed;
    int len = 0;
    colle(run, f.prefix.view(), m.base, composed, len);
    run.filc(m.slot) = nomfil3(run, m.full.view(), std::string_view(composed).substr(0, len),
                               run.filcnom(m.slot));
  }
}

// A first look at the Info file: the symmetries of the orbitals.  The
// counts are read again, into the shared records, with the run description.
void first_look_info(Run& run) {
  InfoFile info;
  if (!lirinfo(run, info, true))
    refuse(run, {"il n'y a pas de file Info"},
           "the Info file " + run.io.name(kUnitInfo) +
               " has no group &COST_MO; name the Info file of the CI run with INFO1 in &ROFIL");
}

}  // namespace

std::string nomf(std::string_view prefix, std::string_view base) {
  auto part = [](std::string_view s) {
    size_t k = s.substr(0, 10).find(' ');
    return k == std::string_view::npos ? std::string_view() : s.substr(0, k);
  };
  std::string name(part(prefix));
  name += part(base);
  name.resize(20, ' ');
  return name;
}

void colle(Run& run, std::string_view a, std::string_view b, std::string& result, int& length,
           int capacity) {
  result.assign(static_cast<size_t>(capacity), ' ');
  length = 0;
  for (std::string_view s : {a, b})
    for (char ch : s) {
      if (ch == ' ') continue;
      if (length == capacity) {
        run.io.list(kUnitReport, {"impossible de coller a et b. c pas assez long"});
        run.io.list(kUnitReport, {a});
        refuse(run, {b},
               "the name joined from PREFIX and " + std::string(b) + " is longer than " +
                   std::to_string(capacity) +
                   " characters; give the file's name whole (ORB1, ONEINT1, TRAONE1, COMFILE1)");
      }
      result[static_cast<size_t>(length++)] = ch;
    }
}

void nomfil(Run& run, int unit, std::string_view base, std::string_view full,
            std::string_view prefix, fio::Status status, fio::Form form, bool optional) {
  // The full name is used whole: cutting it to the report's 40-column field
  // could open another file than the one the user named.
  std::string name(blank(full.substr(0, 40)) ? nomf(prefix, base) : std::string(full));
  name.resize(rtrim(name).size());
  std::string field = name;
  if (field.size() < 40) field.resize(40, ' ');
  // The run description, optional, was opened as UNKNOWN once and its
  // report line keeps that word.
  std::string_view shown_status = status == fio::Status::Old && !optional ? "old    " : "UNKNOWN";
  run.io.write_line(kUnitListing, " ouverture de la file " + std::to_string(unit) + " " + field +
                                      std::string(shown_status) + "$");
  scril(run);
  if (optional)
    run.io.try_open(unit, name, status, form);
  else
    run.io.open(unit, name, status, form);
}

int nomfil3(Run& run, std::string_view full, std::string_view composed, std::string& name) {
  name = std::string(rtrim(full.empty() || full[0] == ' ' ? composed : full));
  // One record however long the name, so that the echo shows it whole.
  run.io.write_line(kUnitListing, " ouverture de la file " + name + "$");
  scril(run);
  if (!run.io.try_open_readonly(kUnitCheck, name, fio::Form::Unformatted)) return -1;
  run.io.close(kUnitCheck);
  return c_open(name.c_str());
}

namespace {

// Values that the run would pass over without a word: a stop point that
// does not exist, a capacity below the default (which is kept).
void warn_ignored_options(Run& run, bool mem_given) {
  const std::string stop(rtrim(run.stp.view()));
  if (stop != "FIN" && stop != "ORDET")
    warn(run, "STOP='" + stop + "' in &RHO names no stop point (ORDET, or FIN for the end); the "
              "run goes to its end");
  if (mem_given && run.memoire < kIadri)
    warn(run, "MEM=" + std::to_string(run.memoire) + " in &RHO is below the default capacity of " +
                  std::to_string(kIadri) + " determinants, which is used");
}

}  // namespace

void lirdav(Run& run) {
  run.orbi.ndel.fill(0);
  run.orbi.ngel.fill(0);
  run.ronum.numero(1) = kNotGiven;  // 1 once the decoding shows it left out
  run.ronum.numero(2) = kNotGiven;
  run.ronum.nracines = 0;
  run.ronum.nracinesa = 0;
  run.ronum.orbnat = 0;
  run.symxyz.fill(1);
  run.pr.nprint = 0;
  // The threshold is a single-precision 0.05 carried in a double.
  run.infdav.twvec = static_cast<double>(0.05f);
  run.stp.assign("FIN");
  run.memoire = 0;
  run.symxxyyzz.fill(1);
  run.hacer.ioper = 1;
  run.hacer.molcas = 5;
  run.rocal.calcro = 0;
  run.pr.mprint.fill(0);
  run.switches = Switches{.packed_lists = true};
  run.sysp1 = '0';

  std::string text;
  int ierr = 0;
  lecnam(run, "&RHO", text, kUnitInput, ierr, 1);
  std::string given = text;
  nameli(run, text, run.orbi.ndel, "NDEL");
  nameli(run, text, run.orbi.ngel, "NGEL");
  const int roots = nameli(run, text, run.ronum.numero, "NUMERO");
  const bool numero_given[2] = {run.ronum.numero(1) != kNotGiven, run.ronum.numero(2) != kNotGiven};
  for (int k = 1; k <= 2; ++k)
    if (!numero_given[k - 1]) run.ronum.numero(k) = 1;
  nameli(run, text, run.symxyz(1), "ISX");
  nameli(run, text, run.symxyz(2), "ISY");
  nameli(run, text, run.symxyz(3), "ISZ");
  nameli(run, text, run.pr.nprint, "NPRINT");
  nameld(run, text, run.infdav.twvec, "TWVEC");
  namela(run, text, run.opt.calcul, "CALCUL");
  namela(run, text, run.stp, "STOP");
  const bool mem_given = nameli(run, text, run.memoire, "MEM") > 0;
  listed_roots(run, text, "RACINES", 2, numero_given[1], run.ronum.nracines, run.ronum.racines);
  listed_roots(run, text, "RACINESA", 1, numero_given[0], run.ronum.nracinesa, run.ronum.racinesa);
  band_width(run, text);
  nameli(run, text, run.ronum.orbnat, "ORBNAT");
  check_items(run, "&RHO", given, text, kRhoKeys);
  if (run.ronum.nracines == 0) warn_single_root(run, roots);
  // Roots of the first file without roots of the second: each against
  // root NUMERO(2).
  if (run.ronum.nracinesa > 0 && run.ronum.nracines == 0) {
    run.ronum.nracines = 1;
    run.ronum.racines(1) = run.ronum.numero(2);
  }
  // "&RHC" is searched from where "&RHO" ended: it must follow it.
  lecnam(run, "&RHC", text, kUnitInput, ierr, 1);
  given = text;
  nameli(run, text, run.symxxyyzz(1), "ISXY");
  nameli(run, text, run.symxxyyzz(2), "ISXZ");
  nameli(run, text, run.symxxyyzz(3), "ISYZ");
  nameli(run, text, run.hacer.ioper, "IPROP");
  run.hacer.molcas_given = nameli(run, text, run.hacer.molcas, "MOLCAS") > 0;
  nameli(run, text, run.rocal.calcro, "CALCRO");
  check_items(run, "&RHC", given, text, kRhcKeys);
  for (int k = 1; k <= 2; ++k)
    if (run.ronum.numero(k) < 1)
      refuse_input(run, "&RHO: NUMERO(" + std::to_string(k) + ") = " +
                            std::to_string(run.ronum.numero(k)) + " is not a root (1 or more)");
  for (int s = 1; s <= 8; ++s)
    for (const auto* counts : {&run.orbi.ngel, &run.orbi.ndel})
      if ((*counts)(s) < 0 || (*counts)(s) > kMaxOrb)
        refuse_input(run, std::string("&RHO: ") + (counts == &run.orbi.ngel ? "NGEL(" : "NDEL(") +
                              std::to_string(s) + ") = " + std::to_string((*counts)(s)) +
                              " orbitals (0 to " + std::to_string(kMaxOrb) + ")");
  if (run.ronum.orbnat < 0 || run.ronum.orbnat > 2)
    refuse_input(run, "&RHO: ORBNAT = " + std::to_string(run.ronum.orbnat) +
                          " (0 orbital files of the pair, 1 and their table, 2 and those of every "
                          "listed root)");
  if (run.hacer.ioper < 0 || run.hacer.ioper > 2)
    refuse_input(run, "&RHC: IPROP = " + std::to_string(run.hacer.ioper) +
                          " (0 all moments, 1 dipoles, 2 quadrupoles)");

  run.io.rewind(kUnitListing);
  maj(run.stp.data(), 8);
  maj(run.opt.calcul.data(), 3);
  warn_ignored_options(run, mem_given);
  fio::NamelistOut(run.io, kUnitListing, "RHO")
      .add("NPRINT", run.pr.nprint)
      .add("TWVEC", run.infdav.twvec)
      .add("STOP", run.stp.view())
      .add("NGEL", std::span<const int>(run.orbi.ngel.v))
      .add("NDEL", std::span<const int>(run.orbi.ndel.v))
      .add("MEM", run.memoire)
      .add("ISX", run.symxyz(1))
      .add("ISY", run.symxyz(2))
      .add("ISZ", run.symxyz(3))
      .end();
  run.io.list(kUnitListing, {" mprint="});
  run.io.write(kUnitListing, "(10i4)", fio::Items().all(run.pr.mprint.data(), 10));
  run.io.list(kUnitListing, {" itest="});
  run.io.write(kUnitListing, "(5(10i4,/))", fio::Items().all(run.switches.listing().data(), 50));
  fio::NamelistOut(run.io, kUnitListing, "RHC")
      .add("ISXY", run.symxxyyzz(1))
      .add("ISXZ", run.symxxyyzz(2))
      .add("ISYZ", run.symxxyyzz(3))
      .add("IPROP", run.hacer.ioper)
      .add("MOLCAS", run.hacer.molcas)
      .add("CALCRO", run.rocal.calcro)
      .end();
  scrinam(run, "NAMELIST RHO,RHC");
  run.io.list(kUnitReport, {kRule60});
  run.io.list(kUnitReport, {" "});
}

void openf(Run& run) {
  Rofil f;
  read_rofil(run, f);
  run.ref2.prefix = f.prefix;

  run.io.list(kUnitReport, {" "});
  run.io.list(kUnitReport, {kRule});
  run.io.list(kUnitReport, {"openf   ouverture des files"});
  run.io.list(kUnitReport, {kRule});
  echo_rofil(run, f);

  open_orbitals(run, f);
  warn_file_names(run, f.orb1.view(), f.prefix.view(), nomf(f.prefix.view(), ""));
  lirdav(run);
  open_molcas(run, f);

  nomfil(run, kUnitInfo, f.info.view(), f.info1.view(), f.prefix.view(), fio::Status::Old,
         fio::Form::Formatted);
  // The run description is an input: a missing one is told, never created.
  nomfil(run, kUnitVrt, f.vrt.view(), f.vrt1.view(), f.prefix.view(), fio::Status::Old,
         fio::Form::Formatted, true);
  run.io.rewind(kUnitInfo);
  run.io.list(kUnitReport, {"coucou"});
  first_look_info(run);
  run.io.list(kUnitReport, {"1coucou"});
  run.io.rewind(kUnitInfo);

  const struct {
    int unit;
    const FChar<kNameLength>& base;
    const FChar<kNameLength>& full;
  } ci_files[] = {{kUnitDetA, f.deta, f.deta1},
                  {kUnitDetB, f.detb, f.detb1},
                  {kUnitVecA, f.daveca, f.daveca1},
                  {kUnitVecB, f.davecb, f.davecb1}};
  for (const auto& c : ci_files)
    nomfil(run, c.unit, c.base.view(), c.full.view(), f.prefix.view(), fio::Status::Old,
           fio::Form::Unformatted);
  run.io.list(kUnitReport, {kRule});
  run.io.list(kUnitReport, {" "});
}

}  // namespace ciprop
