#include "density/density_stage.hpp"

#include <algorithm>
#include <string>

#include "density/computed_density.hpp"
#include "density/density_file.hpp"
#include "density/absorption.hpp"
#include "density/vectors.hpp"

namespace ciprop {

void density_stage(Run& run, const AddressTables& tables) {
  // The first reading of the vector files checks their records.
  const VectorHead h1 = read_head(run, kUnitVecA, run.ronum.numero(1), true);
  const VectorHead h2 = read_head(run, kUnitVecB, run.ronum.numero(2), true);
  run.io.rewind(kUnitVecA);
  run.io.rewind(kUnitVecB);
  // The work array was sized for the second list; the first vector's space
  // (another symmetry) may be larger.
  const long long need = std::max(h1.ndim, h2.ndim);
  if (need > run.dim && need <= determinant_capacity(run)) size_work_array(run, need);
  // The one decision between a state and a transition density, for the
  // density source and for the frozen-orbital diagonal alike.
  const bool state = same_state(run.ronum.numero(1), h1, run.ronum.numero(2), h2);
  run.dens.state = state;
  if (run.ronum.nracines > 0) {
    spectrum_densities(run, tables, h1, h2);
    return;
  }
  const std::string dashes(54, '-');
  if (state && run.rocal.calcro == 0) {
    run.io.list(kUnitReport, {"La matriz de densidad se lee del fichero dens de VORTA"});
    run.io.list(kUnitReport, {dashes});
    leero(run, run.espa.a(), run.espa.b());
  } else {
    run.io.list(kUnitReport, {"La matriz de densidad se calcula"});
    run.io.list(kUnitReport, {dashes});
    calro(run, tables, state, run.espa.a(), run.espa.b());
  }
}

}  // namespace ciprop
