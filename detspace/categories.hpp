// The excitation categories of a generation mode and the tables that give
// every block of its CI space an offset.
#pragma once
#include <string_view>

#include "core/run_state.hpp"

namespace ciprop {

// prepad: the stage; the strings of the active orbitals, their ranks, the
// class counts, the categories of the mode and the block offsets.
void prepad(Run& run);
// combin: every k-subset of 1..n in lexicographic order, as rows of list
// ldim apart; count receives their number, and more than maxrows stop the run.
void combin(int* list, int n, int k, int& count, int ldim, int maxrows);
// rang0: the weights z of the lexicographic rank of k-subsets of 1..n.
void rang0(Run& run, int n, int k);
// maxdetca: active determinants per class and per alpha-string symmetry.
void maxdetca(Run& run);
// sub_mdc: the part of maxdetca for na alpha and nb beta active electrons.
void sub_mdc(Run& run, int na, int nb);
// maxdett, maxdetp: hole and particle configurations per class.
void maxdett(Run& run);
void maxdetp(Run& run);
// categ: the excitation categories that the generation mode keeps and the
// offset and size of each of its blocks for the run's symmetry.
void categ(Run& run);
// The offset and size of every block of the mode's space for states of the
// given symmetry, once categ has run; prints nothing.
void block_offsets(Run& run, int symmetry, BlockTable& t);
// The ispc1 list of the mode for an active-electron change nelc; returns its
// length n and fills list.
void vispc(Run& run, int nelc, int& n, int* list, std::string_view gener);

}  // namespace ciprop
