// Print helpers shared by the stages: the compact echo through the scratch
// listing "BID75", the matrix printer and the dimension guard.
#pragma once
#include <string_view>

#include "core/run_state.hpp"
#include "core/unit_numbers.hpp"

namespace ciprop {

// Shows the line that the caller has just written to unit 75 (its last item
// ending in "$") on standard output with blank runs collapsed.
void scril(Run& run);
// Prints text up to its first "$", keeping the first character and dropping
// every blank that follows a blank.
void scri(Run& run, std::string_view text);
// Prints the n x m block of a (leading dimension lda) in panels of 10 columns.
void script(Run& run, const double* a, int n, int m, int lda);
// Prints the (last) list-directed line of a fatal condition in the report and
// stops the run with an error status, saying `reason` on standard error.
[[noreturn]] void refuse(Run& run, const fio::Items& line, std::string_view reason);
// Dimension guard: returns when value <= limit, else prints the message (its
// first 40 characters) with the value and the limit and stops the run;
// standard error says `what` exceeds the limit, with both numbers, and `hint`.
void verdim(Run& run, std::string_view message, long long value, long long limit,
            std::string_view what, std::string_view hint);

}  // namespace ciprop
