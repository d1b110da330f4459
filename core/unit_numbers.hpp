// Every unit of the run: the number that names an open file, the file behind
// it and what it carries.  Units are fixed per file, so a stage that reads
// what an earlier stage left on a unit finds it here.
#pragma once

namespace ciprop {

inline constexpr int kUnitOrbitals = 1;   // MOLCAS orbital file ("INPORB", "RasOrb", "ScfOrb")
inline constexpr int kUnitVrt = 4;        // run description of the CI program ("&VRT")
inline constexpr int kUnitStdin = 5;      // standard input: the namelist groups of the run
inline constexpr int kUnitReport = 6;     // standard output: the report
inline constexpr int kUnitVecA = 10;      // "daveca": CI vectors of the first state
inline constexpr int kUnitVecB = 11;      // "davecb": CI vectors of the second state
inline constexpr int kUnitMattemp = 33;   // "Mattemp": scratch of the list check
inline constexpr int kUnitCheck = 34;     // existence check of a MOLCAS file
inline constexpr int kUnitInfo = 45;      // Info file: orbitals ("&COST_AO", "&COST_MO")
inline constexpr int kUnitDetA = 60;      // "deta": determinants of the first vectors
inline constexpr int kUnitDetB = 61;      // "detb": determinants of the second vectors,
                                          // then "ORDET" once reordered
inline constexpr int kUnitOrdet = 62;     // "ORDET": the second list in address order
inline constexpr int kUnitDens = 63;      // "dens": state densities of the CI program
inline constexpr int kUnitListing = 75;   // "BID75": debug listing and compact-echo buffer
inline constexpr int kUnitBid84 = 84;     // "BID84": addresses in file order, blocks of 2048
inline constexpr int kUnitIadrv = 87;     // "IADRV": file position of each address
inline constexpr int kUnitInput = 93;     // "BID93": 80-column copy of standard input

}  // namespace ciprop
