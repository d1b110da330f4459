// The one-electron files of current OpenMolcas (18.09 and later), selected
// by MOLCAS=22: OneInt with its table of contents of labelled operator
// components, TraOne with every item on its own 512-byte block, and the
// RunFile that took over from ComFile.  Integers are eight bytes and disk
// addresses count 512-byte units in all three.
#pragma once
#include <string>
#include <string_view>

#include "core/run_state.hpp"

namespace ciprop {

inline constexpr int kMolcasCurrent = 22;

// What MOTRA wrote to TraOne: the symmetry count, and per symmetry the basis
// functions, the orbitals kept (basis less frozen less deleted) and its
// frozen and deleted counts.
struct MotraCounts {
  int nsym = 0;
  Arr1<int, 1, 8> nbas, kept, nfro, ndel;
};
void read_motra_counts(Run& run, MotraCounts& c);

// The split of &RHO's NGEL and NDEL against MOTRA's, symmetry by symmetry:
// the same sum split otherwise would put the density on the wrong orbitals.
void check_motra_split(Run& run, const MotraCounts& c);

// Refuses a TraOne of the current layout read as an old one.
void check_traone_layout(Run& run);

// Refuses a OneInt whose id and version words (the first n bytes in header)
// contradict the MOLCAS version of the run, naming the file and both.
void check_oneint_layout(Run& run, const unsigned char* header, long n);

// The 143 characters of the title: Gateway's title and SEWARD's line from
// the RunFile, blank when there is none.
void runfile_title(Run& run, char* title);

// The table of contents of OneInt: itoc, the symmetry labels and the record
// bounds of the overlap, the dipole and the quadrupole components.
void read_oneint_toc(Run& run);

// The symmetry count and basis counts of the RunFile, when there is one,
// against TraOne's.
void check_runfile_counts(Run& run, int nsym, const Arr1<int, 1, 8>& nb);

// The keys of the run that give a component ("x" ... "zz") its symmetry:
// "ISX", "ISX x ISY", or "totally symmetric" for xx, yy, zz.
std::string symmetry_key(std::string_view name);

// One component (itoc entry; name "x" ... "zz") before it is read:
// present, of the symmetry isym the run gives it, laid out by the symmetry
// product table of OpenMolcas, and not running into the next record.
void check_component(Run& run, int entry, int isym, std::string_view name);

}  // namespace ciprop
