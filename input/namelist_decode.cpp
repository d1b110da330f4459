// The value decoders: take the items of one key out of a gathered group text
// and store them into the caller's variable.  Every processed item is blanked
// out of the text, so a key given twice is processed once per occurrence.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "input/namelist.hpp"
#include "core/unit_numbers.hpp"
#include "core/print.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

namespace {

enum class Type { Integer, Logical, Real };

// Kinds of field for the report of a bad character.
constexpr int kReal = 1;
constexpr int kInteger = 2;

constexpr int kFieldShown = 80;

// Where the decoded values go: `capacity` elements of `size` bytes.
struct Target {
  void* base;
  int size;
  int capacity;
  std::string_view key;
  Type type;
};

struct Value {
  int i = 0;
  bool l = false;
  double d = 0.0;
};

int len(const std::string& text) { return static_cast<int>(text.size()); }
char at(const std::string& text, int pos) { return text[pos - 1]; }

// First position from `from` to `to` (inclusive, clamped to the text) holding
// ch, or 0.
int find(const std::string& text, char ch, int from, int to) {
  to = std::min(to, len(text));
  for (int k = std::max(from, 1); k <= to; ++k)
    if (at(text, k) == ch) return k;
  return 0;
}

int find(const std::string& text, char ch, int from) { return find(text, ch, from, len(text)); }

void blank(std::string& text, int from, int to) {
  for (int k = std::max(from, 1); k <= std::min(to, len(text)); ++k) text[k - 1] = ' ';
}

// The first occurrence of the key followed by a blank, "(" or "=".  The
// character in front is not looked at, so a key also matches at the end of a
// longer key.
int find_key(const std::string& text, const std::string& key) {
  size_t from = 0;
  for (;;) {
    const size_t pos = text.find(key, from);
    if (pos == std::string::npos) return 0;
    const size_t next = pos + key.size();
    if (next < text.size() && (text[next] == ' ' || text[next] == '(' || text[next] == '='))
      return static_cast<int>(pos) + 1;
    from = pos + 1;
  }
}

std::string upper(std::string_view key) {
  std::string k(key);
  maj(k.data(), static_cast<int>(k.size()));
  return k;
}

// "KEY in &RHO of standard input", for the messages.
std::string item_name(const Run& run) {
  return run.namelist_key + (run.namelist_group.empty() ? "" : " in " + run.namelist_group);
}

// The item from position p on, as the user wrote it (blanks gone), cut short.
std::string item_text(const std::string& text, int p) {
  std::string t = text.substr(p - 1, 40);
  t.erase(t.find_last_not_of(' ') + 1);
  return t;
}

[[noreturn]] void item_error(Run& run, const std::string& text, std::string_view key, int p,
                             int code, std::string_view why) {
  const std::string from_key = text.substr(p - 1, kFieldShown);
  run.io.write_line(kUnitReport, "     *** ERREUR EN LISANT LA VARIABLE " + a_field(key, 6) + " DANS " +
                           a_field(from_key, kFieldShown) + " ***   STOP ***");
  fio::stop_code(run.io, code, item_name(run) + ": " + std::string(why) + " (the text reads '" +
                                   item_text(text, p) + "')");
}

// The field shown by the report of a bad character: from its first column,
// at most 80 characters.
[[noreturn]] void bad_character(Run& run, const std::string& text, int first, int last, int pos,
                                int kind, std::string_view why) {
  const std::string field = text.substr(first - 1, kFieldShown);
  std::string value = text.substr(first - 1, std::max(0, std::min(last, pos + 20) - first + 1));
  value.erase(value.find_last_not_of(' ') + 1);
  necerr(run, field, pos, kind, static_cast<int>(field.size()),
         item_name(run) + ": '" + value + "' " + std::string(why));
}

// Accepted element sizes, and the message for any other.
void check_size(Run& run, const Target& t) {
  switch (t.type) {
    case Type::Integer:
      if (t.size == 2 || t.size == 4) return;
      run.io.list(kUnitReport, {" il valore", t.size, " per un intero e' intoller         abile"});
      break;
    case Type::Logical:
      if (t.size == 1 || t.size == 4) return;
      run.io.list(kUnitReport, {" il valore", t.size, " per un logico e' intollerabi      le"});
      break;
    case Type::Real:
      if (t.size == 4 || t.size == 8) return;
      run.io.list(kUnitReport, {" il valore", t.size, " per un reale e' intollerabil      e"});
      break;
  }
  fio::stop_error(run.io, item_name(run) + ": values of " + std::to_string(t.size) +
                              " bytes are not taken by the decoders");
}

// The decoders are not told the length of the caller's array by the input;
// a store outside it stops the run instead of overwriting what follows.
void check_element(Run& run, std::string_view key, int element, int capacity, bool listed) {
  if (element >= 1 && element <= capacity) return;
  if (listed) {
    run.io.list(kUnitReport, {"namelist: too many values for key ", key, " (capacity", capacity, ")"});
    fio::stop_error(run.io, item_name(run) + ": more than " + std::to_string(capacity) +
                                " values; give at most " + std::to_string(capacity));
  }
  run.io.list(kUnitReport, {"namelist: subscript", element, " out of range 1 to", capacity,
                  " for key ", key});
  fio::stop_error(run.io, item_name(run) + ": subscript " + std::to_string(element) +
                              " is outside 1 to " + std::to_string(capacity));
}

void store(Run& run, const Target& t, int element, const Value& v, bool listed) {
  check_size(run, t);
  check_element(run, t.key, element, t.capacity, listed);
  unsigned char* dst = static_cast<unsigned char*>(t.base) + std::size_t(element - 1) * t.size;
  if (t.type == Type::Integer && t.size == 2) {
    if (v.i < INT16_MIN || v.i > INT16_MAX) {
      refuse(run, {"namelist: value", v.i, " out of range for key ", t.key},
             item_name(run) + ": " + std::to_string(v.i) + " is outside " +
                 std::to_string(INT16_MIN) + " to " + std::to_string(INT16_MAX));
    }
    const int16_t x = static_cast<int16_t>(v.i);
    std::memcpy(dst, &x, sizeof x);
  } else if (t.type == Type::Integer) {
    std::memcpy(dst, &v.i, sizeof v.i);
  } else if (t.type == Type::Logical && t.size == 1) {
    const unsigned char x = v.l ? 1 : 0;
    std::memcpy(dst, &x, sizeof x);
  } else if (t.type == Type::Logical) {
    const int32_t x = v.l ? 1 : 0;
    std::memcpy(dst, &x, sizeof x);
  } else if (t.size == 4) {
    const float x = static_cast<float>(v.d);
    std::memcpy(dst, &x, sizeof x);
  } else {
    std::memcpy(dst, &v.d, sizeof v.d);
  }
}

Value decode(Run& run, const std::string& text, int first, int last, Type type) {
  Value v;
  switch (type) {
    case Type::Integer: ninpi(run, text, first, last, v.i); break;
    case Type::Logical: ninpl(run, text, first, last, v.l); break;
    case Type::Real: ninpf(run, text, first, last, v.d); break;
  }
  return v;
}

// Blanks in a value part are what is left of items decoded before it (the
// gathered text has none outside quotes), not values: a key glued to the last
// value ("1,2NDEL=0," with NDEL decoded first) leaves "1,2" and blanks, a
// decoded item after the list leaves a comma and blanks.  Returns the end of
// the value part without them.
int value_end(const std::string& text, int start, int end) {
  int v = end;
  while (v >= start && at(text, v) == ' ') {
    while (v >= start && at(text, v) == ' ') --v;
    if (v >= start && at(text, v) == ',') --v;
  }
  return v;
}

// One numeric or logical item at position p.  Returns the last position of
// its value part (the comma after it stays in the text); `stored` counts the
// values stored.
int numeric_item(Run& run, std::string& text, const Target& t, int p, int& stored) {
  const int eq = find(text, '=', p);
  const int start = eq ? eq + 1 : p;
  int e = find(text, '=', start + 1);
  if (e == 0) e = len(text);
  int comma = 0;
  for (int k = e; k >= start && comma == 0; --k)
    if (at(text, k) == ',') comma = k;
  constexpr std::string_view kNoComma =
      "its value is not ended by a comma before the next key; items are separated by commas";
  if (comma == 0) item_error(run, text, t.key, p, 210, kNoComma);
  // Nothing but blanks between the "=" and the comma: a key glued to the "="
  // was decoded first, and this value had no comma before it.
  bool blanks_only = comma > start;
  for (int k = start; k < comma; ++k) blanks_only = blanks_only && at(text, k) == ' ';
  if (blanks_only) item_error(run, text, t.key, p, 210, kNoComma);
  const int end = value_end(text, start, comma - 1);

  const int paren = find(text, '(', p, start - 1);
  if (paren) {
    const int close = find(text, ')', paren + 1);
    if (close == 0) item_error(run, text, t.key, p, 210, "its subscript has no closing ')'");
    int element = 0;
    ninpi(run, text, paren + 1, close - 1, element);
    store(run, t, element, decode(run, text, start, end, t.type), false);
    ++stored;
    return comma - 1;
  }

  int element = 0;
  for (int pos = start;;) {
    const int sep = find(text, ',', pos, end);
    const int last = sep ? sep - 1 : end;
    const int star = find(text, '*', pos, last);
    int repeat = 1;
    if (star) ninpi(run, text, pos, star - 1, repeat);
    const Value v = decode(run, text, star ? star + 1 : pos, last, t.type);
    for (int r = 1; r <= repeat; ++r, ++stored) store(run, t, ++element, v, true);
    if (sep == 0) break;
    pos = sep + 1;
  }
  return comma - 1;
}

int numeric_items(Run& run, std::string& text, const Target& t) {
  const std::string key = upper(t.key);
  int stored = 0;
  if (key.empty()) return stored;
  const Target target{t.base, t.size, t.capacity, key, t.type};
  run.namelist_key = key;
  while (const int p = find_key(text, key)) {
    const int end = numeric_item(run, text, target, p, stored);
    blank(text, p, std::max(end, p));
  }
  return stored;
}

// A quoted value is closed within its length and two more characters.
std::string unclosed(int length) {
  return "a quoted value is not closed within " + std::to_string(length + 2) +
         " characters (values hold at most " + std::to_string(length) +
         "); close it with the quote that opened it";
}

// Copies text(first:last) into a character element, cut or blank-padded.
void store_chars(Run& run, const std::string& text, int first, int last, char* base, int length,
                 int capacity, std::string_view key, int element, bool listed) {
  check_element(run, key, element, capacity, listed);
  char* dst = base + std::size_t(element - 1) * length;
  for (int k = 0; k < length; ++k) dst[k] = first + k <= last ? at(text, first + k) : ' ';
}

// One character item at position p.  Returns the last position it covers
// (the separator after its closing quote).
int char_item(Run& run, std::string& text, char* base, const std::string& key, int length,
              int capacity, int p) {
  const int apos = find(text, '\'', p);
  const int dquote = find(text, '"', p);
  if (apos == 0 && dquote == 0)
    item_error(run, text, key, p, 210, "no quoted value follows it; write " + key + "='value'");
  int q = (apos && (dquote == 0 || apos < dquote)) ? apos : dquote;
  const char quote = at(text, q);

  const int paren = find(text, '(', p, q - 1);
  if (paren) {
    const int close = find(text, ')', paren + 1);
    if (close == 0) item_error(run, text, key, p, 210, "its subscript has no closing ')'");
    int element = 0;
    ninpi(run, text, paren + 1, close - 1, element);
    const int c = find(text, quote, q + 1, q + length + 2);
    if (c == 0) item_error(run, text, key, p, 211, unclosed(length));
    store_chars(run, text, q + 1, c - 1, base, length, capacity, key, element, false);
    return c + 1;
  }

  const int eq = find(text, '=', p, q - 1);
  int a = eq ? eq : p + len(key) - 1;
  int element = 0;
  for (;;) {
    const int star = find(text, '*', a + 1, q - 1);
    int repeat = 1;
    if (star) ninpi(run, text, a + 1, star - 1, repeat);
    const int c = find(text, quote, q + 1, q + length + 2);
    if (c == 0) item_error(run, text, key, p, 212, unclosed(length));
    // A value repeated zero times or less stores nothing and ends the item.
    if (repeat <= 0) return c + 1;
    for (int r = 1; r <= repeat; ++r)
      store_chars(run, text, q + 1, c - 1, base, length, capacity, key, ++element, true);
    if (c + 2 > len(text)) return c + 1;
    const char next = at(text, c + 2);
    if (next == quote) {
      q = c + 2;
    } else if (next >= '0' && next <= '9') {
      q = find(text, quote, c + 2);
      if (q == 0) item_error(run, text, key, p, 212, "a repeat count is not followed by a quoted value");
    } else {
      return c + 1;
    }
    a = c + 1;
  }
}

}  // namespace

