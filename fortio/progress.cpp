#include "fortio/progress.hpp"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <ostream>

namespace fio {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(250);
constexpr const char* kEraseLine = "\r\033[K";

// A count per second with a k or M suffix.
std::string rate_text(double rate) {
  char buf[32];
  if (rate >= 1e6)
    std::snprintf(buf, sizeof buf, "%.1fM/s", rate / 1e6);
  else if (rate >= 1e3)
    std::snprintf(buf, sizeof buf, "%.1fk/s", rate / 1e3);
  else
    std::snprintf(buf, sizeof buf, "%.0f/s", rate);
  return buf;
}

}  // namespace

Progress::Progress(Units& io, std::string_view label, long long total)
    : io_(io),
      label_(label),
      total_(std::max(total, 1LL)),
      // Off the terminal the display never shows: no count reaches next_.
      next_(io.err_is_terminal() ? 0 : std::numeric_limits<long long>::max()),
      step_(std::max(total_ / 1000, 1LL)),
      start_(Clock::now()),
      last_(start_) {}

Progress::~Progress() {
  if (!shown_) return;
  io_.err() << kEraseLine;
  io_.err().flush();
}

void Progress::redraw(long long done) {
  next_ = done + step_;
  const auto now = Clock::now();
  if (shown_ && now - last_ < kRedraw) return;
  last_ = now;
  shown_ = true;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  char line[160];
  if (done > 0 && rate > 0) {
    const double left = static_cast<double>(total_ - std::min(done, total_)) / rate;
    std::snprintf(line, sizeof line, "%s %3d%%  %s  %.0f s left", label_.c_str(),
                  static_cast<int>(100 * std::min(done, total_) / total_), rate_text(rate).c_str(),
                  left);
  } else {
    std::snprintf(line, sizeof line, "%s   0%%", label_.c_str());
  }
  io_.err() << '\r' << line << "\033[K";
  io_.err().flush();
}

}  // namespace fio
