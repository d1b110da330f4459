#include "density/source.hpp"

#include <algorithm>
#include <string>

#include "density/calro.hpp"
#include "density/leero.hpp"
#include "density/vectors.hpp"

namespace ciprop {

void density_stage(Run& run, const AddressTables& tables) {
  const VectorHead h1 = read_head(run, kUnitVecA, run.ronum.numero(1));
  const VectorHead h2 = read_head(run, kUnitVecB, run.ronum.numero(2));
  run.infdav.nvec = h2.nvec;
  // The work array was sized for the second list; the first vector's space
  // (another symmetry) may be larger.
  const long long need = std::max(h1.ndim, h2.ndim);
  if (need > run.dim && need <= determinant_capacity(run)) size_work_array(run, need);
  run.io.rewind(kUnitVecA);
  run.io.rewind(kUnitVecB);
  const std::string dashes(54, '-');
  // Only an exact equality of the energies marks the same state: two
  // degenerate roots of one file are different states.
  if (run.ronum.numero(1) == run.ronum.numero(2) && run.rocal.calcro == 0 &&
      h1.energy == h2.energy) {
    run.io.list(6, {"La matriz de densidad se lee del fichero dens de VORTA"});
    run.io.list(6, {dashes});
    leero(run, run.espa.a(), run.espa.b());
  } else {
    run.io.list(6, {"La matriz de densidad se calcula"});
    run.io.list(6, {dashes});
    calro(run, tables, run.espa.a(), run.espa.b());
  }
}

}  // namespace ciprop
