// Damaged-input campaign: generated run folders of several generation modes
// and MOLCAS versions, every input file mutated (cuts, integer fields, labels,
// NaN and Inf, text edits, missing files, scratch-name collisions, a full
// disk) and the run's environment changed (scratch names that are links,
// FIFOs or folders; inputs that are FIFOs or folders; standard input empty,
// a folder or closed), each damaged folder run through the sanitized
// program in a private copy with a time limit.  A run passes when it ends
// either with status 0 and exactly the moments of the intact case (or, with
// no text on standard input, on the defaults and saying so), or with a
// non-zero status and a "ciprop:" line of its own on standard error, without
// a sanitizer report, without touching its input files or a file outside
// its folder.
//
//   ciprop_fuzz --exe PROGRAM [--runs N] [--seed S] [--timeout SEC]
//               [--minutes M] [--work DIR] [--case NAMES] [--file NAMES] [--kind KIND]
//               [--log FILE] [--strict]
//   ciprop_fuzz --exe PROGRAM --case NAME --file NAME --mutation RECIPE [--keep DIR]
//
// NAMES is one name or several separated by commas.  N (default 24, 0 for
// every mutation; the environment variable CIPROP_FUZZ_RUNS overrides it)
// runs are drawn from all mutations of all cases (of one kind of damage with
// --kind, e.g. "scratch link") in an order fixed by the seed, which also
// draws the cases' determinant orders and vectors; --minutes stops the draw
// early.  Exit status: 0, or 1 with --strict when a run failed; 2 when the
// campaign itself could not run.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "mutation.hpp"
#include "runner.hpp"
#include "tools/mkcase/make_case.hpp"
#include "tools/mkcase/options.hpp"

namespace fs = std::filesystem;
using namespace fuzz;

namespace {

// Small spaces, so that a run takes a fraction of a second even sanitized.
struct CaseDef {
  const char* name;
  const char* options;  // mkcase options
};
const CaseDef kCases[] = {
    {"cas-v5-state", "--nsym=1 --ninac=1 --nact=4 --nvirt=2 --ngel=1 --nelac=4 --gener=CAS "
                     "--roots=1,1 --molcas=5"},
    {"ddci-v54-sym", "--nsym=2 --ninac=1,1 --nact=2,1 --nvirt=2,1 --ndel=0,1 --nelac=4 "
                     "--gener=DDCI --is0=2 --is0a=1 --roots=1,2 --molcas=54 --symxyz=2,1,1"},
    {"pert-v4-state", "--nsym=2 --ninac=1,0 --nact=2,2 --nvirt=2,1 --ngel=1,0 --nelac=4 "
                      "--gener=PERT --roots=2,2 --molcas=4"},
    {"mono-v5-odd", "--nsym=1 --ninac=2 --nact=3 --nvirt=3 --nelac=3 --ms2=-1 --gener=MONO "
                    "--roots=1,2 --molcas=5"},
    {"ddc2-v54", "--nsym=2 --ninac=1,1 --nact=1,2 --nvirt=1,2 --nelac=4 --gener=DDC2 "
                 "--roots=2,1 --molcas=54"},
    {"ddci-one-list", "--nsym=2 --ninac=1,1 --nact=2,1 --nvirt=2,1 --nelac=4 --gener=DDCI "
                      "--nroots=3 --roots=3,1 --molcas=5 --one-list"},
    // Current OpenMolcas files (OneInt, TraOne, RunFile, #INPORB 2.2), x
    // and z of other symmetries than the totally symmetric one.
    {"ddci-v22", "--nsym=4 --ninac=1,0,0,1 --nact=2,1,0,0 --nvirt=1,1,1,0 --ngel=1,0,0,0 "
                 "--ndel=0,0,0,1 --nelac=4 --gener=DDCI --roots=1,2 --molcas=22 --symxyz=2,4,1"},
    // References in "OCCMRS", an orbital file of #INPORB 2.1.
    {"mrdd-v5-refs", "--nsym=2 --ninac=1,1 --nact=2,1 --nvirt=2,1 --nelac=4 --gener=MRDD "
                     "--refs=220,202 --nroots=2 --roots=1,2 --molcas=5 --inporb=2.1"},
};

struct Case {
  const CaseDef* def;
  Folder folder;
  std::string moments;
};

std::vector<std::string> words(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> w;
  for (std::string x; in >> x;) w.push_back(x);
  return w;
}

struct Args {
  std::string exe, work, only_case, only_file, only_kind, mutation, keep, log;
  long runs = 24;
  unsigned long long seed = 1;
  double timeout = 10.0;
  double minutes = 0.0;  // stop drawing runs after this long (0: no limit)
  bool strict = false;
};

Args parse(int argc, char** argv) {
  Args a;
  for (int i = 1; i < argc; ++i) {
    std::string k = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(k + " wants a value");
      return argv[++i];
    };
    if (k == "--exe") a.exe = value();
    else if (k == "--runs") a.runs = std::stol(value());
    else if (k == "--seed") a.seed = std::stoull(value());
    else if (k == "--timeout") a.timeout = std::stod(value());
    else if (k == "--minutes") a.minutes = std::stod(value());
    else if (k == "--work") a.work = value();
    else if (k == "--case") a.only_case = value();
    else if (k == "--file") a.only_file = value();
    else if (k == "--kind") a.only_kind = value();
    else if (k == "--mutation") a.mutation = value();
    else if (k == "--keep") a.keep = value();
    else if (k == "--log") a.log = value();
    else if (k == "--strict") a.strict = true;
    else throw std::invalid_argument("unknown argument " + k);
  }
  if (const char* env = std::getenv("CIPROP_FUZZ_RUNS")) a.runs = std::stol(env);
  if (a.exe.empty()) throw std::invalid_argument("--exe PROGRAM is required");
  a.exe = fs::absolute(a.exe).string();
  return a;
}

