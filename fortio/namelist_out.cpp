#include "fortio/namelist_out.hpp"

#include "fortio/format.hpp"

namespace fio {

namespace {

constexpr size_t kLine = 80;

// Character values are written between double quotes; a quote inside the
// value is doubled.
std::string quoted(std::string_view text) {
  std::string s = "\"";
  for (char ch : text) {
    if (ch == '"') s.push_back('"');
    s.push_back(ch);
  }
  return s + "\"";
}

}  // namespace

NamelistOut::NamelistOut(Units& io, int unit, std::string_view group) : io_(io), unit_(unit) {
  if (!group.empty() && group.front() == '&') group.remove_prefix(1);
  io_.write_line(unit_, std::string(1, '&').append(group));
}

void NamelistOut::item(std::string_view key, const std::string& value) {
  io_.write_line(unit_, std::string(1, ' ').append(key).append("=").append(value).append(","));
}

NamelistOut& NamelistOut::add(std::string_view key, int value) {
  item(key, std::to_string(value));
  return *this;
}

// Runs of equal values are written as r*value; the values follow one another
// on a line and continue on the next one (after a blank) before column 80.
NamelistOut& NamelistOut::add(std::string_view key, std::span<const int> values) {
  std::string line = std::string(1, ' ').append(key).append("=");
  for (size_t k = 0; k < values.size();) {
    size_t run = 1;
    while (k + run < values.size() && values[k + run] == values[k]) ++run;
    std::string v = std::to_string(values[k]) + ",";
    if (run > 1) v = std::to_string(run) + "*" + v;
    if (line.size() + v.size() > kLine && line.size() > 1) {
      io_.write_line(unit_, line);
      line.assign(1, ' ');
    }
    line += v;
    k += run;
  }
  io_.write_line(unit_, line);
  return *this;
}

NamelistOut& NamelistOut::add(std::string_view key, double value) {
  item(key, listed_real(value));
  return *this;
}

NamelistOut& NamelistOut::add(std::string_view key, bool value) {
  item(key, value ? "T" : "F");
  return *this;
}

NamelistOut& NamelistOut::add(std::string_view key, std::string_view text) {
  item(key, quoted(text));
  return *this;
}

void NamelistOut::end() { io_.write_line(unit_, " /"); }

}  // namespace fio
