// The density of the run: computed from the two CI vectors, or read from the
// CI program's density file when both files name the same root with the same
// energy and the run does not ask for the computation.
#pragma once
#include "driver/runstate.hpp"

namespace ciprop {

void density_stage(Run& run);

}  // namespace ciprop
