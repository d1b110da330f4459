// The threads of a run.  Work that is the same for every item of a batch
// (the phase of a determinant, its address) is cut into shares whose
// boundaries depend on the batch alone; each item's result is its own, so
// it is the same whoever computes it and however many threads there are.
#pragma once
#include <functional>
#include <memory>

namespace ciprop {

// Threads of the run: the environment variable CIPROP_THREADS when it holds
// a positive count, else the processors of the machine.
int run_threads();
// The count CIPROP_THREADS asks for: 0 when it is not set, or not a
// positive number that fits an int.
int threads_asked();

// Runs work(lo, hi) over [0, count) cut into at most run_threads() shares of
// at least min_share items, the first share on the calling thread; returns
// when every share is done.
void in_shares(int count, int min_share, const std::function<void(int lo, int hi)>& work);

// Runs work(piece) for the pieces 0 .. count - 1 as threads come free: the
// run's workers start on them at once, and the calling thread joins in at
// join(), once it has done work of its own meanwhile (a pass over a list
// takes one batch in list order while the next is decoded).  Until then
// the caller's own in_shares run on the caller alone.  Every piece's result
// is its own, so it is the same whoever computes it.  Destroyed before
// join() (the caller's work threw), it skips the pieces not begun and waits
// for those begun.
class Overlap {
 public:
  Overlap(int count, std::function<void(int piece)> work);
  ~Overlap();
  Overlap(const Overlap&) = delete;
  Overlap& operator=(const Overlap&) = delete;
  void join();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ciprop
