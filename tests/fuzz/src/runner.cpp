#include "runner.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fuzz {

namespace fs = std::filesystem;

namespace {

// Output beyond this is drained but not kept.
constexpr std::size_t kKeep = 1 << 22;

void drain(int fd, std::string& into, bool& open) {
  char buf[65536];
  ssize_t n = ::read(fd, buf, sizeof buf);
  if (n <= 0) {
    open = false;
    return;
  }
  if (into.size() < kKeep) into.append(buf, static_cast<std::size_t>(n));
}

}  // namespace

RunOutput run_in(const std::string& exe, const fs::path& dir, const std::string& stdin_text,
                 double timeout, long fsize_limit, StdinForm form) {
  // Standard input comes from a file outside the folder, so that the run
  // cannot touch it.
  fs::path in_path = dir.parent_path() / (dir.filename().string() + ".stdin");
  std::ofstream(in_path, std::ios::binary) << stdin_text;
  int out_pipe[2], err_pipe[2];
  if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::setpgid(0, 0);
    // A folder as standard input, or none at all.
    const int in = form == StdinForm::kFolder  ? ::open(dir.c_str(), O_RDONLY | O_DIRECTORY)
                   : form == StdinForm::kEmpty ? ::open("/dev/null", O_RDONLY)
                                               : ::open(in_path.c_str(), O_RDONLY);
    if (form == StdinForm::kClosed)
      ::close(0);
    else
      ::dup2(in, 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    if (::chdir(dir.c_str()) != 0) ::_exit(125);
    if (fsize_limit >= 0) {
      ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
      rlimit r{static_cast<rlim_t>(fsize_limit), static_cast<rlim_t>(fsize_limit)};
      ::setrlimit(RLIMIT_FSIZE, &r);
    }
    ::setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=0:halt_on_error=1:handle_abort=1", 1);
    ::setenv("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1", 1);
    ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::setpgid(pid, pid);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  RunOutput r;
  bool out_open = true, err_open = true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
  while (out_open || err_open) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      r.timed_out = true;
      ::kill(-pid, SIGKILL);
      break;
    }
    pollfd p[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    if (!out_open) p[0].fd = -1;
    if (!err_open) p[1].fd = -1;
    if (::poll(p, 2, static_cast<int>(std::min<long long>(left, 1000))) < 0) continue;
    if (out_open && (p[0].revents & (POLLIN | POLLHUP))) drain(out_pipe[0], r.out, out_open);
    if (err_open && (p[1].revents & (POLLIN | POLLHUP))) drain(err_pipe[0], r.err, err_open);
  }
  int st = 0;
  ::waitpid(pid, &st, 0);
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  fs::remove(in_path);
  if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
  if (WIFSIGNALED(st)) r.signal = WTERMSIG(st);
  return r;
}

void write_folder(const fs::path& dir, const Folder& folder) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& [name, bytes] : folder) {
    std::ofstream f(dir / name, std::ios::binary);
    f << bytes;
    if (!f) throw std::runtime_error("cannot write " + (dir / name).string());
  }
}

void write_damaged(const fs::path& dir, const Damaged& d) {
  write_folder(dir, d.folder);
  std::ofstream(dir.parent_path() / kOutside, std::ios::binary) << kOutsideContent;
  for (const Special& s : d.specials) {
    const fs::path at = dir / s.name;
    if (s.kind == Special::kLink)
      fs::create_symlink(s.target, at);
    else if (s.kind == Special::kFifo && ::mkfifo(at.c_str(), 0644) != 0)
      throw std::runtime_error("cannot make the FIFO " + at.string());
    else if (s.kind == Special::kFolder)
      fs::create_directory(at);
  }
}

