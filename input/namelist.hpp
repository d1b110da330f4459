// The program's own namelist reader.  A group ("&VRT", "&RHO" ...) is found on
// a formatted unit, its cards gathered into one text (upper-cased outside
// apostrophe strings, blanks outside quotes removed, every card ending in a
// comma), and keyed values are decoded out of that text.
#pragma once
#include <string>
#include <string_view>

#include "core/run_state.hpp"

namespace ciprop {

// Every caller gathers a group into a text of this capacity.
inline constexpr int kGroupCapacity = 5280;

// Card reader.
// Finds `group` (with its "&") on `unit` from its current position and
// gathers it into `text`, which is resized to kGroupCapacity and blank-filled
// first.  ierr = 0 when found, 1 when the end of the unit came first (the text
// is then all blank).  iprint = 1 echoes the group.
void lecnam(Run& run, std::string_view group, std::string& text, int unit, int& ierr, int iprint);
// Upper-cases columns 2..n of a card outside apostrophe strings.
void majnam(std::string& card, int n);
// Upper-cases the letters a..z among the first n bytes of s.
void maj(char* s, int n);
// Last non-blank character of columns 1..n in c, its column in run.dder.
void der(Run& run, char& c, const std::string& card, int n);
// Makes the card end in a comma (or "="); a card whose column n is neither
// blank nor a comma stops the run.  `where` names the card for the message
// ("line 3 of standard input").
void ajvir(Run& run, std::string& card, int n, std::string_view where);
// Where a text comes from, for messages: "standard input" (unit 93 holds
// its copy) or "the file vrt"; and a group of it, "&VRT of the file vrt".
std::string unit_source(Run& run, int unit);
std::string group_source(Run& run, std::string_view group, int unit);
// Refuses a line of `where` with text beyond column 80: the reader takes
// cards of 80 columns and would drop it.
void check_card_width(Run& run, std::string_view line, std::string_view where);
// Prints back what the stage wrote to unit 75, under a 15-character title.
void scrinam(Run& run, std::string_view title);

// Value decoders.  Every processed item is blanked out of `text`; the blanks
// it leaves are no values, so keys may be decoded in any order.  `size` is
// the element size in bytes (integers 2 or 4, logicals 1 or 4, reals 4 or 8),
// `capacity` the number of elements of the target: a store beyond it stops
// the run with a message naming the key.  Each returns the number of values
// it stored (0 when the key is absent).
int nameli(Run& run, std::string& text, void* target, std::string_view key, int size, int capacity);
int namell(Run& run, std::string& text, void* target, std::string_view key, int size, int capacity);
int nameld(Run& run, std::string& text, void* target, std::string_view key, int size, int capacity);
// Character values: elements of `length` characters, `capacity` elements.
void namela(Run& run, std::string& text, char* target, std::string_view key, int length, int capacity);

// Typed forms used by the stages.
inline int nameli(Run& run, std::string& text, int& x, std::string_view key) {
  return nameli(run, text, &x, key, 4, 1);
}
template <int L, int H>
int nameli(Run& run, std::string& text, Arr1<int, L, H>& a, std::string_view key) {
  return nameli(run, text, a.data(), key, 4, H - L + 1);
}
inline void nameld(Run& run, std::string& text, double& x, std::string_view key) {
  nameld(run, text, &x, key, 8, 1);
}
inline void namell(Run& run, std::string& text, bool& x, std::string_view key) {
  namell(run, text, &x, key, 1, 1);
}
template <int N>
void namela(Run& run, std::string& text, FChar<N>& x, std::string_view key) {
  namela(run, text, x.data(), key, N, 1);
}

// Field decoders and the field error report.  Positions are 1-based columns
// of the whole group text; last < first is an empty field.
void ninpi(Run& run, const std::string& text, int first, int last, int& value);
void ninpl(Run& run, const std::string& text, int first, int last, bool& value);
void ninpf(Run& run, const std::string& text, int first, int last, double& value);
// necerr prints the field report and stops with code 211, `reason` on
// standard error.
[[noreturn]] void necerr(Run& run, std::string_view field, int position, int kind, int length,
                         std::string_view reason);

// Text in a field of w columns, as the A edit descriptor writes it: cut to its
// first w characters, or right-aligned when shorter.
std::string a_field(std::string_view s, int w);

}  // namespace ciprop