int nameli(Run& run, std::string& text, void* target, std::string_view key, int size,
           int capacity) {
  return numeric_items(run, text, {target, size, capacity, key, Type::Integer});
}

int namell(Run& run, std::string& text, void* target, std::string_view key, int size,
           int capacity) {
  return numeric_items(run, text, {target, size, capacity, key, Type::Logical});
}

int nameld(Run& run, std::string& text, void* target, std::string_view key, int size,
           int capacity) {
  return numeric_items(run, text, {target, size, capacity, key, Type::Real});
}

void namela(Run& run, std::string& text, char* target, std::string_view key, int length,
            int capacity) {
  const std::string k = upper(key);
  if (k.empty()) return;
  run.namelist_key = k;
  while (const int p = find_key(text, k)) {
    const int end = char_item(run, text, target, k, length, capacity, p);
    blank(text, p, end);
  }
}

// Integers are read right to left: digits build the value, and a sign (or
// "&" or a blank) may only stand in the first column.  A value that does not
// fit a 4-byte integer is refused at the digit that makes it overflow.
void ninpi(Run& run, const std::string& text, int first, int last, int& value) {
  constexpr long long kPlaceCap = 100'000'000'000LL;
  long long v = 0;
  long long place = 1;
  value = 0;
  for (int k = last; k >= first; --k) {
    const char ch = at(text, k);
    if (ch >= '0' && ch <= '9') {
      v += (ch - '0') * place;
      if (v > INT_MAX)
        bad_character(run, text, first, last, k, kInteger,
                      "does not fit an integer of 4 bytes (at most 2147483647)");
      place = std::min(place * 10, kPlaceCap);
    } else if (ch == '-' && k == first) {
      v = -v;
      break;
    } else if (!((ch == '+' || ch == '&' || ch == ' ') && k == first)) {
      bad_character(run, text, first, last, k, kInteger, "is not an integer");
    }
  }
  value = static_cast<int>(v);
}

