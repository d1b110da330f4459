// The threads of a run.  Work that is the same for every item of a batch
// (the phase of a determinant, its address) is cut into shares whose
// boundaries depend on the batch alone; each item's result is its own, so
// it is the same whoever computes it and however many threads there are.
#pragma once
#include <functional>

namespace ciprop {

// Threads of the run: the environment variable CIPROP_THREADS when it holds
// a positive count, else the processors of the machine.
int run_threads();

// Runs work(lo, hi) over [0, count) cut into at most run_threads() shares of
// at least min_share items, the first share on the calling thread; returns
// when every share is done.
void in_shares(int count, int min_share, const std::function<void(int lo, int hi)>& work);

}  // namespace ciprop
