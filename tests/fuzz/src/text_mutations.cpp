#include "text_mutations.hpp"

#include <cctype>
#include <cstdio>
#include <set>

namespace fuzz {

std::string fill_recipe(std::size_t off, std::size_t n, char byte) {
  char hh[3];
  std::snprintf(hh, sizeof hh, "%02x", static_cast<unsigned char>(byte));
  return "fill@" + std::to_string(off) + ":" + std::to_string(n) + "*" + hh;
}

namespace {

struct Line {
  std::size_t start, end;  // end: the newline or the end of the text
};

std::vector<Line> lines_of(const std::string& t) {
  std::vector<Line> l;
  std::size_t s = 0;
  while (s < t.size()) {
    std::size_t e = t.find('\n', s);
    if (e == std::string::npos) e = t.size();
    l.push_back({s, e});
    s = e + 1;
  }
  return l;
}

class TextFile {
 public:
  TextFile(const std::string& name, const std::string& t, std::vector<Mutation>& out)
      : name_(name), t_(t), out_(out) {}

  void replace(Kind k, std::size_t off, std::size_t len, const std::string& by, const std::string& what) {
    if (t_.compare(off, len, by) == 0) return;
    add(k, splice_recipe(off, len, by), what);
  }
  void cut(std::size_t at, const std::string& where) {
    if (at >= t_.size() || !cuts_.insert(at).second) return;
    add(Kind::Truncate, trunc_recipe(at), "cut to " + std::to_string(at) + " bytes (" + where + ")");
  }
  void add(Kind k, std::string recipe, std::string what) {
    out_.push_back({name_, k, std::move(recipe), std::move(what)});
  }

  // Damage to the lines as a whole: ends, doubled and removed lines.
  void line_damage(const std::vector<Line>& lines, std::size_t i, bool remove_and_double) {
    const Line& l = lines[i];
    std::string ln = "line " + std::to_string(i + 1);
    if (remove_and_double) {
      replace(Kind::TextLine, l.start, std::min(l.end + 1, t_.size()) - l.start, "", ln + " removed");
      add(Kind::TextLine, splice_recipe(l.start, 0, t_.substr(l.start, l.end - l.start) + "\n"),
          ln + " written twice");
    }
    if (l.end < t_.size()) replace(Kind::TextSyntax, l.end, 1, "", ln + " joined with the next");
    replace(Kind::TextSyntax, l.start, 0, std::string(1, '\0'), "NUL byte at the start of " + ln);
    replace(Kind::TextSyntax, l.start, 0, "\xff\xfe", "bytes ff fe at the start of " + ln);
  }

  // Damage to the whole file's layout.
  void file_damage() {
    std::string crlf;
    for (char c : t_) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    replace(Kind::TextSyntax, 0, t_.size(), crlf, "line ends CR LF");
    std::string flat;
    for (char c : t_) flat += c == '\n' ? ' ' : c;
    replace(Kind::TextSyntax, 0, t_.size(), flat, "no line ends at all");
    add(Kind::TextLine, fill_recipe(0, 200000, 'x'), "first line 200000 characters longer, no end in sight");
    add(Kind::TextLine, fill_recipe(t_.size(), 200000, ' '), "200000 blanks after the last line, no line end");
  }

  const std::string& text() const { return t_; }

