// The threads of the density stage.  Its work is cut into pieces whose
// boundaries depend on the space alone, each piece summed into storage of
// its own and the pieces reduced in their order afterwards, so that the
// figures are the same bits whatever the thread count and whichever thread
// takes a piece.
#pragma once
#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "density/transition_density.hpp"
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

// What the kernels ask of their vectors: psi1 gathered into the address
// order of its space, one ket at least, every ket of the tables' space (its
// symmetry and size), and no stop of adrdet on one address (a look at the
// per-excitation path).
bool kernel_vectors(const AddressTables& tables, int symmetry, const CiVector& psi1,
                    std::span<const CiVector> kets);

// Rows r0 .. r1-1 of one item of work (a block of a space and the like).
struct PieceRun {
  int item;
  long long r0, r1;
};
using Piece = std::vector<PieceRun>;

// The items' rows, in order, cut into pieces of about equal weight: as many
// as the work gives (one per 4096 of weight, at most 64) and as the memory
// of their sums allows (sum_bytes each, within 64 MB); fixed by the items
// alone.  Item k holds rows(k) rows of weight(k) each.
std::vector<Piece> plan_pieces(size_t items, const std::function<long long(size_t)>& rows,
                               const std::function<long long(size_t)>& weight, long long sum_bytes);

// The sums of one piece of work, per ket: the density elements (norb x
// norb, column-major), then, for the diagonal of the orbitals outside the
// active space, the overlap of the determinants summed over all of them,
// over those with a hole in each spin-orbital (counted once per hole) and
// over those with a particle in it; and the connected pairs met.
struct PieceSums {
  double* sums;
  size_t stride;  // doubles per ket
  int norb;
  long long pairs = 0;

  static size_t stride_for(int norb) {
    return static_cast<size_t>(norb) * norb + 2 * (2 * static_cast<size_t>(norb) + 1) + 1;
  }
  double* ket(int k) const { return sums + static_cast<size_t>(k) * stride; }
  size_t holes() const { return static_cast<size_t>(norb) * norb; }
  size_t parts() const { return holes() + 2 * static_cast<size_t>(norb) + 1; }
  size_t all() const { return parts() + 2 * static_cast<size_t>(norb) + 1; }
};

// Runs work(piece, sums, thread) for every piece on the run's threads, each
// piece into zeroed sums of its own, adds the pieces' sums in piece order
// and makes the density of each ket from them.  With the diagonal (a
// transition of symmetry 1), an inactive orbital of class 1 in `cls` (by
// orbital 1..norb) is doubly occupied but where a hole is, a virtual one of
// class 3 occupied where a particle is.
std::vector<TransitionDensity> sum_pieces(
    fio::Units& io, const std::vector<Piece>& pieces, int norb, int nkets,
    const std::vector<int>& cls, bool diagonal,
    const std::function<void(const Piece&, PieceSums&, int thread)>& work);

}  // namespace ciprop
