// The excitation categories of a generation mode and the tables that give
// every block of its CI space an offset.
#pragma once
#include <string_view>

#include "core/run_state.hpp"

namespace ciprop {

void prepad(Run& run);
void combin(int* list, int n, int k, int& count, int ldim, int maxrows);
void rang0(Run& run, int n, int k);
void maxdetca(Run& run);
void sub_mdc(Run& run, int na, int nb);
void maxdett(Run& run);
void maxdetp(Run& run);
void categ(Run& run);
// The ispc1 list of the mode for an active-electron change nelc; returns its
// length n and fills list.
void vispc(Run& run, int nelc, int& n, int* list, std::string_view gener);

}  // namespace ciprop