 private:
  std::string name_;
  const std::string& t_;
  std::vector<Mutation>& out_;
  std::set<std::size_t> cuts_;
};

bool is_integer(const std::string& v) {
  std::size_t i = v[0] == '-' || v[0] == '+' ? 1 : 0;
  if (i >= v.size()) return false;
  for (; i < v.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(v[i]))) return false;
  return true;
}

std::vector<std::string> replacements(const std::string& v, bool must_agree) {
  if (v[0] == '\'') {
    std::string inner = v.substr(1, v.size() >= 2 ? v.size() - 2 : 0);
    return {"'XXXX'", "''", v.substr(0, v.size() - 1), inner, "'" + inner + inner + "'"};
  }
  if (v == "T" || v == "F" || v == ".TRUE." || v == ".FALSE.") return {"X", "7", "''"};
  std::vector<std::string> r = {"NaN", "Inf", "x", "''", "1.0D+999"};
  if (is_integer(v)) {
    r.insert(r.end(), {"0", "-1", "2147483647", "2147483648", "-2147483649",
                       "99999999999999999999", "1.5"});
    // Three null values leave three items at their defaults: valid in the
    // run input, a gap in the files that must agree with the binary ones.
    if (must_agree) {
      r.push_back("3*");
      long x = std::stol(v);
      r.push_back(std::to_string(x + 1));
      r.push_back(std::to_string(x - 1));
    }
  } else {
    r.insert(r.end(), {"-Inf", "1.0.0", "1E"});
  }
  return r;
}

bool separator(char c) { return c == ' ' || c == ',' || c == '\n' || c == '\r' || c == '\t' || c == '='; }

struct Token {
  std::size_t off, len;
  bool key;  // followed by '='
};

// The words of a namelist text: group names, keys and values.
std::vector<Token> tokens_of(const std::string& t) {
  std::vector<Token> tok;
  std::size_t i = 0;
  while (i < t.size()) {
    if (separator(t[i])) { ++i; continue; }
    std::size_t s = i;
    if (t[i] == '\'') {
      std::size_t e = t.find('\'', i + 1);
      i = e == std::string::npos ? t.size() : e + 1;
    } else {
      while (i < t.size() && !separator(t[i])) ++i;
    }
    std::size_t j = i;
    while (j < t.size() && t[j] == ' ') ++j;
    tok.push_back({s, i - s, j < t.size() && t[j] == '='});
  }
  return tok;
}

void namelist(const std::string& name, const std::string& text, bool must_agree, bool whole_lines,
              std::vector<Mutation>& out) {
  TextFile f(name, text, out);
  auto toks = tokens_of(text);
  // Values per key: the first three, the middle and the last of each list.
  for (std::size_t k = 0; k < toks.size(); ++k) {
    if (!toks[k].key) continue;
    const std::string key = text.substr(toks[k].off, toks[k].len);
    f.replace(Kind::TextSyntax, toks[k].off, toks[k].len, key.substr(0, key.size() - 1) + "Q",
              "key " + key + " misspelt");
    std::vector<std::size_t> values;
    for (std::size_t v = k + 1; v < toks.size() && !toks[v].key && text[toks[v].off] != '&' &&
                                text[toks[v].off] != '/' && text[toks[v].off] != '$';
         ++v)
      values.push_back(v);
    std::set<std::size_t> pick;
    for (std::size_t p : {0ul, 1ul, 2ul, values.size() / 2, values.size() - 1})
      if (p < values.size()) pick.insert(p);
    for (std::size_t p : pick) {
      const Token& v = toks[values[p]];
      std::string old = text.substr(v.off, v.len);
      for (const std::string& by : replacements(old, must_agree))
        f.replace(Kind::TextValue, v.off, v.len, by,
                  key + " value " + std::to_string(p + 1) + ": " + old + " -> " + by);
    }
  }
  auto lines = lines_of(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Line& l = lines[i];
    std::string line = text.substr(l.start, l.end - l.start);
    std::string ln = "line " + std::to_string(i + 1);
    std::size_t amp = line.find('&');
    bool opens_group = amp != std::string::npos && line.compare(amp, 4, "&END") != 0;
    // In the run input a group that is not there is valid (its items keep
    // their defaults): a cut just before a group, or a group line no longer
    // read as one, is another run, not damage.
    bool keeps_groups = !whole_lines && opens_group;
    if (!keeps_groups) {
      f.line_damage(lines, i, whole_lines);
      f.cut(l.start, "start of " + ln);
    }
    f.cut(l.start + (l.end - l.start) / 2, "middle of " + ln);
    if (amp != std::string::npos && !keeps_groups) {
      f.replace(Kind::TextSyntax, l.start + amp, 1, " ", "ampersand of " + ln + " removed");
      if (!opens_group) f.replace(Kind::TextSyntax, l.start + amp, 4, "    ", "&END of " + ln + " removed");
    }
    if (std::size_t eq = line.find('='); eq != std::string::npos)
      f.replace(Kind::TextSyntax, l.start + eq, 1, " ", "first '=' of " + ln + " removed");
    if (std::size_t c = line.find(','); c != std::string::npos)
      f.replace(Kind::TextSyntax, l.start + c, 1, ";", "first ',' of " + ln + " -> ';'");
    if (std::size_t q = line.find('\''); q != std::string::npos)
      f.replace(Kind::TextSyntax, l.start + q, 1, " ", "opening quote of " + ln + " removed");
  }
  f.file_damage();
}

}  // namespace

void namelist_mutations(const std::string& name, const std::string& text, bool must_agree,
                        std::vector<Mutation>& out) {
  namelist(name, text, must_agree, true, out);
}

