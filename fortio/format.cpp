// PLACEHOLDER: replaced by the FORMAT engine.
#include "fortio/format.hpp"

#include <cstdio>
#include <stdexcept>

namespace fio {

void format_records(std::string_view fmt, const Items&, std::vector<std::string>&) {
  throw std::logic_error("FORMAT engine not yet built: " + std::string(fmt));
}

std::string format_text(std::string_view fmt, const Items& items) {
  std::vector<std::string> r;
  format_records(fmt, items, r);
  std::string s;
  for (size_t k = 0; k < r.size(); ++k) s += (k ? "\n" : "") + r[k];
  return s;
}

std::string listed_real(double x) {
  char b[64];
  std::snprintf(b, sizeof b, "%.17g", x);
  return b;
}

void listed_records(const Items& items, std::vector<std::string>& records) {
  std::string line = " ";
  for (const Item& it : items.view()) {
    std::string t;
    switch (it.kind) {
      case Item::Kind::Text: t = std::string(it.s); break;
      case Item::Kind::Int: t = " " + std::to_string(it.i); break;
      case Item::Kind::Logical: t = it.l ? " T" : " F"; break;
      case Item::Kind::Real: t = " " + listed_real(it.d); break;
    }
    if (line.size() + t.size() > 80 && line.size() > 1) {
      records.push_back(line);
      line = " ";
    }
    line += t;
  }
  records.push_back(line);
}

}  // namespace fio
