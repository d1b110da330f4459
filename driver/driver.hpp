// The entry point's two steps: the banner and the run driver, which runs every
// stage once in a fixed order.
#pragma once
#include "detspace/address_tables.hpp"

namespace ciprop {

void banner(Run& run);
// The check of the second determinant list against the addressing and its
// reordering into address order, with the work-array views they use.
void determinant_lists(Run& run, const AddressTables& tables);
void driver(Run& run);
// A whole run as the program does it: banner, driver, " FIN".  Returns the
// exit status (a stop ends the run early with its own status).
int run_program(Run& run);

}  // namespace ciprop