void input_mutations(const std::string& text, std::vector<Mutation>& out) {
  namelist("input", text, false, false, out);
  // Two of ISX, ISY, ISZ swapped: the integrals of one coordinate taken for
  // another's symmetry.
  auto value = [&](const std::string& key, std::size_t& at) {
    at = text.find(key + "=");
    if (at == std::string::npos) return std::string();
    at += key.size() + 1;
    return text.substr(at, text.find_first_of(", \n", at) - at);
  };
  const char* keys[] = {"ISX", "ISY", "ISZ"};
  for (int a = 0; a < 3; ++a)
    for (int b = a + 1; b < 3; ++b) {
      std::size_t pa = 0, pb = 0;
      const std::string va = value(keys[a], pa), vb = value(keys[b], pb);
      if (va.empty() || vb.empty() || va == vb || va.size() != vb.size()) continue;
      std::string swapped = text;
      swapped.replace(pa, va.size(), vb);
      swapped.replace(pb, vb.size(), va);
      out.push_back({"input", Kind::TextValue, splice_recipe(0, text.size(), swapped),
                     std::string(keys[a]) + " and " + keys[b] + " swapped"});
    }
  // File names that lead to a device, a folder or nowhere.
  std::size_t at = text.find("&ROFIL");
  if (at == std::string::npos) return;
  const std::pair<const char*, const char*> names[] = {
      {"ORB1", "/dev/zero"},   {"INFO1", "/dev/zero"},   {"VRT1", "/dev/zero"},
      {"DETB1", "/dev/zero"},  {"DAVECA1", "/dev/zero"}, {"ONEINT1", "/dev/zero"},
      {"TRAONE1", "/dev/null"}, {"ORB1", "."},           {"VRT1", "."},
      {"DETA1", "missing_file"}, {"PREFIX", "/nonexistent/"},
      {"PREFIX", "a_very_long_prefix_that_does_not_fit_on_one_card_of_the_input_copy/"}};
  for (const auto& [key, value] : names) {
    std::string item = std::string("\n ") + key + "='" + value + "',";
    out.push_back({"input", Kind::Device, splice_recipe(at + 6, 0, item),
                   std::string(key) + "='" + value + "' added to &ROFIL"});
  }
}

namespace {

// The sections of an #INPORB file: the counts of #INFO (basis functions and
// orbitals of each symmetry), and every orbital of #ORB: its last line
// written twice, its first line written twice, a field added to its last
// line.
void inporb_sections(TextFile& f, const std::vector<Line>& lines) {
  const std::string& text = f.text();
  auto line = [&](std::size_t i) {
    return text.substr(lines[i].start, lines[i].end - lines[i].start);
  };
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (line(i) != "#INFO" || i + 5 >= lines.size()) continue;
    for (std::size_t c = i + 3; c <= i + 4; ++c)
      for (std::size_t at = 0; at + 8 <= line(c).size(); at += 8) {
        const std::string v = line(c).substr(at, 8);
        const std::string what = (c == i + 3 ? "NBAS " : "NORB ") + std::to_string(at / 8 + 1);
        for (long by : {-1L, 1L}) {
          char b[16];
          std::snprintf(b, sizeof b, "%8ld", std::stol(v) + by);
          f.replace(Kind::Count, lines[c].start + at, 8, b, what + ": " + v + " -> " + b);
        }
      }
  }
  std::size_t i = 0;
  while (i < lines.size() && line(i) != "#ORB") ++i;
  while (++i < lines.size() && line(i).rfind('#', 0) != 0) {
    if (line(i).rfind("* ORBITAL", 0) != 0 || i + 1 >= lines.size()) continue;
    std::size_t last = i + 1;
    while (last + 1 < lines.size() && line(last + 1).rfind('*', 0) != 0 &&
           line(last + 1).rfind('#', 0) != 0)
      ++last;
    const std::string orbital = "orbital '" + line(i) + "'";
    f.add(Kind::TextLine, splice_recipe(lines[last].start, 0, line(last) + "\n"),
          "last line of " + orbital + " written twice");
    f.add(Kind::TextLine, splice_recipe(lines[i + 1].start, 0, line(i + 1) + "\n"),
          "first line of " + orbital + " written twice");
    f.add(Kind::TextValue, splice_recipe(lines[last].end, 0, "  1.00000000000000E+00"),
          "a coefficient added to the last line of " + orbital);
  }
}

}  // namespace

