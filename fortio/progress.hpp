// A one-line progress display on standard error for the long stages, shown
// only when standard error is a terminal: the fraction done, the rate and the
// time left, redrawn in place a few times a second and erased when the stage
// ends.  Standard output never carries it.
#pragma once
#include <chrono>
#include <string>
#include <string_view>

#include "fortio/units.hpp"

namespace fio {

class Progress {
 public:
  // `total` items of work (determinants, operators ...), counted by tick().
  Progress(Units& io, std::string_view label, long long total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `done` items finished.  Cheap between redraws: one comparison.
  void tick(long long done) {
    if (done >= next_) redraw(done);
  }

 private:
  using Clock = std::chrono::steady_clock;
  void redraw(long long done);

  Units& io_;
  std::string label_;
  long long total_;
  long long next_;   // the next count at which the clock is read
  long long step_;   // counts between two readings of the clock
  bool shown_ = false;
  Clock::time_point start_, last_;
};

}  // namespace fio
