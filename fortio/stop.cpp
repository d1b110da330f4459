#include "fortio/stop.hpp"

#include <ostream>

#include "fortio/units.hpp"

namespace fio {

namespace {

// A reason quotes what the user gave, which may hold any byte: control
// characters are shown as \xNN, so that the message stays one line.
std::string printable(std::string_view s) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c != 0x7f) {
      out.push_back(static_cast<char>(c));
    } else {
      out += "\\x";
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

}  // namespace

void stop_run(Units& io, int status, std::string_view shown, std::string_view reason) {
  io.flush_all();
  std::ostream& err = io.err();
  // A progress line shown on a terminal stands where the message goes.
  if (io.err_is_terminal()) err << "\r\033[K";
  if (!shown.empty()) err << shown << '\n';
  std::string why = printable(reason);
  if (why.empty() && status != kStatusFinished)
    why = "stopped on an error; the report ends with:" + io.last_out();
  if (!why.empty()) err << "ciprop: " << why << '\n';
  err.flush();
  throw StopRun(status, std::string(shown), why);
}

void stop_error(Units& io, std::string_view reason) { stop_run(io, kStatusError, "", reason); }

void stop_code(Units& io, int code, std::string_view reason) {
  stop_run(io, code, "STOP " + std::to_string(code), reason);
}

void stop_text(Units& io, std::string_view text, std::string_view reason) {
  stop_run(io, kStatusError, "STOP " + std::string(text), reason);
}

void stop_io(Units& io, std::string_view reason) { stop_run(io, kStatusIoError, "", reason); }

void stop_requested(Units& io, std::string_view text) {
  stop_run(io, kStatusFinished, "STOP " + std::string(text), "");
}

}  // namespace fio
