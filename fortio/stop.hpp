// Ending the run.  Every stop unwinds to the entry point as a StopRun, so that
// open units are flushed and the exit status is set in one place; tests catch
// it to look at the status.
#pragma once
#include <string>
#include <string_view>

namespace fio {

// Exit statuses.  A finished run and a stop the user asked for end with 0;
// every stop caused by an error ends with a non-zero status.
inline constexpr int kStatusFinished = 0;
inline constexpr int kStatusError = 1;     // fatal condition, message on stdout
inline constexpr int kStatusIoError = 2;   // input/output error on a unit

struct StopRun {
  int status;
  std::string shown;  // text shown on standard error ("STOP 210"), may be empty
};

// Fatal condition whose message lines are already printed: no stop text.
[[noreturn]] void stop_error();
// Stop with a numeric code (the namelist errors 210, 211, 212): shows
// "STOP <code>" on standard error; the code is the exit status.
[[noreturn]] void stop_code(int code);
// Stop with a text ("22"): shows "STOP <text>" on standard error, status 1.
[[noreturn]] void stop_text(std::string_view text);
// A stop the user asked for ("stop ORDET"): shows "STOP <text>", status 0.
[[noreturn]] void stop_requested(std::string_view text);

}  // namespace fio
