// The layout of the determinant lists, told by their first record.  A plain
// list starts with a record of one four-byte integer, the substitution count
// of its first determinant; a packed block holds three four-byte counts and
// at least one descriptor byte, so it is never shorter than 13 bytes.
#pragma once
#include "core/run_state.hpp"

namespace ciprop {

// Reads the first record of both lists (units 60 and 61), selects the
// reader of their layout and leaves both lists at their start.  Two lists of
// different layouts are refused; an empty list keeps the packed reader,
// which then finds no determinant.
void choose_list_layout(Run& run);

}  // namespace ciprop
