#include "orbitals/orbital_file.hpp"

#include <sstream>
#include <string>
#include <vector>

#include "core/unit_numbers.hpp"
#include "core/print.hpp"
#include "fortio/format.hpp"
#include "orbitals/property_integrals.hpp"

namespace ciprop {

namespace {

[[noreturn]] void fault(Run& run, const std::string& what) {
  run.io.io_error(kUnitOrbitals, what);
}

std::string next_line(Run& run, const std::string& before) {
  std::string line;
  if (!run.io.read_line(kUnitOrbitals, line)) fault(run, "end of file before " + before);
  return line;
}

// Lines up to and including the one that starts with the section name.
void skip_to(Run& run, std::string_view section) {
  for (;;) {
    std::string line = next_line(run, "the section " + std::string(section));
    if (line.rfind(section, 0) == 0 && line.find_first_not_of(' ', section.size()) ==
                                           std::string::npos)
      return;
  }
}

// A line of `count` integers.
std::vector<int> integers(Run& run, int count, const std::string& what) {
  const std::string line = next_line(run, what);
  std::istringstream s(line);
  std::vector<int> v;
  for (long x; s >> x;) {
    if (x < 0 || x > kMaxOrb) fault(run, what + ": value " + std::to_string(x) + " out of range");
    v.push_back(static_cast<int>(x));
  }
  if (static_cast<int>(v.size()) != count || !s.eof())
    fault(run, what + ": " + std::to_string(count) + " integers expected, read '" + line + "'");
  return v;
}

// A heading "* ORBITAL    s    m": true with its symmetry and orbital.
bool orbital_heading(const std::string& line, int& s, int& m) {
  if (line.rfind('*', 0) != 0) return false;
  std::istringstream h(line.substr(1));
  std::string word;
  return h >> word && word == "ORBITAL" && h >> s >> m;
}

// The number layout of a version: fields per line, their width, and the
// implied decimals of Fortran's input editing.
struct NumberLayout {
  int per_line, width, decimals;
};
constexpr NumberLayout kLayout1 = {4, 18, 12};  // 1.0, 1.1: (4E18.12)
constexpr NumberLayout kLayout2 = {5, 22, 14};  // 2.x: (5(1X,ES21.14))

// What version 2.2 writes: the coefficients and #OCC with kLayout2, #OCHR
// with four decimals, the counts in fields of eight.
constexpr std::string_view kNumbers22 = "(5(1X,ES21.14))";
constexpr std::string_view kHumanReadable22 = "(10(1X,F7.4))";
constexpr std::string_view kCounts = "(8I8)";

}  // namespace

std::string inporb_text(std::string_view title, std::span<const OrbitalBlock> blocks) {
  std::vector<std::string> lines = {"#INPORB 2.2", "#INFO"};
  lines.push_back(title.rfind('*', 0) == 0 ? std::string(title) : "* " + std::string(title));
  const int nsym = static_cast<int>(blocks.size());
  fio::Items counts, nbas, norb;
  counts << 0 << nsym << 0;
  for (const OrbitalBlock& b : blocks) {
    nbas << b.nbas;
    norb << b.norb;
  }
  fio::format_records(kCounts, counts, lines);
  fio::format_records(kCounts, nbas, lines);
  fio::format_records(kCounts, norb, lines);
  lines.push_back("#ORB");
  for (int s = 1; s <= nsym; ++s) {
    const OrbitalBlock& b = blocks[s - 1];
    for (int m = 1; m <= b.norb; ++m) {
      fio::format_records("(A,2I5)", {"* ORBITAL", s, m}, lines);
      const double* coef = b.coef.data() + static_cast<size_t>(m - 1) * b.nbas;
      fio::format_records(kNumbers22, fio::Items().all(coef, b.nbas), lines);
    }
  }
  // Every symmetry starts a line of its own; one without orbitals has none,
  // as OpenMolcas writes (and reads) them.
  auto numbers = [&](std::string_view format) {
    for (const OrbitalBlock& b : blocks)
      if (b.norb > 0) fio::format_records(format, fio::Items().all(b.occ.data(), b.norb), lines);
  };
  lines.insert(lines.end(), {"#OCC", "* OCCUPATION NUMBERS"});
  numbers(kNumbers22);
  lines.insert(lines.end(), {"#OCHR", "* OCCUPATION NUMBERS (HUMAN-READABLE)"});
  numbers(kHumanReadable22);
  std::string text;
  for (const std::string& l : lines) text.append(l).push_back('\n');
  return text;
}

bool inporb_header(std::string_view line) { return line.rfind("#INPORB", 0) == 0; }

void read_inporb(Run& run, std::string_view first) {
  OrbitalRecords& r = run.ints;
  const std::string version(first.substr(first.find_first_not_of(' ', 7) == std::string_view::npos
                                             ? first.size()
                                             : first.find_first_not_of(' ', 7)));
  NumberLayout layout{};
  if (version.rfind("1.0", 0) == 0 || version.rfind("1.1", 0) == 0)
    layout = kLayout1;
  else if (version.rfind("2.0", 0) == 0 || version.rfind("2.1", 0) == 0 ||
           version.rfind("2.2", 0) == 0)
    layout = kLayout2;
  else
    fault(run, "#INPORB version '" + version + "' unknown (1.0, 1.1, 2.0, 2.1, 2.2 are read)");

  skip_to(run, "#INFO");
  std::string title = next_line(run, "the title of #INFO");
  const std::vector<int> kind = integers(run, 3, "the line UHF, NSYM, WFTYPE of #INFO");
  if (kind[0] != 0) fault(run, "unrestricted (UHF) orbitals: one set of orbitals is read");
  const int nsym = kind[1];
  if (nsym != run.sym.nsym)
    fault(run, "NSYM " + std::to_string(nsym) + " of #INFO differs from the integral files' " +
                   std::to_string(run.sym.nsym));
  const std::vector<int> nbas = integers(run, nsym, "the basis counts of #INFO");
  const std::vector<int> norb = integers(run, nsym, "the orbital counts of #INFO");
  for (int s = 1; s <= nsym; ++s) {
    r.nmo(s) = norb[s - 1];
    const std::string sym = " of symmetry " + std::to_string(s);
    if (nbas[s - 1] != r.nb(s))
      fault(run, "NBAS " + std::to_string(nbas[s - 1]) + sym +
                     " differs from the integral files' " + std::to_string(r.nb(s)));
    // Orbitals missing from the file can only be deleted ones, the last of
    // their symmetry, which no density reaches.
    const int missing = nbas[s - 1] - norb[s - 1];
    if (missing < 0 || missing > run.orbi.ndel(s))
      fault(run, "NORB " + std::to_string(norb[s - 1]) + sym + " for " +
                     std::to_string(nbas[s - 1]) + " basis functions and " +
                     std::to_string(run.orbi.ndel(s)) + " deleted orbitals (NDEL)");
  }
  title.resize(40, ' ');
  fio::Items shown;
  for (int k = 0; k < 40; ++k) shown << std::string_view(title).substr(k, 1);
  run.io.write(kUnitReport, "(' orbitales lues :', 40a1)", shown);

  skip_to(run, "#ORB");
  // The line after an orbital's coefficients: the next heading or section,
  // kept for the next orbital; empty at the end of the file.
  std::string after;
  int col = 0;
  for (int s = 1; s <= nsym; ++s) {
    const int n = r.nb(s);
    for (int m = 1; m <= n; ++m) {
      ++col;
      const std::string which = " of orbital " + std::to_string(m) + " of symmetry " +
                                std::to_string(s);
      if (m > norb[s - 1]) {
        for (int mu = 1; mu <= n; ++mu) r.orb(mu, col) = 0.0;
        continue;
      }
      // The heading ("* ORBITAL    s    m") and any other comment lines.
      std::string line = after.empty() ? next_line(run, "the heading" + which) : after;
      if (line.rfind('*', 0) != 0) fault(run, "no heading line" + which + ": '" + line + "'");
      while (line.rfind('*', 0) == 0) {
        int hs = 0, hm = 0;
        if (orbital_heading(line, hs, hm) && (hs != s || hm != m))
          fault(run, "heading '" + line + "' where orbital " + std::to_string(m) +
                         " of symmetry " + std::to_string(s) + " belongs");
        line = next_line(run, "the coefficients" + which);
      }
      int field = 0;
      for (int mu = 1; mu <= n; ++mu) {
        field = (mu - 1) % layout.per_line;
        if (field == 0 && mu > 1) line = next_line(run, "the coefficients" + which);
        if (line.rfind('#', 0) == 0)
          fault(run, "section " + line + " reached before the coefficients" + which);
        std::string_view f;
        const size_t at = static_cast<size_t>(layout.width) * field;
        if (line.size() > at) f = std::string_view(line).substr(at, layout.width);
        // The numbers fill their fields to the right: a short last field is
        // a number cut off, not a shorter number.
        if (!lird(f, layout.decimals, r.orb(mu, col)) ||
            (!f.empty() && f.size() < static_cast<size_t>(layout.width)))
          fault(run, "coefficient " + std::to_string(mu) + which + " missing or unreadable: '" +
                         std::string(f) + "'");
      }
      // Nothing more before the next heading: a line written twice would
      // shift every later coefficient of the orbital unseen.
      const std::string more = "more coefficients" + which + " than the " +
                               std::to_string(n) + " basis functions of its symmetry: '";
      if (line.find_first_not_of(' ', static_cast<size_t>(layout.width) * (field + 1)) !=
          std::string::npos)
        fault(run, more + line + "'");
      after.clear();
      for (std::string next; run.io.read_line(kUnitOrbitals, next);) {
        if (next.rfind('*', 0) == 0 || next.rfind('#', 0) == 0) {
          after = next;
          break;
        }
        if (next.find_first_not_of(' ') != std::string::npos) fault(run, more + next + "'");
      }
    }
    if (run.pr.nprint > 1 && n > 0) script(run, &r.orb(1, r.ioffo(s) + 1), n, n, 500);
  }
  int hs = 0, hm = 0;
  if (orbital_heading(after, hs, hm))
    fault(run, "heading '" + after + "' after the last orbital that NORB of #INFO announces");
  if (run.pr.nprint > 1) script(run, r.orb.data(), r.ntot, r.ntot, 500);
}

}  // namespace ciprop
