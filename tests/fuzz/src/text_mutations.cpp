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

void orbital_file_mutations(const std::string& text, std::vector<Mutation>& out) {
  TextFile f("INPORB", text, out);
  auto lines = lines_of(text);
  std::vector<std::size_t> heads, coefs;
  for (std::size_t i = 1; i < lines.size(); ++i)
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
