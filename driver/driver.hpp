// The entry point's two steps: the banner and the run driver, which runs every
// stage once in a fixed order.
#pragma once
#include <functional>

#include "detspace/address_tables.hpp"

namespace ciprop {

// The stages of a run, in the order they run.
enum class Stage {
  OpenFiles,         // "&ROFIL", "&RHO", "&RHC"; every input file on its unit
  RunDescription,    // "&VRT" and the Info file; the determinant count guard
  OrbitalClasses,    // inactive, active and virtual orbitals by symmetry
  Categories,        // excitation categories, space sizes, address tables
  DeterminantLists,  // the second list checked and rewritten in address order
  Integrals,         // dipole and quadrupole integrals over the CI orbitals
  Density,           // RO computed from the vectors or read from "dens"
  Moments,           // the property tables of the report
  OrbitalFiles,      // natural (transition) orbitals of the densities, as orbital files
};

// Runs the stages first to last, in order, on the units and records that the
// earlier ones left; after(stage), when given, is called once each stage has
// run.  The program runs them all; tests run a part in-process.
void run_stages(Run& run, Stage first, Stage last,
                const std::function<void(Stage)>& after = nullptr);

void banner(Run& run);
// The check of the second determinant list against the addressing and its
// reordering into address order, with the work-array views they use.
void determinant_lists(Run& run, const AddressTables& tables);
// Opens the listing and the copy of standard input, then runs every stage.
void driver(Run& run);
// A whole run as the program does it: banner, driver, " FIN".  Returns the
// exit status (a stop ends the run early with its own status).
int run_program(Run& run);

}  // namespace ciprop