Folder read_folder(const fs::path& dir) {
  Folder f;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    f[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return f;
}

std::string moments_block(const std::string& report) {
  std::size_t at = report.find(" Todos los valores");
  return at == std::string::npos ? std::string() : report.substr(at);
}

bool same_moments(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return a == b;
  std::istringstream sa(a), sb(b);
  std::string x, y;
  while (true) {
    bool more_a = static_cast<bool>(sa >> x), more_b = static_cast<bool>(sb >> y);
    if (more_a != more_b) return false;
    if (!more_a) return true;
    if (x == y) continue;
    // The density computed and the density read from file agree to rounding,
    // not to the last printed digit.
    char *ex = nullptr, *ey = nullptr;
    double u = std::strtod(x.c_str(), &ex), v = std::strtod(y.c_str(), &ey);
    if (*ex != '\0' || *ey != '\0' || !std::isfinite(u) || !std::isfinite(v)) return false;
    if (std::fabs(u - v) > 1e-12 * std::max(std::fabs(u), std::fabs(v)) + 1e-15) return false;
  }
}

const char* verdict_name(Verdict v) {
  switch (v) {
    case Verdict::Same: return "same moments";
    case Verdict::Defaults: return "defaults, told";
    case Verdict::Refused: return "refused";
    case Verdict::Sanitizer: return "SANITIZER REPORT";
    case Verdict::Crash: return "CRASH (signal)";
    case Verdict::Hang: return "HANG (timeout)";
    case Verdict::InputChanged: return "INPUT MODIFIED";
    case Verdict::SilentWrong: return "SILENT WRONG MOMENTS";
    case Verdict::NoMoments: return "STATUS 0, MOMENTS MISSING OR NON-FINITE";
    case Verdict::ErrorNoLine: return "ERROR WITHOUT ciprop: LINE";
    case Verdict::NoReason: return "STOP WITHOUT A REASON OF ITS OWN";
    case Verdict::StdinReused: return "NO TEXT ON STANDARD INPUT, NOT TOLD";
  }
  return "?";
}

bool is_failure(Verdict v) {
  return v != Verdict::Same && v != Verdict::Refused && v != Verdict::Defaults;
}

namespace {

bool sanitizer_report(const std::string& err) {
  return err.find("AddressSanitizer") != std::string::npos ||
         err.find("runtime error:") != std::string::npos ||
         err.find("UndefinedBehaviorSanitizer") != std::string::npos ||
         err.find("ciprop: subscript") != std::string::npos;
}

// Whether standard error holds a line "ciprop: ..." of an error (warnings
// aside); with `own`, one that is not the last resort of a stop without
// words of its own.
bool error_line(const std::string& err, bool own) {
  std::istringstream s(err);
  for (std::string l; std::getline(s, l);)
    if (l.rfind("ciprop: ", 0) == 0 && l.rfind("ciprop: warning: ", 0) != 0 &&
        (!own || l.rfind("ciprop: stopped on an error", 0) != 0))
      return true;
  return false;
}

}  // namespace

std::string changed_input(const Damaged& damaged, const Folder& after, const Folder& intact,
                          const fs::path& dir) {
  std::ifstream outside(dir.parent_path() / kOutside, std::ios::binary);
  if (std::string(std::istreambuf_iterator<char>(outside), {}) != kOutsideContent)
    return std::string(kOutside) + " (outside the folder, rewritten)";
  const Folder& before = damaged.folder;
  for (const auto& [name, bytes] : before) {
    if (damaged.leftover.count(name)) continue;
    auto it = after.find(name);
    if (it == after.end()) return name + " (removed)";
    if (it->second != bytes) return name + " (rewritten)";
  }
  // An input file the damage removed must not come back, e.g. created empty.
  for (const auto& [name, bytes] : intact)
    if (!before.count(name) && after.count(name)) return name + " (created)";
  return "";
}

Verdict judge(const RunOutput& r, const Damaged& before, const Folder& after, const Folder& intact,
              const std::string& reference_moments, const fs::path& dir) {
  if (sanitizer_report(r.err)) return Verdict::Sanitizer;
  if (r.timed_out) return Verdict::Hang;
  if (r.signal != 0) return Verdict::Crash;
  if (!changed_input(before, after, intact, dir).empty()) return Verdict::InputChanged;
  if (r.status != 0)
    return !error_line(r.err, false)  ? Verdict::ErrorNoLine
           : !error_line(r.err, true) ? Verdict::NoReason
                                      : Verdict::Refused;
  // Standard input with no text runs on the defaults, and says so; one that
  // cannot be read is refused.  Either way the last run's input is not read.
  if (before.stdin_form == StdinForm::kEmpty)
    return r.err.find("ciprop: warning: standard input is empty") != std::string::npos
               ? Verdict::Defaults
               : Verdict::StdinReused;
  if (before.stdin_form != StdinForm::kFile) return Verdict::StdinReused;
  std::string m = moments_block(r.out);
  if (same_moments(m, reference_moments)) return Verdict::Same;
  if (m.empty() || m.find("NaN") != std::string::npos || m.find("Infinity") != std::string::npos)
    return Verdict::NoMoments;
  return Verdict::SilentWrong;
}

std::string sanitizer_signature(const std::string& err) {
  std::istringstream s(err);
  std::string kind, place;
  for (std::string line; std::getline(s, line);) {
    if (kind.empty()) {
      if (auto p = line.find("runtime error: "); p != std::string::npos) {
        kind = line.substr(p + 15, 60);
        std::size_t colon = line.rfind(':', p - 2);
        std::string loc = line.substr(0, colon == std::string::npos ? p : colon);
        place = loc.substr(loc.find_last_of('/') + 1);
        break;
      }
      if (auto p = line.find("ERROR: AddressSanitizer: "); p != std::string::npos) {
        kind = line.substr(p + 25);
        kind = kind.substr(0, kind.find(" on "));
        continue;
      }
      if (line.rfind("ciprop: subscript", 0) == 0) {
        kind = "subscript check";
        continue;
      }
    } else if (line.find(" in ") != std::string::npos && line.find('#') != std::string::npos &&
               (line.find(".cpp:") != std::string::npos || line.find(".hpp:") != std::string::npos) &&
               line.find("/usr/") == std::string::npos && line.find("farray.hpp") == std::string::npos) {
      // The first frame in the program's own sources, past the subscript
      // check itself.
      std::string fn = line.substr(line.find(" in ") + 4);
      std::size_t sp = fn.rfind(' ');
      std::string file = sp == std::string::npos ? fn : fn.substr(sp + 1);
      place = file.substr(file.find_last_of('/') + 1);
      break;
    }
  }
  return (kind.empty() ? std::string("unknown") : kind) + (place.empty() ? "" : " at " + place);
}

}  // namespace fuzz
