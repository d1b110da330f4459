// List-directed input of one integer, as a READ(unit, *) n takes it: blank
// records are skipped, the value ends at a blank, a comma or a slash.
#pragma once
#include "fortio/units.hpp"

namespace fio {

// Reads the next integer value of a formatted unit.  End of file, a null
// value or anything but an optionally signed string of digits is an
// input/output error naming the unit and its file.
long long read_list_integer(Units& io, int unit);

}  // namespace fio
