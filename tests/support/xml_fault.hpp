// A small check that a text is well-formed XML, for the files the program
// writes by hand: an optional declaration, one root element, every element
// closed in order, attribute values quoted and not repeated, no "<" and no
// "&" but an entity in text or values.
#pragma once
#include <cctype>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace test {

// The first fault of x, empty when there is none.
inline std::string xml_fault(std::string_view x) {
  auto at = [&](size_t k) { return k < x.size() ? x[k] : '\0'; };
  auto name = [&](size_t& k) {
    const size_t b = k;
    while (std::isalnum(static_cast<unsigned char>(at(k))) ||
           std::string_view(":_-.").find(at(k)) != std::string_view::npos)
      ++k;
    return std::string(x.substr(b, k - b));
  };
  auto entity = [&](size_t k) {
    const size_t e = x.find(';', k);
    if (e == std::string_view::npos || e - k > 10) return false;
    const std::string_view ent = x.substr(k + 1, e - k - 1);
    return ent == "amp" || ent == "lt" || ent == "gt" || ent == "quot" || ent == "apos" ||
           (ent.size() > 1 && ent[0] == '#');
  };
  std::vector<std::string> open;
  bool root = false;
  size_t i = 0;
  if (x.starts_with("<?xml")) {
    i = x.find("?>");
    if (i == std::string_view::npos) return "unclosed declaration";
    i += 2;
  }
  while (i < x.size()) {
    const std::string where = " at " + std::to_string(i);
    if (x[i] != '<') {
      if (x[i] == '&' && !entity(i)) return "bare &" + where;
      if (open.empty() && !std::isspace(static_cast<unsigned char>(x[i])))
        return "text outside the root" + where;
      ++i;
    } else if (x.substr(i, 4) == "<!--") {
      i = x.find("-->", i);
      if (i == std::string_view::npos) return "unclosed comment";
      i += 3;
    } else if (at(i + 1) == '/') {
      size_t k = i + 2;
      const std::string n = name(k);
      if (open.empty() || open.back() != n || at(k) != '>')
        return "</" + n + "> closes nothing open" + where;
      open.pop_back();
      i = k + 1;
    } else {
      size_t k = i + 1;
      const std::string n = name(k);
      if (n.empty()) return "no element name" + where;
      if (open.empty() && root) return "a second root element" + where;
      std::set<std::string> attributes;
      for (;;) {
        while (std::isspace(static_cast<unsigned char>(at(k)))) ++k;
        if (at(k) == '>' || (at(k) == '/' && at(k + 1) == '>')) {
          if (at(k) == '>') open.push_back(n);
          root = true;
          i = k + (at(k) == '>' ? 1 : 2);
          break;
        }
        const std::string a = name(k);
        if (a.empty() || !attributes.insert(a).second)
          return "bad or repeated attribute in <" + n + ">" + where;
        const char q = at(k + 1);
        if (at(k) != '=' || (q != '"' && q != '\'')) return "unquoted attribute " + a + where;
        const size_t e = x.find(q, k + 2);
        if (e == std::string_view::npos) return "unclosed value of " + a + where;
        for (size_t j = k + 2; j < e; ++j)
          if (x[j] == '<' || (x[j] == '&' && !entity(j))) return "< or bare & in " + a + where;
        k = e + 1;
        if (!std::isspace(static_cast<unsigned char>(at(k))) && at(k) != '>' && at(k) != '/')
          return "nothing between attributes" + where;
      }
    }
  }
  if (!open.empty()) return "<" + open.back() + "> not closed";
  return root ? "" : "no root element";
}

}  // namespace test
