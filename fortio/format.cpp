// Fortran FORMAT output and list-directed output, written character for
// character as gfortran writes them: the report is compared line by line with
// the reports of the Fortran programs around it.
//
// Digits come from the C library's correctly rounded conversions ("%.*f",
// "%.*e"), which round the exact binary value to nearest with ties to even,
// as gfortran does.  Everything around the digits (signs, the optional
// leading zero, exponent letters, asterisks, Infinity and NaN) is built here.
#include "fortio/format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <unordered_map>

namespace fio {

namespace {

// Wider numeric fields than this are refused: no FORMAT of the program comes
// near it, and it bounds the conversion buffers below (a double has at most
// 309 digits before the point).
constexpr int kMaxWidth = 200;
constexpr int kMaxFixed = 309 + kMaxWidth + 8;

[[noreturn]] void bad_format(std::string_view fmt, const std::string& why) {
  throw std::logic_error("FORMAT " + std::string(fmt) + ": " + why);
}

// ---------------------------------------------------------------------------
// Edit descriptors of numbers and texts.

std::string stars(int w) { return std::string(static_cast<size_t>(w > 0 ? w : 0), '*'); }

std::string right(std::string_view s, int w) {
  if (static_cast<int>(s.size()) > w) return stars(w);
  return std::string(static_cast<size_t>(w) - s.size(), ' ') + std::string(s);
}

// Iw.m: at least m digits (m = 0 writes a zero as blanks only); I0 takes
// the width the value needs.
std::string edit_i(long long v, int w, int m) {
  unsigned long long a = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : v;
  std::string digits = (a == 0 && m == 0) ? std::string() : std::to_string(a);
  if (static_cast<int>(digits.size()) < m) digits.insert(0, m - digits.size(), '0');
  std::string s = (v < 0 ? "-" : "") + digits;
  return w == 0 ? s : right(s, w);
}

// Infinity and NaN in a field of any real descriptor: the long word when it
// fits, else the short one, else asterisks.
std::string edit_special(double x, int w) {
  if (std::isnan(x)) return right("NaN", w);
  const char* sign = std::signbit(x) ? "-" : "";
  std::string s = std::string(sign) + "Infinity";
  if (static_cast<int>(s.size()) <= w) return right(s, w);
  return right(std::string(sign) + "Inf", w);
}

// Drops the zero before the decimal point of "0.ddd" ("-0.ddd") when the
// field has no room for it; Fortran makes that zero optional.
std::string fit_optional_zero(std::string s, int w) {
  size_t zero = (!s.empty() && s[0] == '-') ? 1 : 0;
  if (static_cast<int>(s.size()) > w && s.size() > zero + 1 && s[zero] == '0' &&
      s[zero + 1] == '.')
    s.erase(zero, 1);
  return right(s, w);
}

// Fw.d.  A negative value keeps its minus sign even when it rounds to zero,
// and with d = 0 the digit before the point is never dropped.
std::string edit_f(double x, int w, int d) {
  if (!std::isfinite(x)) return edit_special(x, w);
  if (w <= 0 || d >= w) return stars(w);
  char b[kMaxFixed];
  std::snprintf(b, sizeof b, "%#.*f", d, x);
  return d == 0 ? right(b, w) : fit_optional_zero(b, w);
}

// The significant digits of x rounded to n digits, and the decimal exponent
// of the first one (x = 0.ddd * 10^q in Fortran's notation: q = exponent+1).
struct Digits {
  bool negative;
  std::string digits;
  int q;
};

Digits significant(double x, int n) {
  char b[kMaxWidth + 16];
  std::snprintf(b, sizeof b, "%.*e", n - 1, x);
  Digits r{b[0] == '-', {}, 0};
  const char* p = b + (r.negative ? 1 : 0);
  for (; *p != 'e'; ++p)
    if (*p != '.') r.digits.push_back(*p);
  r.q = x == 0 ? 0 : std::atoi(p + 1) + 1;
  return r;
}

// Ew.d, Ew.dEe and Dw.d: [-]0.ddd followed by the exponent.  Without Ee an
// exponent beyond 99 drops the letter and takes three digits ("+101").
std::string edit_e(double x, int w, int d, int e, char letter) {
  if (!std::isfinite(x)) return edit_special(x, w);
  if (d >= w) return stars(w);
  Digits g = significant(x, d);
  int q = std::abs(g.q);
  char sign = g.q < 0 ? '-' : '+';
  char expo[16];
  if (e > 0) {
    if (e > 9 || std::to_string(q).size() > static_cast<size_t>(e)) return stars(w);
    std::snprintf(expo, sizeof expo, "%c%c%0*d", letter, sign, e, q);
  } else if (q <= 99) {
    std::snprintf(expo, sizeof expo, "%c%c%02d", letter, sign, q);
  } else {
    std::snprintf(expo, sizeof expo, "%c%03d", sign, q);
  }
  return fit_optional_zero((g.negative ? "-0." : "0.") + g.digits + expo, w);
}

// ESw.d and ESw.dEe, the scientific form of the MOLCAS orbital files:
// [-]d.ddd and the exponent, one significant digit before the point (a
// zero as 0.000E+00).  The exponent follows the rules of Ew.d.
std::string edit_es(double x, int w, int d, int e) {
  if (!std::isfinite(x)) return edit_special(x, w);
  Digits g = significant(x, d + 1);
  const int p = x == 0 ? 0 : g.q - 1;
  const int q = std::abs(p);
  const char sign = p < 0 ? '-' : '+';
  char expo[16];
  if (e > 0) {
    if (e > 9 || std::to_string(q).size() > static_cast<size_t>(e)) return stars(w);
    std::snprintf(expo, sizeof expo, "E%c%0*d", sign, e, q);
  } else if (q <= 99) {
    std::snprintf(expo, sizeof expo, "E%c%02d", sign, q);
  } else {
    std::snprintf(expo, sizeof expo, "%c%03d", sign, q);
  }
  return right((g.negative ? "-" : "") + g.digits.substr(0, 1) + "." + g.digits.substr(1) + expo, w);
}

// Gw.d and Gw.dEe: a value whose magnitude rounds to s digits before the
// point (0 <= s <= d) is written as F(w-n).(d-s) followed by n blanks
// (n = 4, or e+2), so that its digits line up with the E form; anything
// else as Ew.d.  gfortran compares |x| with the rounding thresholds
// 10^s (1 - 0.5 10^-d) evaluated in double precision, 10^s by repeated
// multiplication, rather than exactly; that decides the form of the double
// nearest a threshold, so the same comparison is made here.  Zero takes
// d-1 decimals.
std::string edit_g(double x, int w, int d, int e) {
  if (!std::isfinite(x)) return edit_special(x, w);
  const double m = std::fabs(x);
  double ten_d = 1;
  for (int k = 0; k < d; ++k) ten_d *= 10;
  const double shrink = 1 - 0.5 / ten_d;
  int s = 1;
  if (m != 0) {
    if (m < 0.1 * shrink || m >= ten_d * shrink) return edit_e(x, w, d, e, 'E');
    s = 0;
    for (double ten_s = 1; m >= ten_s * shrink; ten_s *= 10) ++s;
  }
  const int n = e > 0 ? e + 2 : 4;
  std::string f = edit_f(x, w - n, d - s);
  if (w - n <= 0 || f[0] == '*') return stars(w);
  return f + std::string(static_cast<size_t>(n), ' ');
}

std::string edit_a(std::string_view s, int w) {
  if (w < 0) return std::string(s);
  if (static_cast<int>(s.size()) >= w) return std::string(s.substr(0, w));
  return std::string(static_cast<size_t>(w) - s.size(), ' ') + std::string(s);
}

// ---------------------------------------------------------------------------
// The parsed FORMAT: a tree of descriptors and groups.

struct Node {
  enum class Op { Data, Text, Skip, Slash, Colon, Group };
  Op op = Op::Data;
  int repeat = 1;
  char code = 0;  // data: I F E D G A L, and S for ES
  int w = -1, d = -1, e = -1;
  std::string text;         // quoted text, doubled quotes undone
  std::vector<Node> kids;   // group
};

// Blanks are insignificant in a FORMAT outside quoted texts, and letters may
// be of either case: both are normalised away before parsing.
std::string normalised(std::string_view fmt) {
  std::string s;
  s.reserve(fmt.size());
  char quote = 0;
  for (char c : fmt) {
    if (quote) {
      if (c == quote) quote = 0;
      s.push_back(c);
    } else if (c == '\'' || c == '"') {
      quote = c;
      s.push_back(c);
    } else if (c != ' ' && c != '\t') {
      s.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
  }
  return s;
}

class Parser {
 public:
  Parser(std::string_view original, std::string s) : original_(original), s_(std::move(s)) {}

  Node parse() {
    Node top;
    top.op = Node::Op::Group;
    if (!eat('(')) fail("does not start with '('");
    top.kids = list();
    if (!eat(')')) fail("unbalanced parentheses or unknown descriptor");
    if (pos_ != s_.size()) fail("text after the closing parenthesis");
    return top;
  }

 private:
  std::string_view original_;
  std::string s_;
  size_t pos_ = 0;

  [[noreturn]] void fail(const std::string& why) { bad_format(original_, why); }
  char peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
  bool eat(char c) {
    if (peek() != c) return false;
    ++pos_;
    return true;
  }
  bool digit() const { return peek() >= '0' && peek() <= '9'; }
  int number() {
    long v = 0;
    while (digit()) {
      v = v * 10 + (s_[pos_++] - '0');
      if (v > 1000000) fail("number too large");
    }
    return static_cast<int>(v);
  }
  int required_number(const char* what) {
    if (!digit()) fail(std::string("missing ") + what);
    return number();
  }

  // Items follow one another with optional commas, up to the closing ')'.
  std::vector<Node> list() {
    std::vector<Node> items;
    while (peek() != ')' && peek() != '\0') {
      if (eat(',')) continue;
      items.push_back(item());
    }
    return items;
  }

  Node item() {
    bool counted = digit();
    int count = counted ? number() : 1;
    if (counted && count == 0) fail("repeat count of zero");
    char c = peek();
    if (c == '\'' || c == '"') {
      if (counted) fail("repeat count before a quoted text");
      return quoted(c);
    }
    ++pos_;
    Node n;
    n.repeat = count;
    switch (c) {
      case '(':
        n.op = Node::Op::Group;
        n.kids = list();
        if (!eat(')')) fail("unbalanced parentheses");
        return n;
      case '/': n.op = Node::Op::Slash; return n;
      case ':': n.op = Node::Op::Colon; return n;
      case 'X':
        n.op = Node::Op::Skip;
        n.repeat = 1;
        n.w = count;
        return n;
      case 'I':
        n.code = c;
        n.w = required_number("width");
        n.d = eat('.') ? required_number("minimum digits") : 1;
        return n;
      case 'F':
      case 'E':
      case 'D':
      case 'G':
        // ES is kept as the code 'S'.
        n.code = c == 'E' && eat('S') ? 'S' : c;
        n.w = required_number("width");
        if (!eat('.')) fail(std::string("missing decimals after ") + c);
        n.d = required_number("decimals");
        if (n.w == 0) fail("zero width");
        if ((c == 'E' || c == 'G') && peek() == 'E' && pos_ + 1 < s_.size() &&
            s_[pos_ + 1] >= '0' && s_[pos_ + 1] <= '9') {
          ++pos_;
          n.e = number();
          if (n.e == 0) fail("exponent width of zero");
        }
        if (c != 'F' && n.d == 0) fail("no significant digits");
        if (n.w > kMaxWidth || n.d > kMaxWidth) fail("field too wide");
        return n;
      case 'A':
        n.code = c;
        if (digit()) n.w = number();
        return n;
      case 'L':
        n.code = c;
        n.w = required_number("width");
        if (n.w == 0) fail("zero width");
        return n;
      default:
        fail(std::string("unsupported edit descriptor '") + c + "'");
    }
  }

  Node quoted(char quote) {
    Node n;
    n.op = Node::Op::Text;
    ++pos_;
    for (;;) {
      if (pos_ >= s_.size()) fail("unterminated quoted text");
      char c = s_[pos_++];
      if (c == quote) {
        if (peek() != quote) break;
        ++pos_;
      }
      n.text.push_back(c);
    }
    return n;
  }
};

bool has_data(const Node& n) {
  if (n.op == Node::Op::Data) return true;
  for (const Node& k : n.kids)
    if (has_data(k)) return true;
  return false;
}

// ---------------------------------------------------------------------------
// Running the FORMAT over the items.

class Writer {
 public:
  Writer(std::string_view fmt, std::span<const Item> items, std::vector<std::string>& out)
      : fmt_(fmt), items_(items), out_(out) {}

  // Output stops at the first data descriptor that finds no item left.  At
  // the end of the FORMAT with items left, the record ends and the FORMAT
  // is taken up again at its last top-level group (with that group's repeat
  // count), or at its start when it has no group.
  void run(const Node& top) {
    const std::vector<Node>& nodes = top.kids;
    size_t restart = 0;
    for (size_t k = 0; k < nodes.size(); ++k)
      if (nodes[k].op == Node::Op::Group) restart = k;
    bool going = walk(nodes, 0);
    if (going && left() && !has_data(top))
      bad_format(fmt_, "items left but no data edit descriptor");
    while (going && left()) {
      end_record();
      size_t before = next_;
      going = walk(nodes, restart);
      if (going && next_ == before) bad_format(fmt_, "repeated part takes no item");
    }
    end_record();
  }

 private:
  std::string_view fmt_;
  std::span<const Item> items_;
  std::vector<std::string>& out_;
  size_t next_ = 0;
  std::string record_;
  int pending_blanks_ = 0;

  bool left() const { return next_ < items_.size(); }

  // Blanks of nX are written only when something follows them in the
  // record: a record never ends in the blanks of an X.
  void put(std::string_view s) {
    record_.append(static_cast<size_t>(pending_blanks_), ' ');
    pending_blanks_ = 0;
    record_ += s;
  }

  void end_record() {
    out_.push_back(std::move(record_));
    record_.clear();
    pending_blanks_ = 0;
  }

  bool walk(const std::vector<Node>& nodes, size_t from) {
    for (size_t k = from; k < nodes.size(); ++k)
      for (int r = 0; r < nodes[k].repeat; ++r)
        if (!step(nodes[k])) return false;
    return true;
  }

  bool step(const Node& n) {
    switch (n.op) {
      case Node::Op::Data:
        if (!left()) return false;
        put(edit(n, items_[next_++]));
        return true;
      case Node::Op::Text: put(n.text); return true;
      case Node::Op::Skip: pending_blanks_ += n.w; return true;
      case Node::Op::Slash: end_record(); return true;
      case Node::Op::Colon: return left();
      case Node::Op::Group: return walk(n.kids, 0);
    }
    return true;
  }

  std::string edit(const Node& n, const Item& it) {
    using K = Item::Kind;
    const K want = n.code == 'I' ? K::Int : n.code == 'A' ? K::Text : n.code == 'L' ? K::Logical : K::Real;
    if (it.kind != want)
      bad_format(fmt_, std::string("item ") + std::to_string(next_ + 1) + " does not match " + n.code);
    switch (n.code) {
      case 'I': return edit_i(it.i, n.w, n.d);
      case 'F': return edit_f(it.d, n.w, n.d);
      case 'E':
      case 'D': return edit_e(it.d, n.w, n.d, n.e, n.code);
      case 'S': return edit_es(it.d, n.w, n.d, n.e);
      case 'G': return edit_g(it.d, n.w, n.d, n.e);
      case 'A': return edit_a(it.s, n.w);
      default: return right(it.l ? "T" : "F", n.w);
    }
  }
};

}  // namespace

namespace {

// The report is printed from a few dozen FORMATs, some of them once per
// determinant: each is parsed once and kept.  The bound only guards against
// a caller that builds its FORMATs on the fly.
constexpr size_t kMaxKept = 512;

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

const Node& parsed(std::string_view fmt) {
  thread_local std::unordered_map<std::string, Node, TextHash, std::equal_to<>> kept;
  auto it = kept.find(fmt);
  if (it != kept.end()) return it->second;
  Node top = Parser(fmt, normalised(fmt)).parse();
  if (kept.size() >= kMaxKept) kept.clear();
  return kept.emplace(std::string(fmt), std::move(top)).first->second;
}

}  // namespace

void format_records(std::string_view fmt, const Items& items, std::vector<std::string>& records) {
  Writer(fmt, items.view(), records).run(parsed(fmt));
}

std::string format_text(std::string_view fmt, const Items& items) {
  std::vector<std::string> r;
  format_records(fmt, items, r);
  std::string s;
  for (size_t k = 0; k < r.size(); ++k) {
    if (k) s += '\n';
    s += r[k];
  }
  return s;
}

// gfortran writes a REAL(8) in list-directed output with 17 significant
// digits: in fixed form when the rounded value lies in [0.1, 1e17), else
// with an exponent of three digits.
std::string listed_real(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
  char b[64];
  int q = significant(x, 17).q;
  if (x == 0) q = 1;
  if (q >= 0 && q <= 17) {
    std::snprintf(b, sizeof b, "%#.*f", 17 - q, x);
    return b;
  }
  std::snprintf(b, sizeof b, "%.16e", x);
  std::string s(b);
  size_t e = s.find('e');
  int p = std::atoi(s.c_str() + e + 1);
  std::snprintf(b, sizeof b, "E%c%03d", p < 0 ? '-' : '+', std::abs(p));
  return s.substr(0, e) + b;
}

// The text of one list-directed item; every item but a text begins with a
// blank.
static std::string listed_item(const Item& it) {
  switch (it.kind) {
    case Item::Kind::Text: return std::string(it.s);
    case Item::Kind::Int: return ' ' + std::to_string(it.i);
    case Item::Kind::Logical: return it.l ? " T" : " F";
    case Item::Kind::Real: return ' ' + listed_real(it.d);
  }
  return {};
}

void listed_records(const Items& items, std::vector<std::string>& records) {
  std::string line = " ";
  for (const Item& it : items.view()) {
    std::string t = listed_item(it);
    // An item is never split: one that would pass column 80 begins a new
    // record, unless the line holds nothing yet but its leading blank.
    if (line.size() + t.size() > 80 && line.size() > 1) {
      records.push_back(std::move(line));
      line.assign(1, ' ');
    }
    line += t;
  }
  records.push_back(line);
}

}  // namespace fio