// The generator's folder, less the expected results, with the moments of
// its intact run.
Case make(const CaseDef& def, const fs::path& work, const Args& a) {
  fs::path dir = work / (std::string("case-") + def.name);
  std::vector<std::string> opts = words(def.options);
  // The seed draws the determinant orders and the vectors of the cases too.
  opts.push_back("--seed=" + std::to_string(a.seed));
  opts.push_back(dir.string());
  mkcase::Options o = mkcase::parse_options(opts);
  mkcase::make_case(o.d, o.dir);
  Case c{&def, read_folder(dir), ""};
  c.folder.erase("expected");
  fs::path run = work / "intact";
  write_folder(run, c.folder);
  RunOutput r = run_in(a.exe, run, c.folder.at("input"), a.timeout * 3, -1);
  c.moments = moments_block(r.out);
  if (r.status != 0 || c.moments.empty() || !r.err.empty())
    throw std::runtime_error(std::string("the intact case ") + def.name + " does not run cleanly (status " +
                             std::to_string(r.status) + "): " + r.err.substr(0, 2000));
  return c;
}

int molcas_version(const CaseDef& def) {
  std::string o = def.options;
  std::size_t at = o.find("--molcas=");
  return std::stoi(o.substr(at + 9));
}

struct Result {
  const Case* c;
  Mutation m;
  Verdict v;
  RunOutput r;
  std::string changed;  // the input file the run changed, if any
};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Whether name is one of the comma-separated list (an empty list takes all).
bool listed(const std::string& list, const std::string& name) {
  if (list.empty()) return true;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');)
    if (item == name) return true;
  return false;
}

// The first "ciprop:" line of standard error, the reason of a refusal.
std::string reason(const std::string& err) {
  const std::size_t at = err.find("ciprop:");
  return at == std::string::npos ? "" : err.substr(at, err.find('\n', at) - at);
}

std::string reproducer(const Args& a, const Result& x) {
  return "ciprop_fuzz --exe " + a.exe + " --seed " + std::to_string(a.seed) + " --case " +
         x.c->def->name + " --file " + x.m.file +
         " --mutation " + quoted(x.m.recipe) + " --keep /tmp/repro";
}

Result run_one(const Case& c, const Mutation& m, const fs::path& dir, const Args& a) {
  Damaged d = apply(c.folder, m);
  write_damaged(dir, d);
  auto it = d.folder.find("input");
  RunOutput r = run_in(a.exe, dir, it == d.folder.end() ? "" : it->second, a.timeout,
                       d.fsize_limit, d.stdin_form);
  Folder after = read_folder(dir);
  Verdict v = judge(r, d, after, c.folder, c.moments, dir);
  return {&c, m, v, std::move(r), changed_input(d, after, c.folder, dir)};
}

std::string tail(const std::string& s, std::size_t n) {
  return s.size() <= n ? s : "..." + s.substr(s.size() - n);
}

int replay(const Args& a, const std::vector<Case>& cases, const fs::path& work) {
  for (const Case& c : cases) {
    if (a.only_case != c.def->name) continue;
    Mutation m{a.only_file, Kind::Unused, a.mutation, "by hand"};
    fs::path dir = a.keep.empty() ? work / "run" : fs::path(a.keep);
    Result x = run_one(c, m, dir, a);
    std::cout << "case " << c.def->name << " (mkcase " << c.def->options << ")\nfile " << m.file
              << ", mutation " << m.recipe << "\nstatus " << x.r.status << ", signal " << x.r.signal
              << (x.r.timed_out ? ", timed out" : "") << "\nverdict: " << verdict_name(x.v)
              << (x.changed.empty() ? "" : ", changed input: " + x.changed)
              << "\n--- standard error ---\n" << tail(x.r.err, 4000)
              << "--- moments ---\n" << moments_block(x.r.out);
    if (!a.keep.empty())
      std::cout << "damaged folder kept in " << dir.string() << " (run: cd " << dir.string() << " && ciprop < input)\n";
    return is_failure(x.v) ? 1 : 0;
  }
  throw std::invalid_argument("no case named '" + a.only_case + "'");
}

