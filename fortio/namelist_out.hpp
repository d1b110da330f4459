// Namelist-style records, written the way gfortran's NAMELIST output writes a
// group: "&NAME", then one "KEY=value," item per line with values as in
// list-directed output (a repeated array value as r*value, character values
// in double quotes), then "/".  Stages write their echoed groups to unit 75
// with it before the compact echo shows them.
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
  void end();  // writes the closing "/"

 private:
  Units& io_;
  int unit_;
};

}  // namespace fio
