#include "driver/command_line.hpp"

#include <ostream>
#include <string>

namespace ciprop {

namespace {

constexpr std::string_view kUsage =
    "Usage: ciprop < input > report\n"
    "       ciprop --help | --version\n"
    "\n"
    "Dipole and quadrupole moments, transition dipole moment and oscillator\n"
    "strength between two roots of a CI wavefunction, from the files of a\n"
    "VORTA-family CI run and of MOLCAS.\n"
    "\n"
    "Standard input: namelist groups, in this order (a group out of order or\n"
    "after a missing one is not read), on lines of at most 80 columns:\n"
    "  &ROFIL  file names: PREFIX, and full names VRT1, INFO1, DETA1, DETB1,\n"
    "          DAVECA1, DAVECB1, ORB1, ONEINT1, TRAONE1, COMFILE1\n"
    "  &RHO    NUMERO (root of the first and second vector file), NGEL, NDEL\n"
    "          (frozen, deleted orbitals per symmetry), ISX, ISY, ISZ, NPRINT,\n"
    "          TWVEC, CALCUL, STOP, MEM, RACINES (roots of the second vector\n"
    "          file paired with NUMERO(1): a spectrum), RACINESA (roots of the\n"
    "          first file, each paired with those of RACINES), LARGEUR (band\n"
    "          width of the spectrum's picture, eV, default 0.3), ORBNAT (1:\n"
    "          print the occupations or weights of the orbital files; 2: also\n"
    "          the orbital files of every pair of a spectrum)\n"
    "  &RHC    IPROP (0 dipole and quadrupole, 1 dipole, 2 quadrupole), MOLCAS\n"
    "          (file version 4, 5 or 54), CALCRO (1: always compute the\n"
    "          density), ISXY, ISXZ, ISYZ\n"
    "  &COST   MOLCAS\n"
    "\n"
    "Files (working folder, or under PREFIX): vrt, Info, deta, detb, daveca,\n"
    "davecb, dens (optional), INPORB (or RasOrb, ScfOrb), OneInt, TraOne,\n"
    "ComFile (version 54).\n"
    "Output: the report on standard output; ciprop-results.json at the end of a\n"
    "finished run (and ciprop-spectrum.svg for several pairs; those of an\n"
    "earlier run are removed at the start); the natural orbitals of a state\n"
    "density (ciprop.NatOrb) or the natural transition orbitals of a\n"
    "transition density (ciprop.NtoHole, ciprop.NtoParticle) as #INPORB 2.2\n"
    "orbital files; scratch files BID75, BID93, BID84, IADRV, Mattemp, ORDET\n"
    "made anew in the working folder; errors (each with its reason) and\n"
    "warnings on standard error.\n"
    "\n"
    "Exit status: 0 finished run (also STOP='ORDET'); 1 error in the input or\n"
    "the files; 2 input/output error, or a bad argument; 210, 211, 212 namelist\n"
    "syntax error.\n";

}  // namespace

int command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  if (argc <= 1) return -1;
  const std::string_view arg = argv[1];
  if (argc == 2 && (arg == "--help" || arg == "-h")) {
    out << kUsage;
    return 0;
  }
  if (argc == 2 && arg == "--version") {
    out << "ciprop " << kVersion << '\n';
    return 0;
  }
  // --help and --version stand alone: the argument refused is the first one
  // that is not either of them.
  const bool known = arg == "--help" || arg == "-h" || arg == "--version";
  err << "ciprop: unknown argument '" << (known ? argv[2] : argv[1])
      << "'; the options are namelist groups on standard input\n"
      << kUsage;
  return 2;
}

void terminal_hint(bool input_is_terminal, std::ostream& err) {
  if (!input_is_terminal) return;
  err << "ciprop: reading the namelist groups &ROFIL, &RHO, &RHC, &COST from standard input "
         "(end with Ctrl-D; ciprop --help tells more)\n";
  err.flush();
}

}  // namespace ciprop
