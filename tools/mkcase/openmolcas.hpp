// The files of current OpenMolcas (18.09 and later) for a generated case,
// written from the description of their layouts: OneInt (a table of
// contents of labelled operator components, eight-byte integers, addresses
// in 512-byte units), TraOne (MOTRA's counts, one item per 512-byte block),
// the RunFile (counts and titles), and the orbital file in the "#INPORB"
// layouts.
#pragma once
#include <string>
#include <vector>

#include "tools/mkcase/molcas.hpp"

namespace mkcase {

// The #INPORB version of the case's orbital file, "" for the headerless
// layout of MOLCAS 4, 5 and 54.
std::string inporb_version(const Description& d);

// A coefficient as the orbital file of that version writes it: "(4E18.12)"
// for 1.x, "(5(1X,ES21.14))" for 2.x; `value` receives the number the text
// stands for.
std::string inporb_field(const std::string& version, double x, double& value);

// The title lines the program shows for a RunFile of the case: Gateway's
// title in 73 characters, SEWARD's line in 70.
std::string openmolcas_title(const Description& d);

// OneInt, TraOne and RunFile into dir.
void write_openmolcas(const Description& d, const MolcasCase& m, const std::string& dir);

// The orbital file "INPORB" in the #INPORB layout of the case; fields are
// the coefficient texts of every orbital, symmetry by symmetry.
void write_inporb_sections(const Description& d, const MolcasCase& m,
                           const std::vector<std::string>& fields, const std::string& path);

}  // namespace mkcase
