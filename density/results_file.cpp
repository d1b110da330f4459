#include "density/results_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "density/vectors.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

namespace {

// JSON numbers with every digit of the double; a value that JSON cannot
// hold (infinite, not a number) is null.
std::string number(double x) {
  if (!std::isfinite(x)) return "null";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", x);
  return buf;
}

std::string numbers(const double* x, int n, double scale = 1.0) {
  std::string s = "[";
  for (int k = 0; k < n; ++k) s += (k ? ", " : "") + number(x[k] * scale);
  return s + "]";
}

std::string quoted(std::string_view text) {
  std::string s = "\"";
  for (char ch : text) {
    if (ch == '"' || ch == '\\') s += '\\';
    if (static_cast<unsigned char>(ch) < 0x20) continue;
    s += ch;
  }
  return s + "\"";
}

// An object from its members, each line indented under its parent.
std::string object(std::initializer_list<std::pair<std::string_view, std::string>> members,
                   const std::string& indent) {
  std::string s = "{\n";
  size_t k = 0;
  for (const auto& [name, value] : members)
    s += indent + "  " + quoted(name) + ": " + value + (++k < members.size() ? ",\n" : "\n");
  return s + indent + "}";
}

std::string sum3(const double* a, const double* b, int n, double* out) {
  for (int k = 0; k < n; ++k) out[k] = b[k] + a[k];
  return numbers(out, n);
}

std::string trimmed(std::string_view s) {
  const size_t e = s.find_last_not_of(' ');
  return std::string(e == std::string_view::npos ? std::string_view() : s.substr(0, e + 1));
}

constexpr std::string_view kOrigin =
    "the origin of the MOLCAS multipole integrals (OneInt), to which the nuclear parts refer";
constexpr std::string_view kQuadComponents = "[\"xx\", \"xy\", \"xz\", \"yy\", \"yz\", \"zz\"]";

// The members that describe one pair of roots, each on its own line under
// `indent`: the two roots, the kind of density, the energy difference and
// the moments the property selector chose; `units` tells the units in
// front of the moments.
std::string pair_members(Run& run, int root1, double e1, int root2, double e2, bool state,
                         double de, const Moments& m, const std::string& indent, bool units) {
  const std::string in2 = indent + "  ";
  std::string body;
  auto member = [&](std::string_view name, const std::string& value) {
    body += ",\n" + indent + quoted(name) + ": " + value;
  };
  member("roots", "[\n" + in2 +
                      object({{"file", quoted(run.io.name(kUnitVecA))},
                              {"root", std::to_string(root1)},
                              {"energy_hartree", number(e1)}},
                             in2) +
                      ",\n" + in2 +
                      object({{"file", quoted(run.io.name(kUnitVecB))},
                              {"root", std::to_string(root2)},
                              {"energy_hartree", number(e2)}},
                             in2) +
                      "\n" + indent + "]");
  member("kind", state ? "\"state\"" : "\"transition\"");
  member("energy_difference",
         object({{"hartree", number(de)},
                 {"ev", number(de * kEvPerHartree)},
                 {"nm", de == 0.0 ? "null" : number(kNmHartree / std::abs(de))}},
                indent));
  if (units) member("units", "\"atomic units unless the name says otherwise\"");
  if (state && m.dipoles) {
    double tot[3];
    const std::string total = sum3(m.dip_el, m.dip_nuc, 3, tot);
    member("dipole", object({{"electronic", numbers(m.dip_el, 3)},
                             {"nuclear", numbers(m.dip_nuc, 3)},
                             {"total", total},
                             {"electronic_debye", numbers(m.dip_el, 3, kDebyePerAu)},
                             {"nuclear_debye", numbers(m.dip_nuc, 3, kDebyePerAu)},
                             {"total_debye", numbers(tot, 3, kDebyePerAu)},
                             {"total_magnitude", number(m.amu_tot)},
                             {"total_magnitude_debye", number(m.amu_tot * kDebyePerAu)}},
                            indent));
  }
  if (state && m.quadrupoles) {
    double qtot[6], ttot[6];
    const std::string qt = sum3(m.quad_el, m.quad_nuc, 6, qtot);
    const std::string tt = sum3(m.theta_el, m.theta_nuc, 6, ttot);
    member("quadrupole", object({{"components", std::string(kQuadComponents)},
                                 {"origin", quoted(kOrigin)},
                                 {"electronic", numbers(m.quad_el, 6)},
                                 {"nuclear", numbers(m.quad_nuc, 6)},
                                 {"total", qt}},
                                indent));
    member("traceless_quadrupole", object({{"components", std::string(kQuadComponents)},
                                           {"origin", quoted(kOrigin)},
                                           {"electronic", numbers(m.theta_el, 6)},
                                           {"nuclear", numbers(m.theta_nuc, 6)},
                                           {"total", tt},
                                           {"effective", number(m.theta_eff)}},
                                          indent));
  }
  if (!state && m.dipoles) {
    const double mu2 = m.amu_el * m.amu_el;
    member("transition_dipole",
           object({{"electronic", numbers(m.dip_el, 3)},
                   {"electronic_debye", numbers(m.dip_el, 3, kDebyePerAu)},
                   {"magnitude", number(m.amu_el)},
                   {"magnitude_debye", number(m.amu_el * kDebyePerAu)},
                   {"magnitude_squared", number(mu2)}},
                  indent));
    member("oscillator_strength", number(2.0 / 3.0 * de * mu2));
  }
  return body;
}

// The orbital files of one density and what they hold, as one member: the
// natural orbitals of a state with their occupations per symmetry, or the
// natural transition orbitals of a transition with their weights and
// participation ratio.  Nothing when no file was written.
std::string orbital_member(const OrbitalAnalysis& a, const std::string& indent) {
  if (a.files.empty()) return "";
  std::string values = "[";
  for (size_t s = 0; s < a.values.size(); ++s)
    values += (s ? ", " : "") + numbers(a.values[s].data(), static_cast<int>(a.values[s].size()));
  values += "]";
  if (a.files.size() == 1)
    return ",\n" + indent + "\"natural_orbitals\": " +
           object({{"file", quoted(a.files[0])},
                   {"occupations", values},
                   {"occupation_sum", number(a.occupation_sum)}},
                  indent);
  std::string partners = "[";
  for (size_t s = 0; s < a.particle_symmetry.size(); ++s)
    partners += (s ? ", " : "") + std::to_string(a.particle_symmetry[s]);
  return ",\n" + indent + "\"transition_orbitals\": " +
         object({{"hole_file", quoted(a.files[0])},
                 {"particle_file", quoted(a.files[1])},
                 {"particle_symmetry", partners + "]"},
                 {"weights", values},
                 {"participation_ratio", number(a.participation_ratio)}},
                indent);
}

}  // namespace