void reference_file_mutations(const std::string& text, std::vector<Mutation>& out) {
  TextFile f("OCCMRS", text, out);
  auto lines = lines_of(text);
  f.file_damage();
  if (lines.size() < 2) return;
  const Line& c = lines[0];
  const std::string count = text.substr(c.start, c.end - c.start);
  const long n = std::stol(count);
  for (long by : std::set<long>{0L, -1L, n - 1, n + 1})
    f.replace(Kind::Count, c.start, c.end - c.start, "  " + std::to_string(by),
              "reference count " + std::to_string(n) + " -> " + std::to_string(by));
  std::string many = "  1001\n";
  const std::string first = text.substr(lines[1].start, lines[1].end - lines[1].start);
  for (int k = 0; k < 1001; ++k) many += first + "\n";
  f.replace(Kind::Count, 0, text.size(), many, "1001 references, all the first one");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const Line& l = lines[i];
    const std::string ref =
        "reference " + std::to_string(i) + " (line " + std::to_string(i + 1) + ")";
    f.replace(Kind::TextValue, l.end, 0, "0", ref + ": one occupation more");
    f.replace(Kind::TextValue, l.end, 0, " x", ref + ": characters after its occupations");
    f.replace(Kind::TextValue, l.end - 1, 1, "", ref + ": its last occupation removed");
    for (std::size_t p = l.start; p < l.end; ++p)
      for (char d : {'0', '1', '2'})
        f.replace(Kind::TextValue, p, 1, std::string(1, d),
                  ref + ": occupation " + std::to_string(p - l.start + 1) + " -> " + d);
    f.line_damage(lines, i, true);
  }
}

void orbital_file_mutations(const std::string& text, std::vector<Mutation>& out) {
  TextFile f("INPORB", text, out);
  auto lines = lines_of(text);
  // The orbitals: after the title line, or in #INPORB files the section #ORB.
  std::size_t first = 1, end = lines.size();
  if (text.rfind("#INPORB", 0) == 0) {
    inporb_sections(f, lines);
    while (first < end && text.compare(lines[first - 1].start, 5, "#ORB\n") != 0) ++first;
    for (std::size_t i = first; i < end; ++i)
      if (text[lines[i].start] == '#') end = i;
  }
  std::vector<std::size_t> heads, coefs;
  for (std::size_t i = first; i < end; ++i)
    (text.compare(lines[i].start, 9, "* ORBITAL") == 0 ? heads : coefs).push_back(i);
  f.file_damage();
  if (heads.empty() || coefs.empty()) return;
  // The symmetry and orbital numbers of the first and last orbital headers.
  for (std::size_t i : {heads.front(), heads.back()}) {
    std::size_t s = lines[i].start;
    std::string ln = "header line " + std::to_string(i + 1);
    for (const char* by : {"    9", "   -1", "    x", "     "})
      f.replace(Kind::TextValue, s + 9, 5, by, "symmetry of " + ln + " -> '" + by + "'");
    for (const char* by : {"  999", "    0", "99999"})
      f.replace(Kind::TextValue, s + 14, 5, by, "orbital number of " + ln + " -> '" + by + "'");
  }
  // Coefficient fields of 18 characters that are no finite number.
  const char* fields[] = {"               NaN", "          Infinity", "         -Infinity",
                          "0.10000000000D+999", "xxxxxxxxxxxxxxxxxx", "******************",
                          "0.1D+00 0.2D+00 ,,"};
  for (std::size_t i : {coefs.front(), coefs[coefs.size() / 2], coefs.back()}) {
    const Line& l = lines[i];
    std::string ln = "line " + std::to_string(i + 1);
    for (std::size_t fs : {l.start, l.end >= l.start + 36 ? l.end - 18 : l.start})
      for (const char* by : fields)
        f.replace(Kind::TextValue, fs, 18, by,
                  "field at column " + std::to_string(fs - l.start + 1) + " of " + ln + " -> '" + by + "'");
  }
  for (std::size_t i : {std::size_t{0}, heads.front(), coefs.front(), coefs[coefs.size() / 2],
                        heads[heads.size() / 2], coefs.back()})
    f.line_damage(lines, i, true);
  // Cuts at line starts and middles over the whole file, then at every byte
  // of the last line: a file cut inside its last number.
  std::size_t step = std::max<std::size_t>(1, lines.size() / 40);
  for (std::size_t i = 0; i < lines.size(); i += step) {
    f.cut(lines[i].start, "start of line " + std::to_string(i + 1));
    f.cut(lines[i].start + (lines[i].end - lines[i].start) / 2, "middle of line " + std::to_string(i + 1));
  }
  for (std::size_t at = lines.back().start; at < text.size(); ++at)
    f.cut(at, "inside the last line");
}

}  // namespace fuzz
