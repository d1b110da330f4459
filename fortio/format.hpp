// Fortran FORMAT output, as gfortran writes it, and list-directed output.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "fortio/items.hpp"

namespace fio {

// Writes the items under the FORMAT fmt (with its parentheses, e.g.
// "(1X,A4,7X,G25.18,3X,G15.8,3X,G25.18,1X)") and appends the records it
// produces to `records`.  Supported: Iw, Fw.d, Ew.d, ESw.d, Dw.d, Gw.d, Aw, A, Lw,
// nX, quoted text, /, repeat counts, nested groups and format reversion.
// An item that does not match its edit descriptor is a programming error.
void format_records(std::string_view fmt, const Items& items, std::vector<std::string>& records);

// Convenience for internal writes: the records joined by '\n'.
std::string format_text(std::string_view fmt, const Items& items);

// The text gfortran's list-directed output gives a REAL(8), without padding:
// "1.5000000000000000", "5.0000000000000003E-002", "0.10000000000000001".
std::string listed_real(double x);

// A list-directed write: a leading blank, texts joined without separator,
// integers and logicals as a blank and the value, doubles as a blank and
// listed_real; an item that would pass column 80 starts a new record that
// begins with a blank, no item is split.
void listed_records(const Items& items, std::vector<std::string>& records);

}  // namespace fio
