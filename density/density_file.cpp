#include "density/density_file.hpp"

#include <string>

#include "density/computed_density.hpp"
#include "detspace/detlist.hpp"
#include "fortio/bytes.hpp"
#include "input/open_files.hpp"

namespace ciprop {

void stored_density(Run& run, double* ro, int ld, int root) {
  const int norb = run.orb.norb;
  std::string name;
  int length = 0;
  colle(run, run.ref2.prefix.view(), "dens", name, length);
  run.io.open(kUnitDens, name.substr(0, length), fio::Status::Old, fio::Form::Unformatted);
  // One record per root, root 1 first, each the norb x norb density of that
  // root over the correlated orbitals, column by column.
  double* val = run.dens.val.data();
  const size_t bytes = sizeof(double) * static_cast<size_t>(norb) * static_cast<size_t>(norb);
  for (int r = 1; r <= root; ++r) run.io.read_record(kUnitDens, val, bytes);
  const size_t count = static_cast<size_t>(norb) * static_cast<size_t>(norb);
  if (const size_t bad = fio::first_non_finite(val, count); bad < count)
    run.io.io_error(kUnitDens, "record " + std::to_string(root) + " (root " +
                                   std::to_string(root) + "): element " +
                                   std::to_string(bad + 1) + " is not a finite number");
  for (int i = 1; i <= norb; ++i)
    for (int j = 1; j <= norb; ++j)
      ro[(i - 1) + static_cast<size_t>(j - 1) * ld] = val[(i - 1) * norb + (j - 1)];
  run.io.close(kUnitDens);
}

void leero(Run& run, double* a, double* b) {
  read_vectors(run, a, b, "apres sgn");
  restart_list(run, kUnitDetA);
  stored_density(run, run.dens.mat.data(), kMaxOrb, run.ronum.numero(1));
  reintroduce(run, true);
}

}  // namespace ciprop