void ninpl(Run& run, const std::string& text, int first, int last, bool& value) {
  const int t = find(text, 'T', first, last);
  if (t) {
    value = true;
    return;
  }
  if (find(text, 'F', first, last)) {
    value = false;
    return;
  }
  refuse(run, {" ERRORE NELLA LETTURA DI UN LOGICO"},
         item_name(run) + ": '" + item_text(text, first).substr(0, std::max(0, last - first + 1)) +
             "' is not a logical value (T or F)");
}

namespace {

// x raised to n >= 0 by repeated squaring; powers of ten and of one tenth are
// formed this way so that a value reads the same digit for digit in every
// notation (5D-3 and 0.005 give the same double).
double power(double x, int n) {
  double y = n % 2 ? x : 1.0;
  while (n >>= 1) {
    x = x * x;
    if (n % 2) y = y * x;
  }
  return y;
}

}  // namespace

void ninpf(Run& run, const std::string& text, int first, int last, double& value) {
  int x = find(text, 'D', first, last);
  if (x == 0) x = find(text, 'E', first, last);
  double scale = 1.0;
  int end = last;
  if (x) {
    int exponent = 0;
    ninpi(run, text, x + 1, last, exponent);
    scale = exponent >= 0 ? power(10.0, exponent) : power(0.1, -exponent);
    end = x - 1;
  }
  double v = 0.0;
  double place = 1.0;
  int decimals = 0;
  bool point = false;
  for (int k = end; k >= first; --k) {
    const char ch = at(text, k);
    if (ch >= '0' && ch <= '9') {
      v += (ch - '0') * place;
      place *= 10.0;
    } else if (ch == '.' && !point) {
      point = true;
      decimals = end - k;
    } else if (ch == '-' && k == first) {
      v = -v;
    } else if (!((ch == '+' || ch == '&' || ch == ' ') && k == first)) {
      bad_character(run, text, first, last, k, kReal, "is not a number");
    }
  }
  value = power(0.1, decimals) * v * scale;
}

void necerr(Run& run, std::string_view field, int position, int kind, int length,
            std::string_view reason) {
  std::string marker(80, ' ');
  if (position > 80) {
    marker.assign(80, '-');
  } else if (position >= 1) {
    for (int k = 1; k < position; ++k) marker[k - 1] = '-';
    marker[position - 1] = '*';
  }
  run.io.write_line(kUnitReport, "");
  run.io.write_line(kUnitReport, std::string("    === ERREUR DANS LA LECTURE D'UN ") +
                           (kind == kReal ? "REEL  " : "ENTIER"));
  run.io.write_line(kUnitReport, "");
  run.io.write_line(kUnitReport, "   " + a_field(field.substr(0, std::max(length, 0)), 80));
  run.io.write_line(kUnitReport, "   " + marker);
  fio::stop_code(run.io, 211, reason);
}

}  // namespace ciprop
