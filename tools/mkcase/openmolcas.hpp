// The files of current OpenMolcas (18.09 and later) for a generated case,
// written from the description of their layouts: OneInt (a table of
// contents of labelled operator components, eight-byte integers, addresses
// in 512-byte units), TraOne (MOTRA's counts, one item per 512-byte block),
// the RunFile (counts and titles), and the orbital file in the "#INPORB"
// layouts.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "tools/mkcase/molcas.hpp"

namespace mkcase {

// Where the files of current OpenMolcas keep what the property program
// reads, in bytes: the writers below follow it, and the damaged-input
// campaign walks the written files by it.
namespace current_layout {
inline constexpr size_t kBlock = 512;  // the unit of every disk address
// OneInt: id and version words, then from byte 168 entries of five words
// (label, unused, component, symmetry label, address); the records follow
// the whole table.
inline constexpr size_t kTocFirst = 168, kTocEntry = 40, kTocBytes = 1417216, kTocNext = 1415848;
// TraOne: one item per block; the counts are eight words each.
inline constexpr size_t kTraSymCount = 1024, kTraBasis = 1536, kTraKept = 2048,
                        kTraFrozen = 2560, kTraDeleted = 3072, kTraLabels = 3584;
// RunFile: header words 5 (the labels of 16 characters) and 6 to 9 (the
// tables of addresses, lengths, maximum lengths and types), 1024 slots.
inline constexpr size_t kRunLabelsWord = 4, kRunTablesWord = 5, kRunSlots = 1024,
                        kRunLabelLength = 16;
}  // namespace current_layout

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