void summary(const std::vector<Result>& results, const Args& a, std::ostream& out) {
  std::map<Verdict, long> by_verdict;
  for (const Result& x : results) ++by_verdict[x.v];
  out << "\nruns: " << results.size() << "\n";
  for (const auto& [v, n] : by_verdict) out << "  " << verdict_name(v) << ": " << n << "\n";
  // Failures by outcome, file and kind of damage, with one reproducer each.
  std::map<std::tuple<std::string, std::string, std::string>, std::vector<const Result*>> groups;
  for (const Result& x : results)
    if (is_failure(x.v)) {
      std::string detail = x.v == Verdict::Sanitizer      ? " [" + sanitizer_signature(x.r.err) + "]"
                           : x.v == Verdict::InputChanged ? " [" + x.changed + "]"
                                                          : "";
      groups[{verdict_name(x.v) + detail, x.m.file, kind_name(x.m.kind)}].push_back(&x);
    }
  if (groups.empty()) {
    out << "no failures\n";
    return;
  }
  out << "\nfailures by outcome, file and damage:\n";
  char line[512];
  std::snprintf(line, sizeof line, "%5s  %-8s %-14s %s\n", "runs", "file", "damage", "outcome");
  out << line;
  for (const auto& [key, list] : groups) {
    const auto& [verdict, file, kind] = key;
    std::snprintf(line, sizeof line, "%5zu  %-8s %-14s %s\n", list.size(), file.c_str(), kind.c_str(),
                  verdict.c_str());
    out << line;
    const Result& first = *list.front();
    out << "         e.g. " << first.c->def->name << ": " << first.m.what << "\n         "
        << reproducer(a, first) << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Args a = parse(argc, argv);
    fs::path work = a.work.empty() ? fs::temp_directory_path() / ("ciprop_fuzz_" + std::to_string(::getpid()))
                                   : fs::path(a.work);
    fs::create_directories(work);
    std::vector<Case> cases;
    for (const CaseDef& def : kCases)
      if (listed(a.only_case, def.name)) cases.push_back(make(def, work, a));
    if (cases.empty()) throw std::invalid_argument("no case named '" + a.only_case + "'");
    if (!a.mutation.empty()) {
      int rc = replay(a, cases, work);
      if (a.work.empty()) fs::remove_all(work);
      return rc;
    }
    std::vector<std::pair<const Case*, Mutation>> all;
    for (const Case& c : cases)
      for (Mutation& m : mutations_of(c.folder, molcas_version(*c.def)))
        if (listed(a.only_file, m.file) && (a.only_kind.empty() || a.only_kind == kind_name(m.kind)))
          all.push_back({&c, std::move(m)});
    // A fixed shuffle of the seed (splitmix64), so that a small budget samples
    // every case, file and kind of damage.
    unsigned long long s = a.seed;
    auto next = [&] {
      unsigned long long z = (s += 0x9e3779b97f4a7c15ULL);
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
      return z ^ (z >> 31);
    };
    for (std::size_t i = all.size(); i > 1; --i) std::swap(all[i - 1], all[next() % i]);
    std::size_t n = a.runs <= 0 ? all.size() : std::min<std::size_t>(all.size(), a.runs);
    std::cout << cases.size() << " cases, " << all.size() << " mutations, running " << n
              << " (seed " << a.seed << ")\n" << std::flush;
    std::ofstream log;
    if (!a.log.empty()) log.open(a.log);
    std::vector<Result> results;
    auto t0 = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < n; ++i) {
      if (a.minutes > 0 &&
          std::chrono::steady_clock::now() - t0 > std::chrono::duration<double>(60 * a.minutes)) {
        std::cout << "time budget spent after " << i << " runs\n";
        break;
      }
      results.push_back(run_one(*all[i].first, all[i].second, work / "run", a));
      const Result& x = results.back();
      if (log.is_open())
        log << verdict_name(x.v) << "\t" << x.c->def->name << "\t" << x.m.file << "\t" << kind_name(x.m.kind)
            << "\t" << x.m.what << "\t" << x.m.recipe.substr(0, 200) << "\t"
            << (x.v == Verdict::Sanitizer ? sanitizer_signature(x.r.err) : x.changed) << "\t"
            << reason(x.r.err) << "\n" << std::flush;
      if ((i + 1) % 500 == 0) std::cout << (i + 1) << " runs\n" << std::flush;
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    summary(results, a, std::cout);
    std::cout << "time " << secs << " s\n";
    if (a.work.empty()) fs::remove_all(work);
    bool failed = std::any_of(results.begin(), results.end(), [](const Result& x) { return is_failure(x.v); });
    return a.strict && failed ? 1 : 0;
  } catch (const std::exception& e) {
    std::cerr << "ciprop_fuzz: " << e.what() << "\n";
    return 2;
  }
}
