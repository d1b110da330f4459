#include "fortio/list_read.hpp"

#include <string>

namespace fio {

long long read_list_integer(Units& io, int unit) {
  std::string line;
  for (;;) {
    if (!io.read_line(unit, line)) io.io_error(unit, "end of file while reading an integer");
    size_t b = line.find_first_not_of(" \t\r");
    if (b == std::string::npos) continue;
    size_t e = line.find_first_of(" \t\r,/", b);
    const std::string token = line.substr(b, e == std::string::npos ? std::string::npos : e - b);
    size_t k = token.empty() || (token[0] != '+' && token[0] != '-') ? 0 : 1;
    const bool digits = k < token.size() && k + 18 >= token.size() &&
                        token.find_first_not_of("0123456789", k) == std::string::npos;
    if (!digits) io.io_error(unit, "bad integer for list-directed read: '" + line + "'");
    return std::stoll(token);
  }
}

}  // namespace fio
