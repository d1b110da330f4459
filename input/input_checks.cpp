#include "input/input_checks.hpp"

#include <cctype>
#include <sys/stat.h>

#include <algorithm>
#include <ostream>
#include <vector>

#include "core/unit_numbers.hpp"
#include "core/print.hpp"
#include "fortio/stop.hpp"
#include "input/namelist.hpp"
#include "input/open_files.hpp"

namespace ciprop {

namespace {

constexpr std::string_view kGroupOrder = "&ROFIL, &RHO, &RHC, &COST";

// What a run uses when a group of standard input is not read.
constexpr std::string_view kDefaults[] = {
    "the files are read from the working folder under their usual names (vrt, Info, deta, "
    "detb, daveca, davecb, INPORB, OneInt, TraOne)",
    "defaults used: NUMERO=1,1 (root 1 of both vector files), no frozen or deleted orbitals, "
    "ISX=ISY=ISZ=1",
    "defaults used: IPROP=1 (dipole only), MOLCAS=5, CALCRO=0",
    "the MOLCAS version of &RHC is used",
};

bool name_char(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_'; }

std::string joined(std::span<const std::string_view> names) {
  std::string s;
  for (std::string_view n : names) s.append(s.empty() ? "" : ", ").append(n);
  return s;
}

// The positions of `ch` outside quoted text: a quoted run opens at an
// apostrophe or a double quote and closes at the same character, as the
// card reader gathers it.
std::vector<size_t> unquoted(std::string_view text, char ch) {
  std::vector<size_t> at;
  char open = 0;
  for (size_t c = 0; c < text.size(); ++c) {
    if (open != 0) {
      if (text[c] == open) open = 0;
    } else if (text[c] == '\'' || text[c] == '"') {
      open = text[c];
    } else if (text[c] == ch) {
      at.push_back(c);
    }
  }
  return at;
}

struct GroupName {
  int card;  // 0-based card of standard input
  std::string name;
};

// Every "&NAME" of the cards outside quoted text, "&END" excepted.
std::vector<GroupName> group_names(Run& run) {
  std::vector<GroupName> found;
  std::string card;
  for (int k = 0; run.io.read_card(kUnitInput, card, 80); ++k) {
    majnam(card, 80);
    for (size_t c : unquoted(card, '&')) {
      size_t e = c + 1;
      while (e < card.size() && name_char(card[e])) ++e;
      std::string name = card.substr(c, e - c);
      // A lone "&" names no group.
      if (name != "&END" && name != "&") found.push_back({k, name});
    }
  }
  run.io.rewind(kUnitInput);
  return found;
}

}  // namespace

void warn(Run& run, std::string_view text) {
  run.io.err() << "ciprop: warning: " << text << '\n';
  run.io.err().flush();
}

void refuse_input(Run& run, std::string_view message) {
  run.io.list(kUnitReport, {message});
  fio::stop_error(run.io, message);
}

void check_input_groups(Run& run) {
  const std::vector<GroupName> names = group_names(run);
  for (const GroupName& g : names)
    if (std::find(std::begin(kInputGroups), std::end(kInputGroups), g.name) ==
        std::end(kInputGroups))
      refuse_input(run, "unknown namelist group " + g.name + " on standard input (line " +
                            std::to_string(g.card + 1) + "); the groups are " +
                            std::string(kGroupOrder));
  // The reader searches each group from where the previous one ended and
  // never goes back: a group placed before one read ahead of it, or after a
  // missing one, is not found.
  int from = -1;
  bool at_end = false;
  for (size_t k = 0; k < std::size(kInputGroups); ++k) {
    const std::string_view group = kInputGroups[k];
    auto here = std::find_if(names.begin(), names.end(), [&](const GroupName& g) {
      return g.name == group && g.card > from;
    });
    if (!at_end && here != names.end()) {
      from = here->card;
      continue;
    }
    at_end = true;
    const bool given = std::any_of(names.begin(), names.end(),
                                   [&](const GroupName& g) { return g.name == group; });
    if (given)
      warn(run, std::string(group) + " is not read: it stands out of the order " +
                    std::string(kGroupOrder) + " or after a missing group; " +
                    std::string(kDefaults[k]));
    else
      warn(run, "no " + std::string(group) + " group on standard input; " +
                    std::string(kDefaults[k]));
  }
}

void check_items(Run& run, std::string_view group, const std::string& given,
                 const std::string& left, std::span<const std::string_view> valid) {
  for (size_t c : unquoted(given, '*')) {
    size_t s = c;
    while (s > 0 && std::string_view("0123456789+-").find(given[s - 1]) != std::string::npos) --s;
    const std::string count = given.substr(s, c - s);
    if (count.find_first_of("123456789") == std::string::npos || count[0] == '-')
      refuse_input(run, "repeat count '" + count + "' in " + std::string(group) +
                            " is below 1; write n*value with n at least 1");
  }
  const size_t k = left.find_first_not_of(" ,");
  if (k == std::string::npos) return;
  // The item around the first character left: a key when a name stands
  // there followed by "=" or "(" (digits in front of it are the end of the
  // value before it, glued to it once blanks are gone).
  size_t s = k, e = k;
  while (s > 0 && name_char(given[s - 1])) --s;
  while (e < given.size() && name_char(given[e])) ++e;
  while (s < e && given[s] >= '0' && given[s] <= '9') ++s;
  if (s <= k && s < e && e < given.size() && (given[e] == '=' || given[e] == '('))
    refuse_input(run, "unknown key " + given.substr(s, e - s) + " in " + std::string(group) +
                          "; its keys are " + joined(valid));
  const size_t end = std::min(left.find_first_of(" ,", k), k + 20);
  refuse_input(run, "text '" + left.substr(k, end - k) +
                        "' in " + std::string(group) +
                        " belongs to no key; items are separated by commas");
}

void warn_single_root(Run& run, int stored) {
  if (stored != 1) return;
  warn(run, "NUMERO gives one root; roots " + std::to_string(run.ronum.numero(1)) +
                " (first vector file) and " + std::to_string(run.ronum.numero(2)) +
                " (second vector file) are used");
}

void warn_file_names(Run& run, std::string_view orb1, std::string_view prefix,
                     std::string_view ci_prefix) {
  auto trim = [](std::string_view s) {
    const size_t e = s.find_last_not_of(' ');
    return e == std::string_view::npos ? std::string() : std::string(s.substr(0, e + 1));
  };
  const std::string orb = trim(orb1), pre = trim(prefix), ci = trim(ci_prefix);
  const bool found = run.io.is_open(kUnitOrbitals);
  const std::string used = found ? run.io.name(kUnitOrbitals) : "";
  if (!orb.empty() && !orb1.starts_with(' ') && used != orb)
    warn(run, "ORB1 file '" + orb + "' does not open; " +
                  (found ? "the orbitals are read from " + used : "no other orbital file found"));
  if (!pre.empty() && used == "INPORB")
    warn(run, "the orbitals are read from INPORB in the working folder, not from under PREFIX '" +
                  pre + "'");
  if (pre.empty() || ci == pre) return;
  const std::string names = "the CI file names (vrt, Info, deta, detb, daveca, davecb)";
  if (ci.empty())
    warn(run, "PREFIX '" + pre + "' does not reach " + names +
                  ": they are taken from the working folder (a prefix of 10 characters or more is "
                  "dropped there); give them with VRT1, INFO1, DETA1, DETB1, DAVECA1, DAVECB1");
  else
    warn(run, "PREFIX '" + pre + "' reaches " + names + " as '" + ci +
                  "' (cut at its first blank); give them with VRT1, INFO1, DETA1, DETB1, DAVECA1, "
                  "DAVECB1");
}

void check_molcas_versions(Run& run, int rhc, int cost) {
  if (rhc == cost) return;
  refuse_input(run, "MOLCAS is " + std::to_string(rhc) + " in &RHC and " + std::to_string(cost) +
                        " in &COST; give one version");
}

namespace {

bool same_file(const std::string& a, const struct stat& b) {
  struct stat sa;
  return ::stat(a.c_str(), &sa) == 0 && sa.st_dev == b.st_dev && sa.st_ino == b.st_ino;
}

// Whether the quoted value starting at `quote` is that of the key STOP,
// whose value names the stage to stop after, never a file ('ORDET' asks
// for the reordered list, which a previous run may have left here).
bool stop_value(const std::string& line, size_t quote) {
  size_t k = line.find_last_not_of(' ', quote == 0 ? 0 : quote - 1);
  if (quote == 0 || k == std::string::npos || line[k] != '=') return false;
  k = line.find_last_not_of(' ', k == 0 ? 0 : k - 1);
  if (k == std::string::npos || k < 3) return false;
  std::string key = line.substr(k - 3, 4);
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const bool starts = k < 4 || !std::isalnum(static_cast<unsigned char>(line[k - 4]));
  return key == "STOP" && starts;
}

// Every text between a pair of quotes, blanks at its ends dropped, but for
// the value of STOP.
std::vector<std::string> quoted_texts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines)
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] != '\'' && line[i] != '"') continue;
      size_t end = line.find(line[i], i + 1);
      if (end == std::string::npos) break;
      if (stop_value(line, i)) {
        i = end;
        continue;
      }
      std::string t = line.substr(i + 1, end - i - 1);
      t.erase(0, std::min(t.size(), t.find_first_not_of(' ')));
      t.erase(t.find_last_not_of(' ') + 1);
      if (!t.empty()) out.push_back(t);
      i = end;
    }
  return out;
}

}  // namespace

void refuse_scratch_inputs(Run& run, const std::vector<std::string>& lines) {
  const std::vector<std::string> quoted = quoted_texts(lines);
  std::vector<std::string> names = quoted;
  for (std::string_view base : kInputBaseNames) names.emplace_back(base);
  for (const std::string& prefix : quoted) {
    for (const std::string& base : quoted) names.push_back(prefix + base);
    for (std::string_view base : kInputBaseNames) names.push_back(prefix + std::string(base));
  }
  for (std::string_view scratch : kScratchNames) {
    // A scratch name that is a link is removed, not written through: only a
    // file of its own can be an input.
    struct stat st;
    if (::lstat(std::string(scratch).c_str(), &st) != 0) continue;
    for (const std::string& name : names)
      if (same_file(name, st))
        refuse_input(run, "the input file '" + name + "' is the scratch file " +
                              std::string(scratch) +
                              " of this program (the same file): give it a name of its own");
  }
}

}  // namespace ciprop
