// The threads of the density stage.  Its work is cut into pieces whose
// boundaries depend on the space alone, each piece summed into storage of
// its own and the pieces reduced in their order afterwards, so that the
// figures are the same bits whatever the thread count and whichever thread
// takes a piece.
#pragma once
#include <cstddef>
#include <functional>

#include "fortio/units.hpp"

namespace ciprop {

// The threads that `count` pieces keep busy: run_threads(), at most one
// per piece, at least one.
int piece_threads(size_t count);

// Runs work(piece, thread) for every piece 0..count-1 on `threads` threads
// (thread 0 the calling one), each piece taken once by whichever thread is
// free first; the calling thread draws the progress line of the pieces done.
void run_pieces(fio::Units& io, size_t count, int threads,
                const std::function<void(size_t piece, int thread)>& work);

}  // namespace ciprop
