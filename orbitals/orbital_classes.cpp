#include "orbitals/orbital_classes.hpp"

#include <string_view>

#include "core/print.hpp"
#include "input/run_description.hpp"

namespace ciprop {

namespace {

constexpr std::string_view kRule52 = "====================================================";
constexpr std::string_view kRule53 = "=====================================================";

// Spin tables of the determinant addressing.  Elements 1 to 25 are a 5 x 5
// table over the change in active electrons (-2..2) and the spin index
// (-2..2), element 13 + 5 x change + index, holding the change in 2 Sz of
// the active part; elements 26 to 34 map a change of 2 Sz from -4 to 4 to a
// spin index.
void fill_util(Run& run) {
  static constexpr int kUtil[34] = {0,  -2, 0,  2,  0,  -3, -1, 0,  1,  3,  -4, -2,
                                    0,  2,  4,  -3, -1, 0,  1,  3,  0,  -2, 0,  2,
                                    0,  -2, -2, -1, -1, 0,  1,  1,  2,  2};
  for (int k = 1; k <= 34; ++k) run.util(k) = kUtil[k - 1];
}

// Orbitals 1..nocc are occupied in the reference, the rest empty; the
// active ones are taken out of both, wherever they lie.
void classes(Run& run) {
  Cs& cs = run.cs;
  for (int i = 1; i <= run.orb.norb; ++i) cs.itype(i) = i <= run.orb.nocc ? 1 : 3;
  for (int k = 1; k <= cs.noac; ++k) cs.itype(cs.numac(k)) = 2;
}

void flags(Run& run) {
  const FChar<4>& g = run.prep.gener;
  run.prep.ycas1 = g == "CAS " || g == "MRC ";
  run.prep.ymono = g == "MONO" || g == "MRM " || g == "MRTM";
}

void class_report(Run& run) {
  run.io.write_line(kUnitReport, "");
  run.io.list(kUnitReport, {kRule52});
  run.io.list(kUnitReport, {"prepar  analyse des donnees concernant les orbitales"});
  run.io.list(kUnitReport, {kRule52});
  run.io.list(kUnitReport, {"TYPE DES ORBITALES   occ 1     CAS 2     virt 3"});
  scriorb(run, run.cs.itype.data(), run.orb.norb);
}

void counts(Run& run) {
  Orb& orb = run.orb;
  Sy2& s = run.sy2;
  const auto& isym = run.sym.isym;
  orb.ninac = 0;
  orb.nvirt = 0;
  s.nts.fill(0);
  s.ncs.fill(0);
  s.nps.fill(0);
  for (int i = 1; i <= orb.norb; ++i) {
    int k = ++s.norbs(isym(i));
    run.sy3.itorbi(i) = k;
    run.sy7.iorbsy(isym(i), k) = i;
  }
  for (int i = 1; i <= orb.nocc; ++i) {
    if (run.cs.itype(i) == 1) {
      ++orb.ninac;
      run.orb2.linac(orb.ninac) = i;
      run.orb2.linacb(orb.ninac) = i + orb.norb;
      ++s.nts(isym(i));
    } else {
      ++s.ncs(isym(i));
    }
  }
  for (int i = orb.nocc + 1; i <= orb.norb; ++i) {
    if (run.cs.itype(i) == 3) {
      ++orb.nvirt;
      run.orb2.lvirt(orb.nvirt) = i;
      run.orb2.lvirtb(orb.nvirt) = i + orb.norb;
      ++s.nps(isym(i));
    } else {
      ++s.ncs(isym(i));
    }
  }
}

// Orbitals ranked inactive first, then active in CAS order, then virtual.
void ranks(Run& run) {
  Sy3& s = run.sy3;
  int r = 0;
  auto rank_list = [&](const int* list, int n) {
    for (int k = 1; k <= n; ++k) {
      int i = list[k - 1];
      s.isbrot(i) = ++r;
      s.itorbc(i) = k;
    }
  };
  rank_list(run.orb2.linac.data(), run.orb.ninac);
  rank_list(run.cs.numac.data(), run.cs.noac);
  rank_list(run.orb2.lvirt.data(), run.orb.nvirt);
  for (int i = 1; i <= run.orb.norb; ++i) s.itorbs(s.isbrot(i)) = i;
}

void offsets(Run& run) {
  Sy4& t = run.sy4;
  const Sy2& s = run.sy2;
  t.ntstot(0) = t.ncstot(0) = t.npstot(0) = 0;
  for (int k = 1; k <= run.sym.nsym; ++k) {
    t.ntstot(k) = t.ntstot(k - 1) + s.nts(k);
    t.ncstot(k) = t.ncstot(k - 1) + s.ncs(k);
    t.npstot(k) = t.npstot(k - 1) + s.nps(k);
  }
}

// A label and a list under "(1X,A12,10(20I4,/))".
void labelled(Run& run, std::string_view label, const int* values, int n) {
  run.io.write(kUnitReport, "(1X,A12,10(20I4,/))", fio::Items{label}.all(values, n));
}

// A class: its label, its count and its orbitals, 20 a line.
void class_list(Run& run, std::string_view label, const int* list, int n) {
  run.io.write(kUnitReport, "(1X,A12,I4,A3,20I4,/,12(20X,20I4))",
               fio::Items{label, n, "   "}.all(list, n));
}

void space_report(Run& run) {
  const Orb& orb = run.orb;
  run.io.list(kUnitReport, {kRule53});
  run.io.write_line(kUnitReport, "");
  run.io.list(kUnitReport, {"=======ORBITALES OCCUPEES, ACTIVES, VIRTUELLES======="});
  run.io.write_line(kUnitReport, "");
  class_list(run, "inactives   ", run.orb2.linac.data(), orb.ninac);
  class_list(run, "actives     ", run.cs.numac.data(), run.cs.noac);
  class_list(run, "virtuelles  ", run.orb2.lvirt.data(), orb.nvirt);
  run.io.write_line(kUnitReport, "");
  run.io.list(kUnitReport, {"nombre d'orbitales par symetrie"});
  int nsym = run.sym.nsym;
  labelled(run, "occupees    ", run.sy2.nts.data(), nsym);
  labelled(run, "CAS         ", run.sy2.ncs.data(), nsym);
  labelled(run, "virtuelles  ", run.sy2.nps.data(), nsym);
  labelled(run, "total       ", run.sy2.norbs.data(), nsym);
}

void rank_report(Run& run) {
  int norb = run.orb.norb, nsym = run.sym.nsym;
  labelled(run, "itorbi      ", run.sy3.itorbi.data(), norb);
  labelled(run, "isbrot      ", run.sy3.isbrot.data(), norb);
  labelled(run, "itorbs      ", run.sy3.itorbs.data(), norb);
  labelled(run, "itorbc      ", run.sy3.itorbc.data(), norb);
  // The offsets start at symmetry 1: element 0 is always 0.  The labels are
  // cut to the 12 columns of the field.
  labelled(run, "ntstot occupees", &run.sy4.ntstot(1), nsym);
  labelled(run, "ncstot CAS     ", &run.sy4.ncstot(1), nsym);
  labelled(run, "npstot virtuelles", &run.sy4.npstot(1), nsym);
}

}  // namespace

void prepar(Run& run) {
  fill_util(run);
  run.dets.detsto.empty_reader();
  classes(run);
  flags(run);
  if (run.pr.nprint >= 1) class_report(run);
  counts(run);
  ranks(run);
  offsets(run);
  space_report(run);
  for (int k = 1; k <= run.sym.nsym; ++k) run.non(k) = run.sy2.norbs(k);
  if (run.pr.nprint > 1) rank_report(run);
  run.io.list(kUnitReport, {kRule53});
  run.io.write_line(kUnitReport, "");
  run.io.write_line(kUnitReport, "");
}

}  // namespace ciprop
