#include "fortio/stop.hpp"

namespace fio {

void stop_error() { throw StopRun{kStatusError, ""}; }

void stop_code(int code) { throw StopRun{code, "STOP " + std::to_string(code)}; }

void stop_text(std::string_view text) {
  throw StopRun{kStatusError, "STOP " + std::string(text)};
}

void stop_requested(std::string_view text) {
  throw StopRun{kStatusFinished, "STOP " + std::string(text)};
}

}  // namespace fio
