// Namelist-style records, written the way gfortran's NAMELIST output writes a
// group, without its numeric padding: "&NAME", then one " KEY=value," item per
// line with values as in list-directed output (integers as digits, doubles as
// listed_real, logicals as T or F, a run of equal array values as r*value,
// character values in double quotes), then " /".  Stages write their echoed
// groups to unit 75 with it before the compact echo shows them.
#pragma once
#include <span>
#include <string>
#include <string_view>

#include "fortio/units.hpp"

namespace fio {

class NamelistOut {
 public:
  NamelistOut(Units& io, int unit, std::string_view group);
  NamelistOut& add(std::string_view key, int value);
  NamelistOut& add(std::string_view key, std::span<const int> values);
  NamelistOut& add(std::string_view key, double value);
  NamelistOut& add(std::string_view key, bool value);
  NamelistOut& add(std::string_view key, std::string_view text);
  NamelistOut& add(std::string_view key, const char* text) {
    return add(key, std::string_view(text));
  }
  void end();  // writes the closing "/"

 private:
  void item(std::string_view key, const std::string& value);

  Units& io_;
  int unit_;
};

}  // namespace fio
