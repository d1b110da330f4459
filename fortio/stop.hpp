// Ending the run.  Every stop unwinds to the entry point as a StopRun, so that
// open units are flushed and the exit status is set in one place; tests catch
// it to look at the status.
//
// A stop on an error always tells why, in English, on a line of its own on
// standard error: "ciprop: <reason>" -- what is wrong, in which file, record,
// key or line, and what the user can do about it.  The report on standard
// output keeps its own lines.  The functions below are the only way to raise
// a StopRun, and each of them asks for the reason; the line is written when
// the stop is raised, after standard output is flushed, so that it follows
// the report's last line.
#pragma once
#include <string>
#include <string_view>

namespace fio {

class Units;

// Exit statuses.  A finished run and a stop the user asked for end with 0;
// every stop caused by an error ends with a non-zero status.
inline constexpr int kStatusFinished = 0;
inline constexpr int kStatusError = 1;     // fatal condition, message on stdout
inline constexpr int kStatusIoError = 2;   // input/output error on a unit

// The one place a StopRun is made: flushes the report, writes `shown` and
// the "ciprop:" line of `reason` on standard error and throws.  A reason
// left empty on an error gets the last line of the report instead, so that
// even a stop without words of its own says something.
[[noreturn]] void stop_run(Units& io, int status, std::string_view shown, std::string_view reason);

class StopRun {
 public:
  int status;
  std::string shown;   // the stop text before the reason ("STOP 210"), may be empty
  std::string reason;  // what the "ciprop:" line says; empty for a requested stop

 private:
  StopRun(int s, std::string sh, std::string r)
      : status(s), shown(std::move(sh)), reason(std::move(r)) {}
  friend void stop_run(Units&, int, std::string_view, std::string_view);
};

// Fatal condition of the input or the files (status 1); the report may hold
// its own lines already.
[[noreturn]] void stop_error(Units& io, std::string_view reason);
// Stop with a numeric code (the namelist errors 210, 211, 212): shows
// "STOP <code>" on standard error before the reason; the code is the status.
[[noreturn]] void stop_code(Units& io, int code, std::string_view reason);
// Stop with a text ("22"): shows "STOP <text>" before the reason, status 1.
[[noreturn]] void stop_text(Units& io, std::string_view text, std::string_view reason);
// An input/output error (status 2): a file that cannot be opened, read or
// written.
[[noreturn]] void stop_io(Units& io, std::string_view reason);
// A stop the user asked for ("stop ORDET"): shows "STOP <text>", status 0.
[[noreturn]] void stop_requested(Units& io, std::string_view text);

}  // namespace fio