std::string results_json(Run& run, std::string_view version) {
  run.io.rewind(kUnitVecA);
  run.io.rewind(kUnitVecB);
  const VectorHead h1 = read_head(run, kUnitVecA, run.ronum.numero(1));
  const VectorHead h2 = read_head(run, kUnitVecB, run.ronum.numero(2));
  run.io.rewind(kUnitVecA);
  run.io.rewind(kUnitVecB);
  // The same choice as the density stage: one root with one energy is a
  // state; anything else a transition between two states.
  const bool state = same_state(run.ronum.numero(1), h1, run.ronum.numero(2), h2);

  std::string body = "{\n  \"program\": \"ciprop\",\n  \"version\": " + quoted(version);
  auto member = [&](std::string_view name, const std::string& value) {
    body += ",\n  " + quoted(name) + ": " + value;
  };
  member("generation_mode", quoted(trimmed(run.prep.gener.view())));
  member("determinants", object({{"run_description", std::to_string(run.det.ndet)},
                                 {"active_space_only", std::to_string(run.det.ndetcas)},
                                 {"first_vector_file", std::to_string(h1.ndim)},
                                 {"second_vector_file", std::to_string(h2.ndim)}},
                                "  "));
  // Every orbital file the run wrote.
  std::string files;
  auto add_files = [&](const OrbitalAnalysis& a) {
    for (const std::string& f : a.files) files += (files.empty() ? "" : ", ") + quoted(f);
  };
  add_files(run.dens.orbitals);
  for (const PairResult& p : run.dens.pairs) add_files(p.orbitals);
  member("orbital_files", "[" + files + "]");
  body += pair_members(run, run.ronum.numero(1), h1.energy, run.ronum.numero(2), h2.energy, state,
                       run.ronum.deltae, run.dens.moments, "  ", true);
  body += orbital_member(run.dens.orbitals, "  ");
  // A spectrum: the first pair above as a single-pair run writes it, and
  // every pair in "pairs", in the order of the table.
  if (!run.dens.pairs.empty()) {
    std::string list = "[";
    for (size_t k = 0; k < run.dens.pairs.size(); ++k) {
      const PairResult& p = run.dens.pairs[k];
      std::string members = pair_members(run, p.root1, p.energy1, p.root, p.energy,
                                         p.state, p.deltae, p.moments, "      ", false) +
                            orbital_member(p.orbitals, "      ");
      list += (k ? ",\n    {" : "\n    {") + members.substr(1) + "\n    }";
    }
    member("pairs", list + "\n  ]");
  }
  return body + "\n}\n";
}

void remove_earlier_output(Run& run, std::string_view name) {
  const std::string file(name);
  if (::unlink(file.c_str()) != 0 && errno != ENOENT)
    fio::stop_io(run.io, "input/output error: cannot remove the file " + file +
                             " of an earlier run (" + std::strerror(errno) +
                             "); remove it, so that it is not taken for this run's");
}

void write_results(Run& run, std::string_view version) {
  write_whole_file(run, kResultsFile, results_json(run, version));
}

void write_whole_file(Run& run, std::string_view name, const std::string& text) {
  const std::string final_name(name);
  const std::string temp = final_name + "." + std::to_string(::getpid()) + ".tmp";
  auto fail = [&](int error) {
    ::unlink(temp.c_str());
    fio::stop_io(run.io, "input/output error: cannot write " + final_name + " (" +
                             std::strerror(error) + ")");
  };
  // The temporary is created, never reached through a link that another
  // process left under its name.
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) fail(errno);
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      ::close(fd);
      fail(error);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) fail(errno);
  if (std::rename(temp.c_str(), final_name.c_str()) != 0) fail(errno);
}

}  // namespace ciprop
